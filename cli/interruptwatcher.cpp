#include "interruptwatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const int watched[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

int InterruptWatcher::_pipe[2] = {-1, -1};

InterruptWatcher::InterruptWatcher(QObject* parent)
    : QObject(parent)
    , _notifier(nullptr)
{
    if (::pipe2(_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    _notifier = new QSocketNotifier(_pipe[0], QSocketNotifier::Read, this);
    connect(_notifier, &QSocketNotifier::activated, this, [this] {
        char signal = 0;
        while (::read(_pipe[0], &signal, 1) > 0) { }
        Q_EMIT interrupted();
    });
    struct sigaction action
    {
    };
    action.sa_handler = &InterruptWatcher::handle;
    sigemptyset(&action.sa_mask);
    // The first signal is caught, the next one has the default effect again.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(watched[i], &action, &_old[i]);
}

InterruptWatcher::~InterruptWatcher()
{
    if (!_notifier)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(watched[i], &_old[i], nullptr);
    ::close(_pipe[0]);
    ::close(_pipe[1]);
    _pipe[0] = _pipe[1] = -1;
}

// Only what a signal handler may do: one write to the pipe.
void InterruptWatcher::handle(int signal)
{
    const char byte = char(signal);
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(_pipe[1], &byte, 1);
    errno = saved;
}
