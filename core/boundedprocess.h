#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs an external program to its end within a time limit, on the calling thread (never the
// GUI thread: it blocks). Past the limit the program and everything it started (it leads a
// process group of its own) is terminated, and killed when it does not end within a grace
// period. Standard output is never kept in memory; standard error is forwarded, dropped or kept
// up to errorOutputLimit bytes.
class BoundedProcess
{
public:
    enum Output {
        // Both channels go to the console's own standard output and error.
        ForwardOutput,
        // Standard output is dropped; the start of standard error is kept.
        KeepErrorOutput,
    };

    struct Result
    {
        bool started = false;
        // Also the id of the process group it led.
        qint64 processId = 0;
        bool timedOut = false;
        bool crashed = false;
        int exitCode = -1;
        QProcess::ProcessError error = QProcess::UnknownError;
        QByteArray errorOutput;
        bool errorOutputTruncated = false;

        bool succeeded() const { return started && !timedOut && !crashed && exitCode == 0; }
    };

    // The most of a program's standard error kept for the administrator.
    static constexpr int errorOutputLimit = 16 * 1024;
    // How long a terminated program may take to end before it is killed.
    static constexpr int terminateGraceMsecs = 3000;

    // A negative limit waits for as long as the program runs.
    static Result run(const QString& program, const QStringList& arguments, int timeoutMsecs,
                      Output output);

private:
    BoundedProcess() = delete;
};
