#include "createkeydialog.h"
#include "ui_createkeydialog.h"

#include "keymanager.h"

#include <QMessageBox>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

CreateKeyDialog::CreateKeyDialog(KeyManager* keyManager, QWidget* parent)
    : QDialog(parent)
    , _keyManager(keyManager)
    , _ui(new Ui::CreateKeyDialog)
{
    _ui->setupUi(this);
    setUpValidators();
    connect(_keyManager, &KeyManager::keyGenerationStarted, this, [this] { setEnabled(false); });
    connect(_keyManager, &KeyManager::keyGenerationError, this,
            &CreateKeyDialog::onGenerationError);
    connect(_keyManager, &KeyManager::keyGenerationEnded, this,
            &CreateKeyDialog::onGenerationEnded);
}

CreateKeyDialog::~CreateKeyDialog()
{
    delete _ui;
}

KeyManager* CreateKeyDialog::keyManager() const
{
    return _keyManager;
}

void CreateKeyDialog::setUpValidators()
{
    // Letters, digits and white space of every script, not only Latin ones.
    const auto options = QRegularExpression::UseUnicodePropertiesOption;
    _ui->_nameLineEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^[[:alpha:]]+[\\w\\s\\d]+$"), options), this));
    _ui->_emailLineEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^[\\w\\d]+\\@[\\w\\d]+\\.\\w+$"), options), this));
}

void CreateKeyDialog::accept()
{
    const QString name = _ui->_nameLineEdit->text();
    if (name.size() < 5) {
        QMessageBox box;
        box.setText(tr("Name shouldn't be shorter than 5 characters."));
        box.exec();
        return;
    }
    QMap<QString, QString> params;
    params.insert(QStringLiteral("Name-Real"), name);
    params.insert(QStringLiteral("Name-Email"), _ui->_emailLineEdit->text());
    params.insert(QStringLiteral("Name-Comment"), _ui->_commentLineEdit->text());
    _keyManager->genKey(params);
}

void CreateKeyDialog::onGenerationError(const QString& error)
{
    QMessageBox box;
    box.setText(tr("Key generation error:"));
    box.setInformativeText(error);
    box.exec();
    setEnabled(true);
}

void CreateKeyDialog::onGenerationEnded(const QString& fingerprint)
{
    QMessageBox box;
    box.setText(tr("Key generated successfully."));
    box.setInformativeText(tr("Fingerprint: ") + fingerprint);
    box.exec();
    QDialog::accept();
}
