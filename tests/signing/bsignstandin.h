#pragma once

// Helpers for driving the stand-in signing tool from tests: its knobs are environment
// variables inherited by every child process, and its calls are read back from one log.

#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

namespace BsignStandIn {

using TestSupport::elfBytes;
using TestSupport::ScopedEnv;

struct Call
{
    qint64 pid = 0;
    QStringList args; // as the tool logged them: tab, newline and backslash escaped
};

// A private state directory and one log. The tool appends "pid, file" when a call starts and
// "start, end, pid, arguments" when it ends (end "-" when it hangs), both to the same file:
// the order of the lines is the order of the events, whatever the clocks of the calls say.
class Session
{
public:
    Session()
        : _state("DIGSIG_BSIGN_STATE", path("state").toUtf8())
        , _log("DIGSIG_BSIGN_LOG", path("log").toUtf8())
        , _startLog("DIGSIG_BSIGN_START_LOG", path("log").toUtf8())
    { }
    // A file in the session's own folder, which goes away with it.
    QString path(const QString& name) const { return _dir.filePath(name); }
    QList<QStringList> lines() const
    {
        QList<QStringList> result;
        for (const QString& line : TestSupport::readLog(path(QStringLiteral("log"))))
            result << line.split(QLatin1Char('\t'));
        return result;
    }
    // The calls that ended or hang, in that order.
    QList<Call> calls() const
    {
        QList<Call> result;
        for (const QStringList& f : lines())
            if (f.size() > 2)
                result << Call {f[2].toLongLong(), f.mid(3)};
        return result;
    }
    // The files of the calls started so far, in start order.
    QStringList started() const
    {
        QStringList files;
        for (const QStringList& f : lines())
            if (f.size() == 2)
                files << f[1];
        return files;
    }
    QStringList verifiedFiles() const
    {
        QStringList files;
        for (const Call& call : calls())
            if (call.args.size() == 2 && call.args[0] == "--verify")
                files << call.args[1];
        return files;
    }
    // The most calls that had started and not ended at one time.
    int mostAtOnce() const
    {
        int running = 0;
        int most = 0;
        for (const QStringList& f : lines())
            most = std::max(most, running += f.size() == 2 ? 1 : f[1] == "-" ? 0 : -1);
        return most;
    }
    // A file whose creation lets calls held by DIGSIG_BSIGN_WAIT_FOR go on.
    QString gatePath() const { return path(QStringLiteral("gate")); }
    void openGate() const { TestSupport::writeFile(gatePath(), ""); }

private:
    QTemporaryDir _dir;
    ScopedEnv _state;
    ScopedEnv _log;
    ScopedEnv _startLog;
};

// Signs a file the way the plug-in does, without its code; returns the tool's exit code.
inline int sign(const QString& file, const QString& modeFlag = QString())
{
    QStringList arguments {"--sign", modeFlag, "--nopass", "-p\"\"--pinentry-mode ask\"\"", file};
    arguments.removeAll(QString());
    return QProcess::execute(QStringLiteral("bsign"), arguments);
}

} // namespace BsignStandIn
