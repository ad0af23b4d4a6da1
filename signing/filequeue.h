#pragma once

#include "filelister.h"

#include <condition_variable>
#include <deque>
#include <mutex>

// The files between the lister and the workers of a signing run. It holds a bounded number of
// files, so that listing a huge tree ahead of the workers does not take memory without end.
class FileQueue
{
public:
    explicit FileQueue(size_t capacity);

    // Waits while the queue is full; false once the queue is stopped (the file is dropped).
    bool push(ListedFile&& file);
    // Waits for the next file; false when the queue is closed and empty, or stopped.
    bool take(ListedFile* file);
    // Waits until a file is there (true), or until the queue is closed empty or stopped.
    bool waitForFile();
    // No more files will come.
    void close();
    // Everybody waiting returns, and nothing more is handed out or taken in.
    void stop();

private:
    const size_t _capacity;
    std::mutex _mutex;
    std::condition_variable _changed;
    std::deque<ListedFile> _files;
    bool _closed = false;
    bool _stopped = false;
};
