#pragma once

#include <QDialog>

class KeyManager;

namespace Ui {
class CreateKeyDialog;
}

// Asks for a name, an e-mail address and a comment and has the key manager generate a key pair.
// Closes accepted only after a key was generated.
class CreateKeyDialog : public QDialog
{
    Q_OBJECT
public:
    CreateKeyDialog(KeyManager* keyManager, QWidget* parent);
    ~CreateKeyDialog() override;

    KeyManager* keyManager() const;

    void accept() override;

private:
    static QString nameExpression();
    static QString emailExpression();
    void setUpValidators();
    void onGenerationError(const QString& error);
    void onGenerationEnded(const QString& fingerprint);

    KeyManager* _keyManager;
    Ui::CreateKeyDialog* _ui;
};
