#pragma once

#include "bsign.h"

#include <QDialog>

class KeyManager;

namespace Ui {
class SelectKeyDialog;
}

// Chooses the key of a signing run and whether the run's log is saved; a key can be created
// or the key management utility opened from here.
class SelectKeyDialog : public QDialog
{
    Q_OBJECT
public:
    // parent is the signing element widget: the key utility is reached through its module.
    SelectKeyDialog(KeyManager* keyManager, Bsign::SignMode mode, QWidget* parent);
    ~SelectKeyDialog() override;

    QString selectedKeyId() const;
    bool isSaveLogChecked() const;

private Q_SLOTS:
    void showCreateKeyDialog();
    void populateKeysCombobox();
    void enableOkButton();
    void openKeyManager();

private:
    void showWholeWarning();

    KeyManager* _keyManager;
    Bsign::SignMode _mode;
    Ui::SelectKeyDialog* ui;
};
