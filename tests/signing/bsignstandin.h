#pragma once

// Helpers for driving the stand-in signing tool from tests: its knobs are environment
// variables inherited by every child process, and its call log is read back here.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "testsupport.h"

#include <algorithm>
#include <climits>

namespace BsignStandIn {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : _name(name)
        , _wasSet(qEnvironmentVariableIsSet(name))
        , _old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (_wasSet)
            qputenv(_name, _old);
        else
            qunsetenv(_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* _name;
    bool _wasSet;
    QByteArray _old;
};

struct Call
{
    qint64 start = 0;
    qint64 end = -1; // -1 while the call hangs
    qint64 pid = 0;
    QStringList args;
};

inline QString unescaped(const QString& text)
{
    QString result;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\') || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const QChar next = text[++i];
        result += next == QLatin1Char('t') ? QChar('\t')
            : next == QLatin1Char('n')     ? QChar('\n')
                                           : next;
    }
    return result;
}

inline QList<Call> readCalls(const QString& logPath)
{
    QList<Call> calls;
    for (const QString& line : TestSupport::readLog(logPath)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 3)
            continue;
        Call call;
        call.start = fields[0].toLongLong();
        call.end = fields[1] == QLatin1String("-") ? -1 : fields[1].toLongLong();
        call.pid = fields[2].toLongLong();
        for (int i = 3; i < fields.size(); ++i)
            call.args << unescaped(fields[i]);
        calls << call;
    }
    return calls;
}

// The file of every logged verification, in log order.
inline QStringList verifiedFiles(const QString& logPath)
{
    QStringList files;
    for (const Call& call : readCalls(logPath)) {
        if (call.args.size() == 2 && call.args.first() == QLatin1String("--verify"))
            files << call.args.last();
    }
    return files;
}

// The most calls that ran at the same time.
inline int mostAtOnce(const QList<Call>& calls)
{
    int most = 0;
    for (const Call& call : calls) {
        int running = 0;
        for (const Call& other : calls)
            running += other.start <= call.start && (other.end < 0 || call.start < other.end);
        most = std::max(most, running);
    }
    return most;
}

// The files of the calls that have started so far (DIGSIG_BSIGN_START_LOG), in start order.
inline QStringList startedFiles(const QString& startLogPath)
{
    QStringList files;
    for (const QString& line : TestSupport::readLog(startLogPath))
        files << unescaped(line.section(QLatin1Char('\t'), 1));
    return files;
}

// A private state directory and call log for one test.
class Session
{
public:
    Session()
        : _state("DIGSIG_BSIGN_STATE", (_dir.path() + QStringLiteral("/state")).toUtf8())
        , _log("DIGSIG_BSIGN_LOG", logPath().toUtf8())
        , _startLog("DIGSIG_BSIGN_START_LOG", (_dir.path() + QStringLiteral("/start.log")).toUtf8())
    { }
    QString logPath() const { return _dir.path() + QStringLiteral("/bsign.log"); }
    // The files of the calls started so far, in start order.
    QStringList started() const { return startedFiles(_dir.path() + QStringLiteral("/start.log")); }
    // The lowest nice value among the calls started so far and still running (held at the gate).
    int lowestNiceOfStarted() const
    {
        int lowest = INT_MAX;
        for (const QString& line :
             TestSupport::readLog(_dir.path() + QStringLiteral("/start.log"))) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(line.section(QLatin1Char('\t'), 0, 0)));
            if (stat.open(QIODevice::ReadOnly)) {
                // The fields after the command name, which is in parentheses; nice is the 19th.
                const QByteArray all = stat.readAll();
                const QByteArray fields = all.mid(all.lastIndexOf(')') + 1).simplified();
                lowest = std::min(lowest, fields.split(' ').value(16).toInt());
            }
        }
        return lowest;
    }
    // A file whose creation lets calls held by DIGSIG_BSIGN_WAIT_FOR go on.
    QString gatePath() const { return _dir.path() + QStringLiteral("/gate"); }
    void openGate() const { TestSupport::writeFile(gatePath(), ""); }
    QList<Call> calls() const { return readCalls(logPath()); }
    QList<Call> verifyCalls() const
    {
        QList<Call> result;
        for (const Call& call : calls()) {
            if (call.args.value(0) == QLatin1String("--verify"))
                result << call;
        }
        return result;
    }
    QStringList verifiedFiles() const { return BsignStandIn::verifiedFiles(logPath()); }

private:
    QTemporaryDir _dir;
    ScopedEnv _state;
    ScopedEnv _log;
    ScopedEnv _startLog;
};

// Runs the stand-in synchronously; returns its exit code, or -1 when it did not exit normally.
inline int run(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("bsign"), arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitCode();
}

inline QString passArgument(const QString& key = QString())
{
    return key.isEmpty()
        ? QStringLiteral("-p\"\"--pinentry-mode ask\"\"")
        : QStringLiteral("-p\"\"--default-key %1 --pinentry-mode ask\"\"").arg(key);
}

inline int sign(const QString& file, const QString& modeFlag = QString(),
                const QString& key = QString())
{
    QStringList arguments {QStringLiteral("--sign")};
    if (!modeFlag.isEmpty())
        arguments << modeFlag;
    arguments << QStringLiteral("--nopass") << passArgument(key) << file;
    return run(arguments);
}

inline QByteArray elfBytes()
{
    return QByteArray("\x7f"
                      "ELF\x02\x01\x01",
                      7)
        + QByteArray(57, '\0');
}

} // namespace BsignStandIn
