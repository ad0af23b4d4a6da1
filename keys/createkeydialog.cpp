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

// Real names and addresses: hyphens and apostrophes in names ("Jean-Luc O'Neil"); dots and plus
// signs before the at sign, sub-domains and hyphens after it. Letters, digits and white space
// of every script count, not only Latin ones.
QString CreateKeyDialog::nameExpression()
{
    return QStringLiteral("^[[:alpha:]][\\w\\s'\u2019.\\-]*$");
}

QString CreateKeyDialog::emailExpression()
{
    return QStringLiteral("^[\\w.+\\-]+@[\\w\\-]+(\\.[\\w\\-]+)+$");
}

void CreateKeyDialog::setUpValidators()
{
    const auto options = QRegularExpression::UseUnicodePropertiesOption;
    _ui->_nameLineEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(nameExpression(), options), this));
    _ui->_emailLineEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(emailExpression(), options), this));
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
    // GnuPG takes any text as an address; a half-typed one would end up in the key for good.
    const QString email = _ui->_emailLineEdit->text();
    if (!email.isEmpty() && !_ui->_emailLineEdit->hasAcceptableInput()) {
        QMessageBox box;
        box.setText(tr("The e-mail address %1 is not complete.").arg(email));
        box.setInformativeText(tr("Enter a whole address such as name@example.org, or leave the "
                                  "field empty."));
        box.exec();
        _ui->_emailLineEdit->setFocus();
        return;
    }
    QMap<QString, QString> params;
    params.insert(QStringLiteral("Name-Real"), name);
    params.insert(QStringLiteral("Name-Email"), email);
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
