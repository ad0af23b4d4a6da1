#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <set>
#include <sys/types.h>

// One run of an external program, started and waited for on the calling thread. It is started
// with posix_spawn: QProcess forks the whole calling process, which in a GUI process with a
// large address space costs several times what the tool itself needs. Standard input is empty,
// standard error goes to /dev/null; standard output is discarded or kept up to a limit.
//
// A run may belong to a Group, through which another thread stops every tool of a signing run
// at once; a closed group starts nothing more, so a stop cannot miss a tool that was just
// about to start.
class ToolProcess
{
    Q_DECLARE_TR_FUNCTIONS(ToolProcess)
    Q_DISABLE_COPY(ToolProcess)
public:
    class Group
    {
    public:
        // From now on no tool of the group starts.
        void close();
        bool isClosed() const;
        // Ask every running tool to end (SIGTERM), or end it (SIGKILL).
        void terminateAll();
        void killAll();
        int runningCount() const;

    private:
        friend class ToolProcess;
        bool add(ToolProcess* process);
        void remove(ToolProcess* process);
        void signalAll(int signal);

        mutable std::mutex _mutex;
        bool _closed = false;
        std::set<ToolProcess*> _running;
    };

    ToolProcess() = default;

    // Lowers the scheduling priority of the calling thread, and so of every tool it starts
    // from now on: a thread that starts tools back to back, with the tools, would otherwise
    // keep both processors busy and the interface waiting for one. Has no effect on a thread
    // that runs at a lower priority already.
    static void lowerCallingThreadPriority();

    void setGroup(Group* group) { _group = group; }
    // Standard output is kept up to this many bytes and the rest read and dropped; 0 discards
    // it without reading.
    void setOutputLimit(int bytes) { _outputLimit = bytes; }
    // The tool is killed when it runs longer; -1 for no limit.
    void setTimeout(int milliseconds) { _timeout = milliseconds; }

    // Starts the program (found through PATH) and waits for its end. True when it ended, also
    // by a crash; false when it did not start (error() FailedToStart, and no normal exit) or
    // was killed at the time limit (error() Timedout).
    bool run(const QString& program, const QStringList& arguments);

    // Thread-safe: ends the running tool; later runs in this object are not affected.
    void terminate();
    void kill();

    QProcess::ProcessError error() const { return _error; }
    QString errorString() const { return _errorString; }
    QProcess::ExitStatus exitStatus() const { return _exitStatus; }
    int exitCode() const { return _exitCode; }
    QByteArray output() const { return _output; }
    bool isOutputTruncated() const { return _truncated; }
    // Whether terminate(), kill(), the group or the time limit ended the tool, or a closed
    // group kept it from starting.
    bool wasStopped() const { return _stopped; }

private:
    bool spawn(const QString& program, const QStringList& arguments, int inputFd, int outputFd);
    void waitForExit(int outputFd);
    void readOutput(int& outputFd);
    void reap();
    void sendSignal(int signal);
    void signalLocked(int signal);
    void fail(QProcess::ProcessError error, const QString& text);

    Group* _group = nullptr;
    int _outputLimit = 0;
    int _timeout = -1;

    // Guards the process identity against a signal from another thread: the child is reaped
    // under the lock, so a signal never reaches a process id that was already given back.
    std::mutex _mutex;
    pid_t _pid = 0;
    int _pidFd = -1;
    int _pendingSignal = 0;
    std::atomic<bool> _stopped {false};

    QProcess::ProcessError _error = QProcess::UnknownError;
    QString _errorString;
    QProcess::ExitStatus _exitStatus = QProcess::NormalExit;
    int _exitCode = 0;
    QByteArray _output;
    bool _truncated = false;
    bool _timedOut = false;
};
