#include "signingelementwidget.h"
#include "ui_signingelementwidget.h"

#include "digsigconfigmanager.h"
#include "digsigconstants.h"
#include "digsigelementwidget.h"
#include "digsigsettings.h"
#include "elementdata.h"
#include "filteredtreeproxymodel.h"
#include "keymanager.h"
#include "module.h"
#include "selectkeydialog.h"
#include "shortlist.h"
#include "signaturedelegate.h"
#include "signfilemodel.h"
#include "signingdialog.h"
#include "sysroot.h"
#include "taskobserver.h"
#include "updateinitramfstask.h"

#include <QDir>
#include <QHeaderView>
#include <QMessageBox>

SigningElementWidget::SigningElementWidget(Module& module, bool (*permission)(Module const&),
                                           QWidget* parent)
    : ViewEditElementWidget(module, permission, parent)
    , ui(new Ui::SigningElementWidget)
    , _proxyModel(nullptr)
    , _fileModel(nullptr)
{
    _elementType = QStringLiteral("DigSigSigning");
    _targetElementType = ContextOperation::allElementType;
    ui->setupUi(this);

    // Under a sandbox root the tree shows the sandbox as the file system, as the real system
    // would show "/".
    const QString top = Sysroot::isActive() ? Sysroot::root() : QDir::rootPath();
    _fileModel = new SignFileModel(this);
    _fileModel->setRootPath(top);
    _proxyModel = new FilteredTreeProxyModel(this);
    _proxyModel->setSourceModel(_fileModel);
    _proxyModel->setTopDirectory(top);
    ui->_filesTreeView->setModel(_proxyModel);
    auto* signatures = new SignatureDelegate(ui->_filesTreeView);
    ui->_filesTreeView->setItemDelegateForColumn(SignFileModel::SignatureColumn, signatures);
    ui->_filesTreeView->setItemDelegateForColumn(SignFileModel::ExternedSignatureColumn,
                                                 signatures);
    const QModelIndex topIndex = _fileModel->index(top);
    ui->_filesTreeView->setRootIndex(_proxyModel->mapFromSource(topIndex.parent()));
    // The signature columns come right after the name. The name takes the room the others
    // leave, so that a deep tree does not push them out of view.
    if (QHeaderView* header = ui->_filesTreeView->header()) {
        header->moveSection(4, 1);
        header->moveSection(5, 2);
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    ui->_filesTreeView->expand(_proxyModel->mapFromSource(topIndex));

    connect(ui->_signPushButton, &QPushButton::clicked, this,
            &SigningElementWidget::showSigningDialog);
    connect(ui->_elfCheckBox, &QCheckBox::toggled, this,
            &SigningElementWidget::controlWidgetChanged);
    connect(ui->_xattrCheckBox, &QCheckBox::toggled, this,
            &SigningElementWidget::controlWidgetChanged);
    connect(_proxyModel, &CheckableTreeProxyModel::someCheckedStateChenged, this,
            &SigningElementWidget::controlWidgetChanged);
}

SigningElementWidget::~SigningElementWidget()
{
    delete ui;
}

void SigningElementWidget::blockEditWidget(bool block)
{
    const bool enable = !block || isEditable();
    ui->_elfCheckBox->setEnabled(enable);
    ui->_xattrCheckBox->setEnabled(enable);
}

void SigningElementWidget::controlWidgetChanged()
{
    const bool elf = ui->_elfCheckBox->isChecked();
    const bool xattr = ui->_xattrCheckBox->isChecked();
    ui->_signPushButton->setEnabled((elf || xattr) && !_proxyModel->checkedList().isEmpty());
    _proxyModel->setElfOnly(elf && !xattr);
}

Bsign::SignMode SigningElementWidget::signMode() const
{
    return Bsign::signMode(ui->_elfCheckBox->isChecked(), ui->_xattrCheckBox->isChecked());
}

QModelIndexList SigningElementWidget::selectedSourceIndexes() const
{
    QModelIndexList indexes;
    for (const QModelIndex& index : _proxyModel->checkedList()) {
        if (index.row() >= 0 && index.column() >= 0 && index.model())
            indexes.append(_proxyModel->mapToSource(index));
    }
    return indexes;
}

void SigningElementWidget::showSigningDialog()
{
    KeyManager keyManager;
    if (!keyManager.init(QString())) {
        QMessageBox box;
        box.setText(tr("Can not initialize Gpgme library!"));
        box.exec();
        return;
    }
    const Bsign::SignMode mode = signMode();
    const QModelIndexList indexes = selectedSourceIndexes();
    QStringList paths;
    for (const QModelIndex& index : indexes)
        paths.append(_fileModel->filePath(index));
    if (mode != Bsign::ElfOnly && !confirmSelection(paths))
        return;

    SelectKeyDialog selectKeyDialog(&keyManager, mode, this);
    if (selectKeyDialog.exec() != QDialog::Accepted)
        return;
    SigningDialog signingDialog(&keyManager, selectKeyDialog.selectedKeyId(), paths, mode,
                                selectKeyDialog.isSaveLogChecked(), nullptr);
    signingDialog.exec();
    refreshSettingsElement();
    if (signingDialog.isFinished())
        offerVerification(mode);
    _fileModel->updateSignatures(indexes);
}

// A run merges its files into the control file: the settings element must not keep showing,
// and later save, the text from before.
void SigningElementWidget::refreshSettingsElement()
{
    auto* settings = module()
        ? qobject_cast<DigSigElementWidget*>(module()->elementWidget(QStringLiteral("DigSig")))
        : nullptr;
    if (settings)
        settings->refreshIfChangedOnDisk();
}

// Files outside the trusted system directories under extended-attribute verification can
// keep the system from booting, so ask once before such a selection is signed. The paths are
// judged and shown as the system knows them, without a sandbox root.
bool SigningElementWidget::confirmSelection(const QStringList& paths)
{
    const QStringList unsafe = DigSig::outsideTrustedDirectories(paths);
    if (unsafe.isEmpty())
        return true;
    QMessageBox box(QMessageBox::Warning, tr("Selection confirmation"),
                    tr("Warning! You have selected unsafe directories for signing. After enabling "
                       "extended attributes signature verification, this can lead to the "
                       "inablility of booting the system, the inability to change the settings "
                       "(disable) of the DigSig module and other unpredictable consequences.\n"
                       "Do you want to continue?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setInformativeText(
        tr("Outside the trusted system directories:\n%1").arg(ShortList::format(unsafe)));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void SigningElementWidget::offerVerification(Bsign::SignMode mode)
{
    const DigSigSettings settings(DigSigConfigManager::instance());
    if (!settings.isXattrEnabled() || mode == Bsign::ElfOnly)
        return;
    const auto answer = QMessageBox::question(
        this, tr("Add files for verification"),
        tr("Digsig was enabled in the extended attributes signature verification mode. Files "
           "that was signed after that will not be automatically verified after reboot. Do you "
           "want to add signed files for verification after reboot?"),
        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        TaskObserver::instance(nullptr)->performTask(new UpdateInitramfsTask(new ElementData));
}
