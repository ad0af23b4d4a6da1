#include "initramfsrebuildlock.h"

#include "atomicfile.h"
#include "digsigconstants.h"
#include "sysroot.h"

#include <QFile>
#include <QObject>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int lockWaiting(int fd)
{
    int result;
    do {
        result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    return result;
}

} // namespace

InitramfsRebuildLock::InitramfsRebuildLock(const std::function<void()>& whenWaiting)
    : _fd(-1)
{
    AtomicFile::ensurePrivateDirectory(Sysroot::path(DigSig::runDirectory()));
    const QString path = Sysroot::path(DigSig::initramfsLockPath());
    // Only the lock matters, never the file's content: it is not followed through a link.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    int result = fd < 0 ? -1 : ::flock(fd, LOCK_EX | LOCK_NB);
    if (result != 0 && fd >= 0 && errno == EWOULDBLOCK) {
        if (whenWaiting)
            whenWaiting();
        result = lockWaiting(fd);
    }
    if (result != 0) {
        _error = QObject::tr("Can not lock %1 for the rebuild of the initial RAM file system: %2")
                     .arg(DigSig::initramfsLockPath(), qt_error_string(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    _fd = fd;
}

InitramfsRebuildLock::~InitramfsRebuildLock()
{
    if (_fd >= 0)
        ::close(_fd);
}

QString InitramfsRebuildLock::error() const
{
    return _error;
}
