#include "signingrun.h"

#include "atomicfile.h"
#include "digsigconstants.h"
#include "gpgagentconfig.h"
#include "keymanager.h"
#include "printablepath.h"
#include "sysroot.h"
#include "xattrcontrolfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Files listed ahead of the workers; enough to keep them busy, bounded for huge trees.
constexpr size_t queueCapacity = 4096;

// The agent's configuration is a read-merge-replace sequence: two runs must not interleave.
std::mutex& agentMutex()
{
    static std::mutex mutex;
    return mutex;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

SigningRun::SigningRun(const SigningEngine::Options& options, Deliver deliver)
    : _options(options)
    , _deliver(std::move(deliver))
    , _queue(queueCapacity)
{ }

SigningRun::~SigningRun()
{
    if (_controlThread.joinable())
        _controlThread.join();
    if (_pumpThread.joinable())
        _pumpThread.join();
}

void SigningRun::start()
{
    _controlThread = std::thread([this] { control(); });
    _pumpThread = std::thread([this] { pump(); });
}

bool SigningRun::cancel()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_phase != Phase::Signing || _cancelled)
            return false;
        _cancelled = true;
        _cancelTime = std::chrono::steady_clock::now();
        logLocked(tr("Cancelling..."));
        stopStartingLocked();
    }
    _wake.notify_all();
    return true;
}

void SigningRun::abort()
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_phase == Phase::Signing)
        _cancelled = true;
    stopStartingLocked();
    _cancelStage = 2;
    _tools.killAll();
}

void SigningRun::control()
{
    openLogFile();
    log(tr("Create a list of files to sign..."));
    signFiles();
    QStringList closing;
    SigningEngine::Outcome outcome = signingOutcome();
    if (outcome == SigningEngine::Outcome::Finished)
        outcome = complete(&closing);
    if (_agentRaised)
        restoreAgentTimes();
    if (outcome == SigningEngine::Outcome::Finished)
        closing << tr("Finished.");
    if (outcome == SigningEngine::Outcome::Cancelled)
        closing << tr("Cancelled.");
    end(outcome, closing);
}

void SigningRun::signFiles()
{
    std::thread lister([this] { listFiles(); });
    std::vector<std::thread> workers;
    // The agent is prepared once there is something to sign, while the listing goes on.
    if (_queue.waitForFile() && !_stop.load()) {
        raiseAgentTimes();
        for (int i = 0; i < std::max(1, _options.jobs); ++i)
            workers.emplace_back([this] { work(); });
    }
    lister.join();
    for (std::thread& worker : workers)
        worker.join();
}

// What makes the new signatures count: the kernel must know the key and, for extended
// attributes, the files.
SigningEngine::Outcome SigningRun::complete(QStringList* closing)
{
    const bool exported = exportKey();
    const bool merged = mergeControlFile();
    if (!exported)
        *closing << tr("The run did not finish: the public key was not exported.");
    if (!merged)
        *closing << tr("The run did not finish: the control file was not updated.");
    return exported && merged ? SigningEngine::Outcome::Finished
                              : SigningEngine::Outcome::CompletionFailed;
}

// How the signing part ended; a run that signed everything goes on to complete from here on,
// and Cancel no longer stops it.
SigningEngine::Outcome SigningRun::signingOutcome()
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_cancelled)
        return SigningEngine::Outcome::Cancelled;
    if (_failed)
        return SigningEngine::Outcome::Failed;
    if (_listed == 0) {
        logLocked(tr("No files to sign."));
        return SigningEngine::Outcome::NothingToSign;
    }
    _phase = Phase::Completing;
    logLocked(tr("Signing completed."));
    return SigningEngine::Outcome::Finished;
}

void SigningRun::end(SigningEngine::Outcome outcome, const QStringList& lines)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        for (const QString& line : lines)
            logLocked(line);
        _summary.notStarted = _listed - _done;
        logLocked(_summary.text());
        _outcome = outcome;
        _phase = Phase::Ended;
        _ended = true;
    }
    _wake.notify_all();
}

void SigningRun::listFiles()
{
    ToolProcess::lowerCallingThreadPriority();
    FileLister lister(
        _options.mode,
        [this](ListedFile&& file) {
            {
                std::lock_guard<std::mutex> lock(_mutex);
                ++_listed;
                _changed = true;
            }
            if (_queue.push(std::move(file)))
                return true;
            std::lock_guard<std::mutex> lock(_mutex);
            --_listed;
            return false;
        },
        [this](const QString& path, FileLister::Problem problem, const QString& reason) {
            recordListingProblem(path, problem, reason);
        });
    lister.list(_options.paths, _stop);
    _queue.close();
    std::lock_guard<std::mutex> lock(_mutex);
    _listingComplete = true;
    _changed = true;
}

void SigningRun::work()
{
    ToolProcess::lowerCallingThreadPriority();
    ListedFile file;
    while (!_stop.load() && _queue.take(&file))
        signFile(file);
}

void SigningRun::signFile(const ListedFile& file)
{
    const StartProblem problem = checkBeforeStart(file);
    if (problem != StartProblem::None) {
        recordStartProblem(file, problem);
        return;
    }
    Bsign bsign(file.path);
    bsign.setKey(_options.keyId);
    bsign.setMode(_options.mode);
    const bool ended = bsign.sign(&_tools);
    // A tool kept from starting by a stop counts as not started.
    if (!ended && bsign.wasStopped())
        return;
    recordOutcome(file, bsign, ended);
}

// The listing may be long past: the tool must not be pointed through a link put in place of
// the file or of one of its folders since.
SigningRun::StartProblem SigningRun::checkBeforeStart(const ListedFile& file)
{
    const QByteArray native = QFile::encodeName(file.path);
    struct stat status
    {
    };
    if (::lstat(native.constData(), &status) != 0)
        return StartProblem::Vanished;
    if (S_ISLNK(status.st_mode) && !file.link)
        return StartProblem::BecameLink;
    if (!file.folder.isEmpty() && FileLister::canonicalFolder(native) != file.folder)
        return StartProblem::FolderReplaced;
    return StartProblem::None;
}

void SigningRun::recordOutcome(const ListedFile& file, const Bsign& bsign, bool ended)
{
    const QString shown = printablePath(file.path);
    std::lock_guard<std::mutex> lock(_mutex);
    ++_done;
    if (!ended) {
        ++_summary.failed;
        logLocked(tr("Process error occurred when sigsing file %1: %2")
                      .arg(shown)
                      .arg(int(bsign.error())));
        if (bsign.error() == QProcess::FailedToStart)
            logLocked(tr("The signing tool \"%1\" could not be started: %2. Check that it is "
                         "installed and that its folder is in the search path (PATH).")
                          .arg(Bsign::program(), bsign.errorString()));
        failLocked();
        return;
    }
    if (bsign.wasStopped()) {
        ++_summary.failed;
        logLocked(tr("Warning: signing of %1 was ended by Cancel.").arg(shown));
        return;
    }
    const Bsign::ReturnValue value = bsign.returnValue();
    if (value == Bsign::NoError) {
        ++_summary.signedFiles;
        logLocked(tr("%1 signed successfully").arg(shown));
    } else if (value == Bsign::FileNotFound) {
        ++_summary.notFound;
        logLocked(tr("Warning: file %1 not found").arg(shown));
    } else {
        ++_summary.failed;
        logLocked(tr("%1 signing error: %2").arg(shown, Bsign::returnValueText(value)));
        failLocked();
    }
}

void SigningRun::recordListingProblem(const QString& path, FileLister::Problem problem,
                                      const QString& reason)
{
    const QString shown = printablePath(path);
    std::lock_guard<std::mutex> lock(_mutex);
    ++_summary.skipped;
    switch (problem) {
    case FileLister::Problem::NameNotRepresentable:
        logLocked(tr("Warning: skipping %1, its name cannot be represented.").arg(shown));
        break;
    case FileLister::Problem::Missing:
        logLocked(tr("Warning: skipping %1, it does not exist.").arg(shown));
        break;
    case FileLister::Problem::Unreadable:
        logLocked(tr("Warning: skipping %1, it cannot be read: %2").arg(shown, reason));
        break;
    }
}

void SigningRun::recordStartProblem(const ListedFile& file, StartProblem problem)
{
    const QString shown = printablePath(file.path);
    std::lock_guard<std::mutex> lock(_mutex);
    ++_done;
    ++_summary.skipped;
    switch (problem) {
    case StartProblem::Vanished:
        logLocked(tr("Warning: skipping %1, it vanished after it was listed.").arg(shown));
        break;
    case StartProblem::BecameLink:
        logLocked(
            tr("Warning: skipping %1, it became a symbolic link after it was listed.").arg(shown));
        break;
    case StartProblem::FolderReplaced:
        logLocked(tr("Warning: skipping %1, a folder on its path was replaced after it was "
                     "listed.")
                      .arg(shown));
        break;
    case StartProblem::None:
        break;
    }
}

void SigningRun::failLocked()
{
    _failed = true;
    _syncWanted = true;
    if (!_options.keepGoing)
        stopStartingLocked();
}

void SigningRun::stopStartingLocked()
{
    _stop = true;
    _queue.stop();
    _tools.close();
}

// Running tools get a grace period after Cancel, then a request to end, then the end.
void SigningRun::advanceCancelLocked()
{
    if (!_cancelled || _cancelStage >= 2)
        return;
    const auto elapsed = std::chrono::steady_clock::now() - _cancelTime;
    const std::chrono::milliseconds grace(SigningEngine::cancelGracePeriod);
    if (_cancelStage == 0 && elapsed >= grace) {
        _cancelStage = 1;
        _tools.terminateAll();
    } else if (_cancelStage == 1
               && elapsed
                   >= grace + std::chrono::milliseconds(SigningEngine::terminateGracePeriod)) {
        _cancelStage = 2;
        _tools.killAll();
    }
}

bool SigningRun::exportKey()
{
    KeyManager* keys = _options.keyManager;
    const QString fileName = QStringLiteral("%1.gpg").arg(_options.keyId);
    QStringList folders;
    if (_options.mode == Bsign::ElfOnly || _options.mode == Bsign::ElfAndXattr)
        folders << DigSig::keysDirectory();
    if (_options.mode == Bsign::XattrOnly || _options.mode == Bsign::ElfAndXattr)
        folders << DigSig::xattrKeysDirectory();
    bool exported = true;
    if (!keys) {
        for (const QString& folder : qAsConst(folders))
            log(tr("Can not export key with ID %1 to %2").arg(_options.keyId, folder + fileName));
        return false;
    }
    // The key manager reports before exportKey() returns, on this thread.
    const auto done = QObject::connect(
        keys, &KeyManager::keyExported, [this](const QString& keyId, const QString& path) {
            log(tr("Key with ID %1 successfully exported to %2").arg(keyId, printablePath(path)));
        });
    const auto failed = QObject::connect(
        keys, &KeyManager::keyExportError,
        [this, &exported](const QString& keyId, const QString& path, const QString& error) {
            exported = false;
            log(tr("Can not export key with ID %1 to %2").arg(keyId, printablePath(path)));
            log(error);
        });
    for (const QString& folder : qAsConst(folders))
        keys->exportKey(_options.keyId, Sysroot::path(folder + fileName));
    QObject::disconnect(done);
    QObject::disconnect(failed);
    return exported;
}

bool SigningRun::mergeControlFile()
{
    if (_options.mode == Bsign::ElfOnly)
        return true;
    const QString shownPath = DigSig::controlFilePath();
    log(tr("Writing selected directories and files to %1").arg(shownPath));
    XattrControlFile controlFile;
    if (!controlFile.read()) {
        log(tr("Can not open %1").arg(shownPath));
        return false;
    }
    QList<QByteArray> entries;
    for (const QString& path : _options.paths) {
        // A line break would split one path into two templates under verification.
        if (path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'))) {
            log(tr("Warning: skipping %1, file path contains a line break.")
                    .arg(printablePath(path)));
            continue;
        }
        if (path.contains(QChar::ReplacementCharacter)) {
            log(tr("Warning: skipping %1, its name cannot be represented.")
                    .arg(printablePath(path)));
            continue;
        }
        entries.append(XattrControlFile::entry(QFile::encodeName(Sysroot::systemPath(path)),
                                               QFileInfo(path).isDir()));
    }
    QList<QByteArray> tooLong;
    const QByteArray content = XattrControlFile::merged(controlFile.content(), entries, &tooLong);
    for (const QByteArray& entry : qAsConst(tooLong))
        log(tr("Warning: skipping %1, file path exceeds the size limit.")
                .arg(printablePath(QFile::decodeName(entry))));
    const QString error = controlFile.write(content);
    if (error.isEmpty())
        return true;
    log(tr("file %1 can not be saved").arg(shownPath));
    log(error);
    return false;
}

void SigningRun::raiseAgentTimes()
{
    std::lock_guard<std::mutex> lock(agentMutex());
    // A failed raise may still have rewritten the file: it is restored in any case.
    _agentRaised = true;
    try {
        raiseGpgAgentTimes();
    } catch (const std::runtime_error& error) {
        log(tr("Can not set gpg-agent options:"));
        log(QString::fromUtf8(error.what()));
    }
}

void SigningRun::restoreAgentTimes()
{
    std::lock_guard<std::mutex> lock(agentMutex());
    try {
        restoreGpgAgentTimes();
    } catch (const std::runtime_error& error) {
        log(tr("Can not set default gpg-agent options:"));
        log(QString::fromUtf8(error.what()));
    }
}

void SigningRun::log(const QString& line)
{
    std::lock_guard<std::mutex> lock(_mutex);
    logLocked(line);
}

void SigningRun::logLocked(const QString& line)
{
    _pending.append(line);
    _changed = true;
}

SigningEngine::Batch SigningRun::takeBatchLocked()
{
    SigningEngine::Batch batch;
    batch.lines.swap(_pending);
    batch.done = _done;
    batch.listed = _listed;
    batch.listingComplete = _listingComplete;
    batch.summary = _summary;
    batch.summary.notStarted = _listed - _done;
    batch.last = _ended;
    batch.outcome = _outcome;
    _changed = false;
    return batch;
}

void SigningRun::pump()
{
    std::unique_lock<std::mutex> lock(_mutex);
    for (;;) {
        _wake.wait_for(lock, std::chrono::milliseconds(SigningEngine::batchInterval),
                       [this] { return _ended; });
        advanceCancelLocked();
        if (!_changed && !_ended)
            continue;
        SigningEngine::Batch batch = takeBatchLocked();
        const bool sync = _syncWanted || batch.last;
        _syncWanted = false;
        lock.unlock();
        batch.lines << writeLogFile(batch.lines, sync);
        if (batch.last && _logFd >= 0) {
            ::close(_logFd);
            _logFd = -1;
        }
        _deliver(batch);
        if (batch.last)
            return;
        lock.lock();
    }
}

QString SigningRun::logFilePath() const
{
    return _options.logPath.isEmpty() ? Sysroot::path(DigSig::signingLogPath()) : _options.logPath;
}

void SigningRun::openLogFile()
{
    if (!_options.saveLog)
        return;
    QString error;
    const int fd = AtomicFile::openForAppend(logFilePath(), AtomicFile::privateMode, true, &error);
    std::lock_guard<std::mutex> lock(_mutex);
    _logFd = fd;
    if (fd >= 0)
        return;
    // Shown, not written: the file is not open.
    logLocked(tr("Can not open %1").arg(printablePath(logFilePath())));
    logLocked(error);
}

// Called by the pump only. Returns the lines for the view that say why the file stopped
// being written.
QStringList SigningRun::writeLogFile(const QStringList& lines, bool sync)
{
    if (_logFd < 0 || lines.isEmpty())
        return {};
    const QByteArray bytes = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    if (writeAll(_logFd, bytes) && (!sync || ::fdatasync(_logFd) == 0))
        return {};
    const QString reason = qt_error_string(errno);
    ::close(_logFd);
    _logFd = -1;
    return {tr("Can not write %1: %2").arg(printablePath(logFilePath()), reason)};
}
