#include "signatureaudit.h"

#include "printablepath.h"
#include "sysroot.h"

#include <QFileInfo>

#include <algorithm>

SignatureAudit::SignatureAudit(const Options& options, QObject* parent)
    : QObject(parent)
    , _options(options)
    , _verifier(std::make_unique<SignatureVerifier>(options.jobs))
{
    connect(_verifier.get(), &SignatureVerifier::verified, this, &SignatureAudit::takeResults);
}

SignatureAudit::~SignatureAudit()
{
    stop();
}

QStringList SignatureAudit::executableFolders()
{
    return {QStringLiteral("/bin"),
            QStringLiteral("/sbin"),
            QStringLiteral("/lib"),
            QStringLiteral("/lib32"),
            QStringLiteral("/lib64"),
            QStringLiteral("/libx32"),
            QStringLiteral("/usr/bin"),
            QStringLiteral("/usr/sbin"),
            QStringLiteral("/usr/lib"),
            QStringLiteral("/usr/lib32"),
            QStringLiteral("/usr/lib64"),
            QStringLiteral("/usr/libx32"),
            QStringLiteral("/usr/libexec"),
            QStringLiteral("/usr/local/bin"),
            QStringLiteral("/usr/local/sbin"),
            QStringLiteral("/usr/local/lib"),
            QStringLiteral("/opt")};
}

QStringList SignatureAudit::existingExecutableFolders()
{
    QStringList folders;
    for (const QString& folder : executableFolders()) {
        const QString path = Sysroot::path(folder);
        if (QFileInfo(path).isDir())
            folders << path;
    }
    return folders;
}

SignatureAudit::Options SignatureAudit::executableCheck(const QStringList& realPaths)
{
    Options options;
    options.mode = Bsign::ElfOnly;
    options.paths = realPaths.isEmpty() ? existingExecutableFolders() : realPaths;
    return options;
}

void SignatureAudit::start()
{
    if (_running || _listingComplete)
        return;
    _running = true;
    _lister = std::thread([this] { list(); });
}

void SignatureAudit::cancel()
{
    if (!_running)
        return;
    _cancelled = true;
    stop();
    _running = false;
    Q_EMIT ended();
}

void SignatureAudit::stop()
{
    _stop = true;
    if (_lister.joinable())
        _lister.join();
    // Drops the waiting requests and kills the running tools; no result arrives any more.
    _verifier.reset();
}

bool SignatureAudit::isSigned(const File& file) const
{
    if (!file.verified)
        return false;
    switch (_options.mode) {
    case Bsign::ElfOnly:
        return file.signatures.elfGood;
    case Bsign::XattrOnly:
        return file.signatures.xattrGood;
    default:
        return file.signatures.elfGood || file.signatures.xattrGood;
    }
}

qint64 SignatureAudit::unsignedCount() const
{
    return std::count_if(_files.cbegin(), _files.cend(),
                         [this](const File& file) { return file.verified && !isSigned(file); });
}

qint64 SignatureAudit::failedCount() const
{
    return std::count_if(_files.cbegin(), _files.cend(),
                         [](const File& file) { return !file.verified; });
}

qint64 SignatureAudit::lackingCount() const
{
    return unsignedCount() + failedCount() + _problems.size();
}

QStringList SignatureAudit::lackingPaths(int limit) const
{
    QStringList paths;
    for (const File& file : _files) {
        if (!isSigned(file))
            paths << file.path;
    }
    for (const Problem& problem : _problems)
        paths << problem.path;
    std::sort(paths.begin(), paths.end());
    paths = paths.mid(0, limit);
    for (QString& path : paths)
        path = printablePath(path);
    return paths;
}

QString SignatureAudit::checkFindings() const
{
    const qint64 lacking = lackingCount();
    const qint64 checked = doneCount() + _problems.size();
    if (lacking == 0)
        return tr("ELF files checked: %1, all with a good signature.").arg(checked);
    QString text = tr("ELF files without a good signature: %1 of %2; under ELF verification On "
                      "they would not run:")
                       .arg(lacking)
                       .arg(checked);
    for (const QString& path : lackingPaths(shownLacking))
        text += QLatin1Char('\n') + path;
    if (lacking > shownLacking)
        text += QLatin1Char('\n') + tr("(and %1 more)").arg(lacking - shownLacking);
    return text;
}

// The lister's thread: files and problems are handed to the audit's thread in batches.
void SignatureAudit::list()
{
    ToolProcess::lowerCallingThreadPriority();
    const auto handOver = [this] {
        if (_handOverScheduled)
            return;
        _handOverScheduled = true;
        QMetaObject::invokeMethod(this, &SignatureAudit::takeListed, Qt::QueuedConnection);
    };
    FileLister lister(
        _options.mode,
        [this, &handOver](ListedFile&& file) {
            std::lock_guard<std::mutex> lock(_mutex);
            _pendingFiles << file.path;
            handOver();
            return true;
        },
        [this, &handOver](const QString& path, FileLister::Problem problem, const QString& reason) {
            QString text;
            switch (problem) {
            case FileLister::Problem::NameNotRepresentable:
                text = tr("its name cannot be represented");
                break;
            case FileLister::Problem::Missing:
                text = tr("it does not exist");
                break;
            case FileLister::Problem::Unreadable:
                text = tr("it cannot be read: %1").arg(reason);
                break;
            }
            std::lock_guard<std::mutex> lock(_mutex);
            _pendingProblems.append({path, text});
            handOver();
        });
    lister.list(_options.paths, _stop);
    std::lock_guard<std::mutex> lock(_mutex);
    _listerDone = true;
    handOver();
}

void SignatureAudit::takeListed()
{
    QStringList files;
    QList<Problem> problems;
    bool listerDone = false;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        files.swap(_pendingFiles);
        problems.swap(_pendingProblems);
        listerDone = _listerDone;
        _handOverScheduled = false;
    }
    if (!_running)
        return;
    for (const QString& file : qAsConst(files))
        _requested.insert(_verifier->request(file), file);
    _listed += files.size();
    _problems += problems;
    _listingComplete = listerDone;
    Q_EMIT progressChanged(doneCount(), _listed, _listingComplete);
    finishIfDone();
}

void SignatureAudit::takeResults(const QList<SignatureVerifier::Result>& results)
{
    if (!_running)
        return;
    for (const SignatureVerifier::Result& result : results)
        _files.append(
            {_requested.take(result.ticket), result.verified, result.signatures, result.failure});
    Q_EMIT progressChanged(doneCount(), _listed, _listingComplete);
    finishIfDone();
}

void SignatureAudit::finishIfDone()
{
    if (!_listingComplete || doneCount() < _listed)
        return;
    _running = false;
    if (_lister.joinable())
        _lister.join();
    Q_EMIT ended();
}
