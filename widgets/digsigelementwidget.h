#pragma once

#include "vieweditelementwidget.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QAbstractButton;
class QButtonGroup;
class QProgressDialog;
class SignatureAudit;
class QTextEdit;

namespace Ui {
class DigSigElementWidget;
}

// The view and edit widget of the settings element "DigSig": the two verification modes and
// the text of the extended-attribute control file. It remembers what it read (the fingerprints
// of both files and the values it does not edit), so that an update refuses to overwrite a file
// changed since, and it leaves a control file it cannot show as it is untouched.
class DigSigElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    DigSigElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~DigSigElementWidget() override;

    ElementData* exportElementData() const override;
    void afterSuccessfulRead(Element* element, ElementData* data) override;
    void afterSuccessfulUpdate() override;
    void applyContentChanges() override;
    void reset() override;
    void blockEditWidget(bool block) override;

    // For whoever changed the settings files (a signing run's merge): re-reads them unless an
    // edit is pending, which is then marked out of date instead. Does nothing while the files
    // are what the widget read.
    void refreshIfChangedOnDisk();

    // Called by the update task: the files the widget's record was based on (the fingerprints
    // read) were saved as the fingerprints saved say; unless the widget has been refilled since,
    // they are now what it shows.
    Q_INVOKABLE void takeSavedFiles(const QByteArray& readSettings, const QByteArray& readControl,
                                    const QByteArray& savedSettings,
                                    const QByteArray& savedControl);

private:
    // Verifies the ELF files of the program folders, with progress and Cancel, and says inline
    // which ones lack a good signature: what switching ELF verification to On would stop.
    void checkExecutables();
    void showCheckFindings();
    void clear();
    void showXattrControl(const QByteArray& bytes, bool isText);
    void warnAboutOn(bool checked);
    // Says inline which group has no mode; false when one is missing.
    bool showMissingModes(bool refusingApply);
    bool confirmOddTemplates();
    bool confirmOn();
    void startRebootHelper();
    int checkedMode(QAbstractButton* on, QAbstractButton* debug, QAbstractButton* off) const;

    Ui::DigSigElementWidget* ui;
    QList<QAbstractButton*> _radioButtons;
    QList<QButtonGroup*> _buttonGroups;
    QList<QTextEdit*> _textEdits;
    QByteArray _settingsFingerprint;
    QByteArray _xattrControlFingerprint;
    bool _ignoreXattrKeys;
    bool _ignoreGost2001;
    QString _shownXattrControl;
    bool _xattrControlEditable;
    SignatureAudit* _audit = nullptr;
    QProgressDialog* _checkProgress = nullptr;
};
