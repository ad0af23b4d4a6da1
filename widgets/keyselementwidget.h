#pragma once

#include "vieweditelementwidget.h"

class KeysProxyFileModel;

namespace Ui {
class KeysElementWidget;
}

// The widget of the keys element: the tree of public key files the kernel trusts, the creation
// of a new key whose public part lands among them, and the graphical key manager.
class KeysElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    KeysElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~KeysElementWidget() override;

    void reset() override;

public Q_SLOTS:
    void openKeyManager();

private Q_SLOTS:
    void openCreateKeyDialog();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class PackageState { Installed, NotInstalled, Unknown };

    void setUpTree();
    PackageState kgpgPackageState() const;
    void showKgpgNotInstalled();

    Ui::KeysElementWidget* ui;
    KeysProxyFileModel* _proxyModel;
    bool _expanded;
};
