#include "keyselementwidget.h"
#include "ui_keyselementwidget.h"

#include "createkeydialog.h"
#include "digsigconstants.h"
#include "keyfilemodel.h"
#include "keymanager.h"
#include "keysproxyfilemodel.h"
#include "sysroot.h"

#include <QEvent>
#include <QHeaderView>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

namespace {

constexpr int packageQueryWaitMsecs = 30000;
constexpr int columnsPerView = 4;
const QString keyUtility = QStringLiteral("kgpg");

} // namespace

KeysElementWidget::KeysElementWidget(Module& module, bool (*permission)(Module const&),
                                     QWidget* parent)
    : ViewEditElementWidget(module, permission, parent)
    , ui(new Ui::KeysElementWidget)
    , _proxyModel(new KeysProxyFileModel(this))
    , _expanded(false)
{
    _elementType = QStringLiteral("DigSigKeys");
    _targetElementType = ContextOperation::allElementType;
    ui->setupUi(this);
    setUpTree();
    connect(ui->_openEditAppPushButton, &QPushButton::clicked, this,
            &KeysElementWidget::openKeyManager);
    connect(ui->_createKeyPushButton, &QPushButton::clicked, this,
            &KeysElementWidget::openCreateKeyDialog);
}

KeysElementWidget::~KeysElementWidget()
{
    delete ui;
}

void KeysElementWidget::setUpTree()
{
    _proxyModel->setRootPath(Sysroot::path(DigSig::digsigDirectory()));
    const QModelIndex root = _proxyModel->rootIndex();
    // Directly in /etc/digsig only the key directories; everywhere else only key files.
    _proxyModel->addDirFilters(
        {QRegExp(QStringLiteral("keys")), QRegExp(QStringLiteral("xattr_keys"))}, root);
    _proxyModel->addFileFilters({}, root);
    _proxyModel->addFileFilters({QRegExp(QStringLiteral(".+\\.gpg"))}, QModelIndex());
    ui->_keysTreeView->setModel(_proxyModel);
    ui->_keysTreeView->setRootIndex(_proxyModel->mapFromSource(root));
    // What matters about a key file is the key in it, not its size, type or date. Names of
    // generated keys, user ids and fingerprints are long: no column takes more than a quarter of
    // the view, the fingerprint takes the room left, and texts are shortened in the middle, so
    // that every column stays in view.
    QHeaderView* header = ui->_keysTreeView->header();
    for (int column = 1; column < KeyFileModel::UserIdColumn; ++column)
        header->hideSection(column);
    header->setStretchLastSection(false);
    ui->_keysTreeView->viewport()->installEventFilter(this);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(KeyFileModel::FingerprintColumn, QHeaderView::Stretch);
    ui->_keysTreeView->setTextElideMode(Qt::ElideMiddle);
    // The file model loads directories in the background, after the first show has expanded
    // what little it had: rows arriving from then on are expanded as they come.
    connect(_proxyModel, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (!_expanded)
                    return;
                for (int row = first; row <= last; ++row)
                    ui->_keysTreeView->expand(_proxyModel->index(row, 0, parent));
            });
}

void KeysElementWidget::showEvent(QShowEvent* event)
{
    if (!_expanded) {
        ui->_keysTreeView->expandAll();
        _expanded = true;
    }
    ViewEditElementWidget::showEvent(event);
}

bool KeysElementWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->_keysTreeView->viewport() && event->type() == QEvent::Resize) {
        QHeaderView* header = ui->_keysTreeView->header();
        header->setMaximumSectionSize(std::max(
            header->minimumSectionSize(), ui->_keysTreeView->viewport()->width() / columnsPerView));
    }
    return ViewEditElementWidget::eventFilter(watched, event);
}

void KeysElementWidget::reset()
{
    // The tree follows the disk by itself; there is nothing to reload.
    setUnchanged();
}

// Never silent: the utility starts, or the administrator learns why it does not.
void KeysElementWidget::openKeyManager()
{
    const PackageState state = kgpgPackageState();
    const bool present = state == PackageState::Installed
        || (state == PackageState::Unknown
            && !QStandardPaths::findExecutable(keyUtility).isEmpty());
    if (!present) {
        showKgpgNotInstalled();
        return;
    }
    if (!QProcess::startDetached(keyUtility, {})) {
        QMessageBox::warning(this, tr("The kgpg utility cannot be started"),
                             tr("The key management utility kgpg could not be started. Check "
                                "that it runs when started in a console: kgpg"));
    }
}

// What the package manager says of the utility; Unknown when it cannot be asked or its answer
// makes no sense.
KeysElementWidget::PackageState KeysElementWidget::kgpgPackageState() const
{
    QProcess query;
    query.start(QStringLiteral("dpkg-query"),
                {QStringLiteral("-W"),
                 QStringLiteral("-f=${binary:Package}\t${Version}\t${Status}"), keyUtility},
                QIODevice::ReadOnly);
    if (!query.waitForFinished(packageQueryWaitMsecs)) {
        query.kill();
        query.waitForFinished(-1);
        return PackageState::Unknown;
    }
    if (query.exitStatus() == QProcess::CrashExit)
        return PackageState::Unknown;
    const QString output = QString::fromLocal8Bit(query.readAllStandardOutput());
    // Exit code 1 without an answer: the package manager has never heard of the package.
    if (output.isEmpty())
        return query.exitCode() == 1 ? PackageState::NotInstalled : PackageState::Unknown;
    const QStringList fields = output.split(QLatin1Char('\t'), Qt::KeepEmptyParts);
    if (fields.size() != 3)
        return PackageState::Unknown;
    static const QRegularExpression installed(QStringLiteral("^install ok"));
    return installed.match(fields.at(2)).hasMatch() ? PackageState::Installed
                                                    : PackageState::NotInstalled;
}

void KeysElementWidget::showKgpgNotInstalled()
{
    QMessageBox::information(this, tr("The kgpg utility is not installed"),
                             tr("To open key management utility run in the console")
                                 + QLatin1Char(' ') + QStringLiteral("apt-get install kgpg"),
                             QMessageBox::Ok);
}

void KeysElementWidget::openCreateKeyDialog()
{
    KeyManager keyManager;
    if (!keyManager.init(QString())) {
        QMessageBox box;
        box.setText(tr("Can not initialize Gpgme library!"));
        box.exec();
        return;
    }
    connect(&keyManager, &KeyManager::keyGenerationEnded, this,
            [&keyManager](const QString& fingerprint) {
                const QString path
                    = DigSig::xattrKeysDirectory() + QStringLiteral("%1.gpg").arg(fingerprint);
                keyManager.exportKey(fingerprint, Sysroot::path(path));
            });
    // A key the kernel cannot find is of no use: say so before the success box.
    connect(&keyManager, &KeyManager::keyExportError, this,
            [this](const QString&, const QString& path, const QString& error) {
                QMessageBox::warning(
                    this, tr("Key export error"),
                    tr("Can not export the public key into %1:").arg(Sysroot::systemPath(path))
                        + QLatin1Char('\n') + error);
            });
    CreateKeyDialog dialog(&keyManager, nullptr);
    dialog.exec();
}
