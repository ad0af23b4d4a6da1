#include "boundedprocess.h"

#include <QDeadlineTimer>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

// A child that leads its own process group, so that a stop reaches the programs it started
// too (update-initramfs is a script that runs many).
class GroupLeaderProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};

void signalGroup(qint64 group, int signal)
{
    // Never 0 or less: that would reach the console's own process group, or every process.
    if (group > 0)
        ::kill(-pid_t(group), signal);
}

void stop(QProcess& process, qint64 group)
{
    signalGroup(group, SIGTERM);
    if (!process.waitForFinished(BoundedProcess::terminateGraceMsecs)) {
        signalGroup(group, SIGKILL);
        process.kill();
        process.waitForFinished(-1);
    }
    // Whatever of the group ignored the request goes now.
    signalGroup(group, SIGKILL);
}

void keep(BoundedProcess::Result& result, const QByteArray& bytes)
{
    const int room = BoundedProcess::errorOutputLimit - result.errorOutput.size();
    if (bytes.size() > room)
        result.errorOutputTruncated = true;
    result.errorOutput += bytes.left(qMax(room, 0));
}

} // namespace

BoundedProcess::Result BoundedProcess::run(const QString& program, const QStringList& arguments,
                                           int timeoutMsecs, Output output)
{
    Result result;
    GroupLeaderProcess process;
    if (output == ForwardOutput) {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setReadChannel(QProcess::StandardError);
    }
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        result.error = process.error();
        return result;
    }
    result.started = true;
    result.processId = process.processId();
    process.closeWriteChannel();

    const QDeadlineTimer deadline
        = timeoutMsecs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMsecs);
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            stop(process, result.processId);
            result.timedOut = true;
            break;
        }
        const int slice = int(deadline.remainingTime());
        // Reading as the output arrives keeps what piles up in memory to one pipe's worth.
        if (output == KeepErrorOutput) {
            process.waitForReadyRead(slice);
            keep(result, process.readAllStandardError());
        } else {
            process.waitForFinished(slice);
        }
    }
    if (output == KeepErrorOutput)
        keep(result, process.readAllStandardError());
    if (result.timedOut)
        return result;
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.error = process.error();
    return result;
}
