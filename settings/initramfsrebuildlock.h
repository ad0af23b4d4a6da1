#pragma once

#include <QString>

#include <functional>

// Lets one rebuild of the initial RAM file system (remount of /boot, update-initramfs, remount)
// run at a time, across tasks and across processes: an advisory lock on a file in a directory
// of root's own under /run, which the kernel drops when its holder ends, however it ends. Two
// rebuilds at once would race: the first remounts /boot read-only while the second still writes.
class InitramfsRebuildLock
{
public:
    // Takes the lock, waiting for as long as another rebuild holds it; whenWaiting, if set, is
    // called once before such a wait. Blocks: never construct it on the GUI thread.
    explicit InitramfsRebuildLock(const std::function<void()>& whenWaiting = {});
    ~InitramfsRebuildLock();
    InitramfsRebuildLock(const InitramfsRebuildLock&) = delete;
    InitramfsRebuildLock& operator=(const InitramfsRebuildLock&) = delete;

    // Empty when the lock is held, otherwise why it could not be taken.
    QString error() const;

private:
    int _fd;
    QString _error;
};
