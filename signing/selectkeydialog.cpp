#include "selectkeydialog.h"
#include "ui_selectkeydialog.h"

#include "createkeydialog.h"
#include "elementwidget.h"
#include "keymanager.h"
#include "module.h"

#include <QPushButton>
#include <QTextBrowser>

SelectKeyDialog::SelectKeyDialog(KeyManager* keyManager, Bsign::SignMode mode, QWidget* parent)
    : QDialog(parent)
    , _keyManager(keyManager)
    , _mode(mode)
    , ui(new Ui::SelectKeyDialog)
{
    ui->setupUi(this);
    populateKeysCombobox();
    connect(ui->_createKeyPushButton, &QPushButton::clicked, this,
            &SelectKeyDialog::showCreateKeyDialog);
    connect(ui->_openKeyManagerPushButton, &QPushButton::clicked, this,
            &SelectKeyDialog::openKeyManager);
    // The warning is about keys for ELF signatures.
    if (_mode == Bsign::XattrOnly) {
        ui->_warningTextBrowser->hide();
        const int width = this->width();
        adjustSize();
        resize(width, height());
    } else {
        showWholeWarning();
    }
}

SelectKeyDialog::~SelectKeyDialog()
{
    delete ui;
}

// The form's height leaves the warning a scroll bar in most fonts: grow until it fits.
void SelectKeyDialog::showWholeWarning()
{
    QTextBrowser* warning = ui->_warningTextBrowser;
    layout()->activate();
    warning->document()->setTextWidth(warning->viewport()->width());
    const int missing = int(warning->document()->size().height()) - warning->viewport()->height();
    if (missing > 0)
        resize(width(), height() + missing);
}

QString SelectKeyDialog::selectedKeyId() const
{
    return ui->_keysComboBox->currentData(Qt::UserRole).toString();
}

bool SelectKeyDialog::isSaveLogChecked() const
{
    return ui->_saveLogCheckBox->isChecked();
}

void SelectKeyDialog::showCreateKeyDialog()
{
    CreateKeyDialog dialog(_keyManager, this);
    dialog.exec();
    populateKeysCombobox();
}

void SelectKeyDialog::populateKeysCombobox()
{
    ui->_keysComboBox->clear();
    const QList<QPair<QString, QString>> keys = _keyManager->signingKeys();
    for (const auto& key : keys) {
        ui->_keysComboBox->addItem(
            QIcon(), QStringLiteral("%1 [%2]").arg(key.first, key.second.right(10)), key.second);
    }
    ui->_keysComboBox->setCurrentIndex(ui->_keysComboBox->count() - 1);
    enableOkButton();
}

void SelectKeyDialog::enableOkButton()
{
    if (QPushButton* ok = ui->_dialogButtonBox->button(QDialogButtonBox::Ok))
        ok->setEnabled(ui->_keysComboBox->count() > 0);
}

void SelectKeyDialog::openKeyManager()
{
    auto* owner = dynamic_cast<ElementWidget*>(parentWidget());
    QWidget* keysWidget
        = owner ? owner->module()->elementWidget(QStringLiteral("DigSigKeys")) : nullptr;
    if (keysWidget && keysWidget->inherits("KeysElementWidget"))
        QMetaObject::invokeMethod(keysWidget, "openKeyManager");
    close();
}
