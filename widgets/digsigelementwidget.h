#pragma once

#include "vieweditelementwidget.h"

#include <QList>

class QAbstractButton;
class QButtonGroup;
class QTextEdit;

namespace Ui {
class DigSigElementWidget;
}

// The view and edit widget of the settings element "DigSig": the two verification modes and
// the text of the extended-attribute control file.
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

private:
    void clear();
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
};
