#pragma once

#include "bsign.h"
#include "vieweditelementwidget.h"

#include <QModelIndexList>

class FilteredTreeProxyModel;
class SignFileModel;

namespace Ui {
class SigningElementWidget;
}

// The widget of the signing element: a checkable tree of the file system with signature
// columns, the choice of what to sign, and the start of a signing run.
class SigningElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    SigningElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~SigningElementWidget() override;

    void blockEditWidget(bool block) override;

private Q_SLOTS:
    void showSigningDialog();
    void controlWidgetChanged();

private:
    Bsign::SignMode signMode() const;
    QModelIndexList selectedSourceIndexes() const;
    bool confirmSelection(const QStringList& paths);
    void offerVerification(Bsign::SignMode mode);
    void refreshSettingsElement();

    Ui::SigningElementWidget* ui;
    FilteredTreeProxyModel* _proxyModel;
    SignFileModel* _fileModel;
};
