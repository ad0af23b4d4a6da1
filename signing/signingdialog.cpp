#include "signingdialog.h"
#include "ui_signingdialog.h"

#include "bsignrunner.h"
#include "digsigconstants.h"
#include "elffile.h"
#include "gpgagentconfig.h"
#include "keymanager.h"
#include "sysroot.h"
#include "xattrcontrolfile.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <stdexcept>

namespace {

// The same file reached through different paths must not be signed twice at once.
QString identity(const QFileInfo& info)
{
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString printable(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\\n"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"));
}

} // namespace

SigningDialog::SigningDialog(KeyManager* keyManager, const QString& keyId, const QStringList& paths,
                             Bsign::SignMode mode, bool saveLog, QWidget* parent)
    : QDialog(parent)
    , _keyManager(keyManager)
    , _keyId(keyId)
    , _paths(paths)
    , _mode(mode)
    , _remaining(0)
    , _errorOccurred(false)
    , _finished(false)
    , _cancelled(false)
    , _logFile(nullptr)
    , _saveLog(saveLog)
    , ui(new Ui::SigningDialog)
{
    ui->setupUi(this);
    ui->progressBar->setMaximum(0);
    ui->progressBar->setValue(0);
    enableOkButton(false);
    enableCancelButton(true);
    initializeLog();
}

SigningDialog::~SigningDialog()
{
    delete ui;
}

bool SigningDialog::isFinished() const
{
    return _finished;
}

int SigningDialog::exec()
{
    QTimer::singleShot(0, this, &SigningDialog::listFiles);
    return QDialog::exec();
}

void SigningDialog::reject()
{
    _cancelled = true;
    log(tr("Cancelling..."));
    QThreadPool::globalInstance()->waitForDone(-1);
    setDefaultGPGAgentOptions();
    log(tr("Cancelled."));
    QDialog::reject();
}

void SigningDialog::listFiles()
{
    log(tr("Create a list of files to sign..."));
    _files = collectFiles(_paths);
    // Cancel may have been handled while the list was built.
    if (_cancelled)
        return;
    if (_files.isEmpty()) {
        ui->progressBar->setMaximum(1);
        ui->progressBar->setValue(1);
        log(tr("No files to sign."));
        enableOkButton(true);
        enableCancelButton(false);
        return;
    }
    signFiles();
}

QStringList SigningDialog::collectFiles(const QStringList& paths)
{
    QStringList files;
    for (const QString& path : paths) {
        QCoreApplication::processEvents();
        if (_cancelled)
            break;
        const QFileInfo info(path);
        if (!info.isDir()) {
            appendIfSignable(files, info);
            continue;
        }
        QDirIterator it(path,
                        QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoSymLinks | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext() && !_cancelled) {
            it.next();
            QCoreApplication::processEvents();
            appendIfSignable(files, it.fileInfo());
        }
    }
    QSet<QString> seen;
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&seen](const QString& file) {
                                   const QString key = identity(QFileInfo(file));
                                   if (seen.contains(key))
                                       return true;
                                   seen.insert(key);
                                   return false;
                               }),
                files.end());
    return files;
}

void SigningDialog::appendIfSignable(QStringList& list, const QFileInfo& info) const
{
    const bool signable
        = _mode == Bsign::ElfOnly ? isElfFile(info) : info.isFile() && !info.isSymLink();
    if (signable)
        list.append(info.filePath());
}

void SigningDialog::signFiles()
{
    ui->progressBar->setMaximum(_files.size());
    _remaining = _files.size();
    setGPGAgentOptions();
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    for (int n = QThread::idealThreadCount(); !_files.isEmpty() && n > 0; --n)
        sign(_files.takeFirst());
}

void SigningDialog::sign(QString file)
{
    if (_cancelled)
        return;
    auto* runner = new BsignRunner(file, _keyId, _mode);
    Bsign::registerMetaTypes();
    connect(runner, &BsignRunner::finished, this, &SigningDialog::onSigningFinished,
            Qt::QueuedConnection);
    connect(runner, &BsignRunner::errorOccured, this, &SigningDialog::onErrorOccurred,
            Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(runner, 0);
}

void SigningDialog::onSigningFinished(QString file, Bsign::ReturnValue value)
{
    if (_errorOccurred || _cancelled)
        return;
    ui->progressBar->setValue(ui->progressBar->value() + 1);
    if (value == Bsign::NoError) {
        log(tr("%1 signed successfully").arg(file));
        signNext();
    } else if (value == Bsign::FileNotFound) {
        log(tr("Warning: file %1 not found").arg(file));
        signNext();
    } else {
        _errorOccurred = true;
        log(tr("%1 signing error: %2").arg(file, Bsign::returnValueText(value)));
        stopOnFailure();
    }
}

void SigningDialog::onErrorOccurred(QString file, QProcess::ProcessError error)
{
    if (_errorOccurred || _cancelled)
        return;
    _errorOccurred = true;
    ui->progressBar->setValue(ui->progressBar->value() + 1);
    log(tr("Process error occurred when sigsing file %1: %2").arg(file).arg(int(error)));
    stopOnFailure();
}

void SigningDialog::stopOnFailure()
{
    setDefaultGPGAgentOptions();
    enableOkButton(true);
    enableCancelButton(false);
}

void SigningDialog::signNext()
{
    --_remaining;
    if (_remaining != 0) {
        if (!_files.isEmpty())
            sign(_files.takeFirst());
        return;
    }
    log(tr("Signing completed."));
    exportkey();
    writeXattrControl();
    setDefaultGPGAgentOptions();
    _finished = true;
    log(tr("Finished."));
    enableOkButton(true);
    enableCancelButton(false);
}

void SigningDialog::exportkey()
{
    connect(_keyManager, &KeyManager::keyExported, this, &SigningDialog::onKeyExported,
            Qt::UniqueConnection);
    connect(_keyManager, &KeyManager::keyExportError, this, &SigningDialog::onKeyExportError,
            Qt::UniqueConnection);
    const QString fileName = QStringLiteral("%1.gpg").arg(_keyId);
    QStringList directories;
    if (_mode == Bsign::ElfOnly || _mode == Bsign::ElfAndXattr)
        directories.append(DigSig::keysDirectory());
    if (_mode == Bsign::XattrOnly || _mode == Bsign::ElfAndXattr)
        directories.append(DigSig::xattrKeysDirectory());
    for (const QString& directory : qAsConst(directories))
        _keyManager->exportKey(_keyId, Sysroot::path(directory + fileName));
}

void SigningDialog::onKeyExported(QString keyID, QString path)
{
    log(tr("Key with ID %1 successfully exported to %2").arg(keyID, Sysroot::systemPath(path)));
}

void SigningDialog::onKeyExportError(QString keyID, QString path, QString error)
{
    log(tr("Can not export key with ID %1 to %2").arg(keyID, Sysroot::systemPath(path)));
    log(error);
}

void SigningDialog::writeXattrControl()
{
    if (_mode == Bsign::ElfOnly)
        return;
    const QString shownPath = DigSig::controlFilePath();
    log(tr("Writing selected directories and files to %1").arg(shownPath));

    XattrControlFile controlFile;
    if (!controlFile.read()) {
        log(tr("Can not open %1").arg(shownPath));
        return;
    }
    QList<QByteArray> entries;
    for (const QString& path : qAsConst(_paths)) {
        // A line break would split one path into two templates under verification.
        if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) {
            log(tr("Warning: skipping %1, file path contains a line break.").arg(printable(path)));
            continue;
        }
        entries.append(XattrControlFile::entry(QFile::encodeName(path), QFileInfo(path).isDir()));
    }
    QList<QByteArray> tooLong;
    const QByteArray content = XattrControlFile::merged(controlFile.content(), entries, &tooLong);
    for (const QByteArray& entry : qAsConst(tooLong))
        log(tr("Warning: skipping %1, file path exceeds the size limit.")
                .arg(printable(QFile::decodeName(entry))));
    const QString error = controlFile.write(content);
    if (!error.isEmpty()) {
        log(tr("file %1 can not be saved").arg(shownPath));
        log(error);
    }
}

void SigningDialog::setGPGAgentOptions()
{
    try {
        raiseGpgAgentTimes();
    } catch (const std::runtime_error& error) {
        log(tr("Can not set gpg-agent options:"));
        log(QString::fromUtf8(error.what()));
    }
}

void SigningDialog::setDefaultGPGAgentOptions()
{
    try {
        restoreGpgAgentTimes();
    } catch (const std::runtime_error& error) {
        log(tr("Can not set default gpg-agent options:"));
        log(QString::fromUtf8(error.what()));
    }
}

void SigningDialog::enableOkButton(bool enable)
{
    enableButton(ui->buttonBox->button(QDialogButtonBox::Ok), enable);
}

void SigningDialog::enableCancelButton(bool enable)
{
    enableButton(ui->buttonBox->button(QDialogButtonBox::Cancel), enable);
}

void SigningDialog::enableButton(QPushButton* button, bool enable)
{
    if (button)
        button->setEnabled(enable);
}

void SigningDialog::initializeLog()
{
    _logFile = new QFile(Sysroot::path(DigSig::signingLogPath()), this);
    if (_saveLog)
        _logFile->resize(0);
}

void SigningDialog::log(QString message)
{
    writeLog(message);
    ui->logPlainTextEdit->appendPlainText(message);
}

void SigningDialog::writeLog(QString message)
{
    if (!_saveLog)
        return;
    if (!_logFile->open(QIODevice::Append | QIODevice::Text)) {
        ui->logPlainTextEdit->appendPlainText(tr("Can not open %1").arg(DigSig::signingLogPath()));
        return;
    }
    _logFile->write((message + QLatin1Char('\n')).toUtf8());
    _logFile->close();
}
