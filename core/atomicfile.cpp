#include "atomicfile.h"

#include "sysroot.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString translated(const char* text)
{
    return QCoreApplication::translate("AtomicFile", text);
}

// The path the administrator knows, with the sandbox root taken off.
QString shown(const QString& path)
{
    return Sysroot::systemPath(path);
}

QString failure(const char* text, const QString& path, int error)
{
    return translated(text).arg(shown(path), qt_error_string(error));
}

bool writeAll(int fd, const QByteArray& content)
{
    const char* data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Makes the rename itself durable; the new file is complete either way, so a failure here
// is not reported.
void syncDirectory(const QString& directory)
{
    const int fd
        = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Why a path cannot be a target at all, or an empty string when it can.
QString unsuitableTarget(const QString& path, struct stat* status, bool* exists)
{
    *exists = ::lstat(QFile::encodeName(path).constData(), status) == 0;
    if (!*exists)
        return errno == ENOENT
            ? QString()
            : failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not read %1: %2"), path, errno);
    if (S_ISLNK(status->st_mode))
        return translated(
                   QT_TRANSLATE_NOOP("AtomicFile", "%1 is a symbolic link; it was not written."))
            .arg(shown(path));
    if (!S_ISREG(status->st_mode))
        return translated(
                   QT_TRANSLATE_NOOP("AtomicFile", "%1 is not a regular file; it was not written."))
            .arg(shown(path));
    return QString();
}

// Writes the new file under a temporary name beside the target; returns the reason of a
// failure, after which the caller removes the temporary file.
QString fillTemporary(int fd, const QString& path, const QByteArray& content, mode_t mode,
                      const struct stat* old)
{
    // Owner before mode: changing the owner may clear set-id bits.
    if (old && ::fchown(fd, old->st_uid, old->st_gid) != 0)
        return failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not keep the owner of %1: %2"), path,
                       errno);
    if (::fchmod(fd, mode) != 0)
        return failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not set the permissions of %1: %2"),
                       path, errno);
    if (!writeAll(fd, content) || ::fsync(fd) != 0)
        return failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not write %1: %2"), path, errno);
    return QString();
}

} // namespace

QByteArray AtomicFile::fingerprint(const QByteArray& content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
}

QByteArray AtomicFile::absentFingerprint()
{
    return QByteArrayLiteral("absent");
}

QByteArray AtomicFile::currentFingerprint(const QString& path)
{
    return read(path, 0).fingerprint;
}

AtomicFile::Contents AtomicFile::read(const QString& path, qint64 maxBytes)
{
    Contents result;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            result.status = Contents::Absent;
            result.fingerprint = absentFingerprint();
        } else {
            result.error
                = failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not read %1: %2"), path, errno);
        }
        return result;
    }
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        result.error = translated(QT_TRANSLATE_NOOP("AtomicFile", "%1 is not a regular file."))
                           .arg(shown(path));
        return result;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), size_t(chunk.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error
                = failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not read %1: %2"), path, errno);
            result.content.clear();
            ::close(fd);
            return result;
        }
        if (got == 0)
            break;
        hash.addData(chunk.constData(), int(got));
        if (total < maxBytes)
            result.content.append(chunk.constData(), int(qMin<qint64>(got, maxBytes - total)));
        total += got;
    }
    ::close(fd);
    result.fingerprint = hash.result().toHex();
    result.status = total > maxBytes ? Contents::TooLarge : Contents::Read;
    return result;
}

QString AtomicFile::replace(const QString& path, const QByteArray& content, mode_t newFileMode,
                            const QByteArray& expectedFingerprint)
{
    struct stat old
    {
    };
    bool exists = false;
    QString error = unsuitableTarget(path, &old, &exists);
    if (!error.isEmpty())
        return error;
    if (!expectedFingerprint.isEmpty() && currentFingerprint(path) != expectedFingerprint)
        return translated(
                   QT_TRANSLATE_NOOP("AtomicFile",
                                     "%1 has changed since it was read; it was not written."))
            .arg(shown(path));

    const QFileInfo info(path);
    QByteArray temporary
        = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName())
        + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not create a new file beside %1: %2"),
                       path, errno);

    const mode_t mode = exists ? (old.st_mode & 07777) : newFileMode;
    error = fillTemporary(fd, path, content, mode, exists ? &old : nullptr);
    if (::close(fd) != 0 && error.isEmpty())
        error = failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not write %1: %2"), path, errno);
    // A link swapped in while the new file was written is refused like one found at the start.
    if (error.isEmpty())
        error = unsuitableTarget(path, &old, &exists);
    if (error.isEmpty()
        && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        error = failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not replace %1: %2"), path, errno);
    if (!error.isEmpty()) {
        ::unlink(temporary.constData());
        return error;
    }
    syncDirectory(info.absolutePath());
    return QString();
}

bool AtomicFile::ensurePrivateDirectory(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0)
        ::chmod(native.constData(), 0700);
    return QFileInfo(path).isDir();
}

int AtomicFile::openForAppend(const QString& path, mode_t newFileMode, bool truncate,
                              QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    // Not blocking: a FIFO put in the log's place must not hang the opener (it fails with
    // ENXIO instead while nobody reads it).
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(native.constData(), flags | O_CREAT | O_EXCL, newFileMode);
    const bool created = fd >= 0;
    if (!created && errno == EEXIST)
        fd = ::open(native.constData(), flags);
    if (fd < 0) {
        if (errno == ELOOP)
            *error = translated(QT_TRANSLATE_NOOP("AtomicFile",
                                                  "%1 is a symbolic link; it was not written."))
                         .arg(shown(path));
        else if (errno == EISDIR || errno == ENXIO)
            *error = translated(QT_TRANSLATE_NOOP("AtomicFile",
                                                  "%1 is not a regular file; it was not written."))
                         .arg(shown(path));
        else
            *error = failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not open %1: %2"), path, errno);
        return -1;
    }
    struct stat status
    {
    };
    QString problem;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        problem = translated(QT_TRANSLATE_NOOP("AtomicFile",
                                               "%1 is not a regular file; it was not written."))
                      .arg(shown(path));
    else if ((created && ::fchmod(fd, newFileMode) != 0) || ::fcntl(fd, F_SETFL, O_APPEND) != 0
             || (truncate && ::ftruncate(fd, 0) != 0))
        problem = failure(QT_TRANSLATE_NOOP("AtomicFile", "Can not open %1: %2"), path, errno);
    if (!problem.isEmpty()) {
        ::close(fd);
        *error = problem;
        return -1;
    }
    return fd;
}
