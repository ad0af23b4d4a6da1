#include "filequeue.h"

FileQueue::FileQueue(size_t capacity)
    : _capacity(capacity)
{ }

bool FileQueue::push(ListedFile&& file)
{
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return _stopped || _files.size() < _capacity; });
    if (_stopped)
        return false;
    _files.push_back(std::move(file));
    lock.unlock();
    _changed.notify_all();
    return true;
}

bool FileQueue::take(ListedFile* file)
{
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return _stopped || _closed || !_files.empty(); });
    if (_stopped || _files.empty())
        return false;
    *file = std::move(_files.front());
    _files.pop_front();
    lock.unlock();
    _changed.notify_all();
    return true;
}

bool FileQueue::waitForFile()
{
    std::unique_lock<std::mutex> lock(_mutex);
    _changed.wait(lock, [this] { return _stopped || _closed || !_files.empty(); });
    return !_stopped && !_files.empty();
}

void FileQueue::close()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _closed = true;
    }
    _changed.notify_all();
}

void FileQueue::stop()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stopped = true;
        _files.clear();
    }
    _changed.notify_all();
}
