#pragma once

#include <QByteArray>
#include <QString>

#include <limits>

#include <sys/types.h>

// The one way the system writes its files. It runs as root in /etc, /root and /var/log, so:
// - a file is replaced whole: a complete new file is written beside it, every write and the
//   flush to disk are checked, and only then is it renamed over the old one; on any failure
//   the old file stays byte for byte;
// - a target that is a symbolic link is refused, never followed;
// - a new file gets the mode asked for whatever the umask; an existing one keeps its mode,
//   owner and group;
// - given the fingerprint taken when the file was read, a file changed since is not replaced.
// Messages are translated and name the path the administrator knows (sandbox root removed).
class AtomicFile
{
public:
    static constexpr mode_t publicMode = 0644;
    static constexpr mode_t privateMode = 0600;

    // What a reader records to detect a later change: a hash of the bytes it read, or a
    // marker for a file that did not exist.
    static QByteArray fingerprint(const QByteArray& content);
    static QByteArray absentFingerprint();
    // The fingerprint of the file as it is now; absentFingerprint() when there is none and an
    // empty array when it cannot be read.
    static QByteArray currentFingerprint(const QString& path);

    // A file as a reader saw it. The fingerprint covers the whole file even when only its
    // first maxBytes were kept, so that a file refused as too large is still recognised.
    struct Contents
    {
        enum Status { Read, Absent, TooLarge, Failed };
        Status status = Failed;
        QByteArray content;
        QByteArray fingerprint;
        // Why the file could not be read (Failed only).
        QString error;
    };
    // Reads a regular file, following a link (reading through one is harmless) and never
    // blocking on a FIFO or device put in its place.
    static Contents read(const QString& path, qint64 maxBytes = std::numeric_limits<qint64>::max());

    // Replaces the file at path (a real path, sandbox root included) with content. With a
    // non-empty expected fingerprint the file must still be what was read. Returns an empty
    // string on success, otherwise the reason, and then nothing was changed.
    static QString replace(const QString& path, const QByteArray& content, mode_t newFileMode,
                           const QByteArray& expectedFingerprint = QByteArray());

    // Opens a file that is appended to in place (a log) without following a symbolic link,
    // creating it with newFileMode, emptying it first when asked. Returns the descriptor, or
    // -1 with the reason in error.
    static int openForAppend(const QString& path, mode_t newFileMode, bool truncate,
                             QString* error);

    // Makes sure a directory of root's own exists at path (a real path) with its parents; a new
    // one is private to its owner (0700) whatever the umask, an existing one is left as it is.
    // Returns whether the directory exists afterwards.
    static bool ensurePrivateDirectory(const QString& path);

private:
    AtomicFile() = delete;
};
