#include "toolprocess.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A tool gets the default action for these whatever the calling process does with them, as
// after a fork and exec from a shell.
const int signalsWithDefaultAction[]
    = {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2};

// The nice value of threads that start tools: enough for a thread of normal priority that
// wakes up to get a processor at once, not so much that other work on the machine starves
// the tools.
constexpr int backgroundNice = 10;

// Without a process file descriptor (kernels before 5.3) the end of a tool is polled.
constexpr int exitPollInterval = 20;

int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    Q_UNUSED(pid)
    return -1;
#endif
}

int sendPidFdSignal(int pidFd, int signal)
{
#ifdef SYS_pidfd_send_signal
    return int(::syscall(SYS_pidfd_send_signal, pidFd, signal, nullptr, 0));
#else
    Q_UNUSED(pidFd)
    Q_UNUSED(signal)
    errno = ENOSYS;
    return -1;
#endif
}

bool hasExited(pid_t pid)
{
    siginfo_t info {};
    return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

class SpawnSettings
{
public:
    SpawnSettings(int inputFd, int outputFd)
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
        if (outputFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

        posix_spawnattr_init(&attributes);
        sigset_t mask;
        sigemptyset(&mask);
        posix_spawnattr_setsigmask(&attributes, &mask);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : signalsWithDefaultAction)
            sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    Q_DISABLE_COPY(SpawnSettings)

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

void ToolProcess::Group::close()
{
    std::lock_guard<std::mutex> lock(_mutex);
    _closed = true;
}

bool ToolProcess::Group::isClosed() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _closed;
}

void ToolProcess::Group::terminateAll()
{
    signalAll(SIGTERM);
}

void ToolProcess::Group::killAll()
{
    signalAll(SIGKILL);
}

int ToolProcess::Group::runningCount() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return int(_running.size());
}

bool ToolProcess::Group::add(ToolProcess* process)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_closed)
        return false;
    _running.insert(process);
    return true;
}

void ToolProcess::Group::remove(ToolProcess* process)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _running.erase(process);
}

void ToolProcess::Group::signalAll(int signal)
{
    std::lock_guard<std::mutex> lock(_mutex);
    for (ToolProcess* process : _running)
        process->sendSignal(signal);
}

// Linux keeps a nice value per thread, and a child inherits that of the thread that starts it.
void ToolProcess::lowerCallingThreadPriority()
{
    const auto thread = id_t(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, thread);
    if (errno == 0 && current < backgroundNice)
        ::setpriority(PRIO_PROCESS, thread, backgroundNice);
}

bool ToolProcess::run(const QString& program, const QStringList& arguments)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pendingSignal = 0;
        _stopped = false;
    }
    _error = QProcess::UnknownError;
    _errorString.clear();
    _exitStatus = QProcess::NormalExit;
    _exitCode = 0;
    _output.clear();
    _truncated = false;
    _timedOut = false;
    if (_group && !_group->add(this)) {
        _stopped = true;
        fail(QProcess::FailedToStart, tr("the run was stopped before the tool started"));
        return false;
    }
    // Standard input is a pipe whose writing end is already closed rather than /dev/null: a
    // tool reads nothing, even on a machine where /dev/null has become a plain file holding
    // what other programs threw away.
    int inputFds[2] = {-1, -1};
    int pipeFds[2] = {-1, -1};
    bool started = false;
    if (::pipe2(inputFds, O_CLOEXEC) != 0
        || (_outputLimit > 0 && ::pipe2(pipeFds, O_CLOEXEC) != 0)) {
        fail(QProcess::FailedToStart, qt_error_string(errno));
    } else {
        ::close(inputFds[1]);
        inputFds[1] = -1;
        started = spawn(program, arguments, inputFds[0], pipeFds[1]);
    }
    for (int fd : {inputFds[0], inputFds[1], pipeFds[1]})
        if (fd >= 0)
            ::close(fd);
    if (started) {
        waitForExit(pipeFds[0]);
        reap();
    } else if (pipeFds[0] >= 0) {
        ::close(pipeFds[0]);
    }
    if (_group)
        _group->remove(this);
    return started && !_timedOut;
}

void ToolProcess::terminate()
{
    sendSignal(SIGTERM);
}

void ToolProcess::kill()
{
    sendSignal(SIGKILL);
}

bool ToolProcess::spawn(const QString& program, const QStringList& arguments, int inputFd,
                        int outputFd)
{
    std::vector<QByteArray> storage {QFile::encodeName(program)};
    for (const QString& argument : arguments)
        storage.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const SpawnSettings settings(inputFd, outputFd);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_pendingSignal != 0) {
            fail(QProcess::FailedToStart, tr("the run was stopped before the tool started"));
            return false;
        }
    }
    pid_t pid = 0;
    const int result = ::posix_spawnp(&pid, storage.front().constData(), &settings.actions,
                                      &settings.attributes, argv.data(), environ);
    if (result != 0) {
        fail(QProcess::FailedToStart, qt_error_string(result));
        return false;
    }
    const int pidFd = openPidFd(pid);
    std::lock_guard<std::mutex> lock(_mutex);
    _pid = pid;
    _pidFd = pidFd;
    // A stop that came while the tool was being started.
    if (_pendingSignal != 0)
        signalLocked(_pendingSignal);
    return true;
}

void ToolProcess::waitForExit(int outputFd)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        pollfd fds[2] {};
        nfds_t count = 0;
        if (_pidFd >= 0)
            fds[count++] = {_pidFd, POLLIN, 0};
        const nfds_t outputIndex = count;
        if (outputFd >= 0)
            fds[count++] = {outputFd, POLLIN, 0};
        int wait = _pidFd >= 0 ? -1 : exitPollInterval;
        if (_timeout >= 0 && !_timedOut) {
            const int left = int(std::max<qint64>(0, _timeout - clock.elapsed()));
            wait = wait < 0 ? left : std::min(wait, left);
        }
        if (::poll(fds, count, wait) < 0 && errno != EINTR)
            break;
        if (outputFd >= 0 && fds[outputIndex].revents != 0)
            readOutput(outputFd);
        const bool exited = _pidFd >= 0 ? (fds[0].revents & POLLIN) != 0 : hasExited(_pid);
        if (exited)
            break;
        if (_timeout >= 0 && !_timedOut && clock.elapsed() >= _timeout) {
            _timedOut = true;
            sendSignal(SIGKILL);
        }
    }
    // The tool has ended, so what it wrote is in the pipe; a child it left behind may keep the
    // pipe open, so the rest is read without waiting.
    if (outputFd >= 0)
        ::fcntl(outputFd, F_SETFL, O_NONBLOCK);
    while (outputFd >= 0)
        readOutput(outputFd);
}

// Reads what is there; closes the descriptor and sets it to -1 at the end of the output or
// when nothing more is available without waiting.
void ToolProcess::readOutput(int& outputFd)
{
    char buffer[65536];
    const ssize_t count = ::read(outputFd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR)
        return;
    if (count <= 0) {
        ::close(outputFd);
        outputFd = -1;
        return;
    }
    const int room = std::max(0, _outputLimit - int(_output.size()));
    _output.append(buffer, int(std::min<ssize_t>(count, room)));
    if (count > room)
        _truncated = true;
}

void ToolProcess::reap()
{
    std::lock_guard<std::mutex> lock(_mutex);
    int status = 0;
    pid_t result = -1;
    do {
        result = ::waitpid(_pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    const int waitError = errno;
    _pid = 0;
    if (_pidFd >= 0)
        ::close(_pidFd);
    _pidFd = -1;
    if (result < 0) {
        _exitStatus = QProcess::CrashExit;
        fail(QProcess::UnknownError, qt_error_string(waitError));
    } else if (WIFSIGNALED(status)) {
        _exitStatus = QProcess::CrashExit;
        _exitCode = WTERMSIG(status);
        if (_timedOut)
            fail(QProcess::Timedout,
                 tr("the tool did not end within %n seconds", nullptr, _timeout / 1000));
        else
            fail(QProcess::Crashed, tr("the tool crashed"));
    } else {
        _exitCode = WEXITSTATUS(status);
    }
}

void ToolProcess::sendSignal(int signal)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _pendingSignal = signal;
    _stopped = true;
    signalLocked(signal);
}

void ToolProcess::signalLocked(int signal)
{
    if (_pidFd >= 0 && sendPidFdSignal(_pidFd, signal) == 0)
        return;
    if (_pid > 0)
        ::kill(_pid, signal);
}

void ToolProcess::fail(QProcess::ProcessError error, const QString& text)
{
    _error = error;
    _errorString = text;
    // A tool that never ran has no exit code to be read as success.
    if (error == QProcess::FailedToStart) {
        _exitStatus = QProcess::CrashExit;
        _exitCode = -1;
    }
}
