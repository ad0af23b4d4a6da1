#include "filelister.h"

#include "digsigconstants.h"
#include "elffile.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct FileLister::Folder
{
    DIR* dir = nullptr;
    QByteArray canonical;
    QString path;
    dev_t device = 0;
};

namespace {

QByteArray joined(const QByteArray& folder, const char* name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QByteArray canonicalPath(const QByteArray& native)
{
    char* resolved = ::realpath(native.constData(), nullptr);
    if (!resolved)
        return QByteArray();
    const QByteArray result(resolved);
    std::free(resolved);
    return result;
}

// The name as the rest of the system handles it, or false when decoding and encoding it again
// would not give the same bytes: such a file could not be named to the tool.
bool decodedName(const char* name, QString* decoded)
{
    const size_t length = std::strlen(name);
    bool ascii = true;
    for (size_t i = 0; i < length && ascii; ++i)
        ascii = static_cast<unsigned char>(name[i]) < 0x80;
    if (ascii) {
        *decoded = QString::fromLatin1(name, int(length));
        return true;
    }
    const QByteArray bytes = QByteArray::fromRawData(name, int(length));
    *decoded = QFile::decodeName(bytes);
    return QFile::encodeName(*decoded) == bytes;
}

bool isObjectFileName(const char* name)
{
    const char* dot = std::strrchr(name, '.');
    return dot && std::strcmp(dot, ".o") == 0;
}

bool startsWithElfMagic(int folderFd, const char* name)
{
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    const QByteArray& magic = DigSig::elfMagic();
    char head[8];
    const ssize_t count = ::read(fd, head, size_t(magic.size()));
    ::close(fd);
    return count == magic.size() && std::memcmp(head, magic.constData(), size_t(count)) == 0;
}

} // namespace

QByteArray FileLister::canonicalFolder(const QByteArray& native)
{
    const int slash = native.lastIndexOf('/');
    if (slash < 0)
        return canonicalPath(".");
    return canonicalPath(slash == 0 ? QByteArray("/") : native.left(slash));
}

FileLister::FileLister(Bsign::SignMode mode, FileSink fileFound, ProblemSink problemFound)
    : _mode(mode)
    , _fileFound(std::move(fileFound))
    , _problemFound(std::move(problemFound))
{ }

void FileLister::list(const QStringList& paths, const std::atomic<bool>& stop)
{
    _stop = &stop;
    _refused = false;
    _statEveryFile = paths.size() > 1;
    _seen.clear();
    for (const QString& path : paths) {
        if (stopped())
            return;
        listSelected(path);
    }
}

bool FileLister::stopped() const
{
    return _refused || _stop->load(std::memory_order_relaxed);
}

void FileLister::listSelected(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat target
    {
    };
    if (::stat(native.constData(), &target) != 0) {
        const int error = errno;
        if (path.contains(QChar::ReplacementCharacter))
            _problemFound(path, Problem::NameNotRepresentable, QString());
        else
            _problemFound(
                path, error == ENOENT || error == ENOTDIR ? Problem::Missing : Problem::Unreadable,
                qt_error_string(error));
        return;
    }
    if (S_ISDIR(target.st_mode)) {
        walk(native, path);
        return;
    }
    struct stat own
    {
    };
    const bool link = ::lstat(native.constData(), &own) == 0 && S_ISLNK(own.st_mode);
    const bool signable
        = _mode == Bsign::ElfOnly ? isElfFile(path) : !link && S_ISREG(target.st_mode);
    if (signable)
        addFile(target.st_dev, target.st_ino, {path, canonicalFolder(native), link});
}

void FileLister::walk(const QByteArray& native, const QString& path)
{
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status
    {
    };
    DIR* dir = fd >= 0 && ::fstat(fd, &status) == 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        _problemFound(path, Problem::Unreadable, qt_error_string(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    const QByteArray canonical = canonicalPath(native);
    std::vector<Folder> folders;
    folders.push_back({dir, canonical.isEmpty() ? native : canonical, path, status.st_dev});
    while (!folders.empty() && !stopped()) {
        if (!readEntry(folders)) {
            ::closedir(folders.back().dir);
            folders.pop_back();
        }
    }
    for (Folder& folder : folders)
        ::closedir(folder.dir);
}

// Handles the next entry of the innermost folder, descending into it when it is a folder;
// false at the end of the folder.
bool FileLister::readEntry(std::vector<Folder>& folders)
{
    Folder& current = folders.back();
    errno = 0;
    const dirent* entry = ::readdir(current.dir);
    if (!entry) {
        if (errno != 0)
            _problemFound(current.path, Problem::Unreadable, qt_error_string(errno));
        return false;
    }
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
        return true;
    const int folderFd = ::dirfd(current.dir);
    unsigned char type = entry->d_type;
    ino_t inode = entry->d_ino;
    struct stat status
    {
    };
    const bool needStatus = type == DT_UNKNOWN || (type == DT_REG && _statEveryFile);
    if (needStatus) {
        if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            return true;
        type = IFTODT(status.st_mode);
        inode = status.st_ino;
    }
    // Links are never followed; devices, pipes and sockets are never signed.
    if (type != DT_DIR && type != DT_REG)
        return true;
    QString decoded;
    if (!decodedName(name, &decoded)) {
        _problemFound(joined(current.path, QFile::decodeName(name)), Problem::NameNotRepresentable,
                      QString());
        return true;
    }
    const QString path = joined(current.path, decoded);
    if (type == DT_REG) {
        if (_mode != Bsign::ElfOnly
            || (!isObjectFileName(name) && startsWithElfMagic(folderFd, name)))
            addFile(current.device, inode, {path, current.canonical, false});
        return true;
    }
    const int fd = ::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd >= 0 && ::fstat(fd, &status) == 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        _problemFound(path, Problem::Unreadable, qt_error_string(errno));
        if (fd >= 0)
            ::close(fd);
        return true;
    }
    const QByteArray canonical = joined(current.canonical, name);
    folders.push_back({dir, canonical, path, status.st_dev});
    return true;
}

bool FileLister::addFile(dev_t device, ino_t inode, ListedFile&& file)
{
    const QPair<quint64, quint64> identity {quint64(device), quint64(inode)};
    if (_seen.contains(identity))
        return true;
    _seen.insert(identity);
    if (!_fileFound(std::move(file)))
        _refused = true;
    return !_refused;
}
