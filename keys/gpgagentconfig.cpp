#include "gpgagentconfig.h"

#include "atomicfile.h"
#include "boundedprocess.h"
#include "digsigconstants.h"
#include "sysroot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const QString& gnupgHomePath()
{
    static const QString path = Sysroot::path(DigSig::gnupgHome());
    return path;
}

const QString& confPath()
{
    static const QString path = Sysroot::path(DigSig::gpgAgentConfPath());
    return path;
}

const QStringList& timeOptions()
{
    static const QStringList options {QStringLiteral("pinentry-timeout"),
                                      QStringLiteral("default-cache-ttl"),
                                      QStringLiteral("max-cache-ttl")};
    return options;
}

[[noreturn]] void fail(const char* message, const QString& systemPath = QString(),
                       const QString& reason = QString())
{
    QString text = QCoreApplication::translate("QObject", message);
    if (!systemPath.isEmpty())
        text = text.arg(systemPath);
    if (!reason.isEmpty())
        text += QLatin1Char('\n') + reason;
    throw std::runtime_error(text.toUtf8().toStdString());
}

QByteArray optionLine(const QString& key, const QString& value)
{
    return QStringLiteral("%1 %2").arg(key, value).toUtf8();
}

// The option a line sets: the text before its first white space; empty for an indented line.
QString lineKey(const QByteArray& line)
{
    static const QRegularExpression linePattern(QStringLiteral("^(?<key>.*?)([[:space:]]+.*)?$"));
    return linePattern.match(QString::fromUtf8(line)).captured(QStringLiteral("key")).trimmed();
}

// Lines are kept as bytes, not decoded and encoded again: a comment in another encoding or a
// byte order mark must not change the administrator's other lines. The first line of each
// option in `lines` becomes the given line, or goes when that is empty; options not found are
// appended.
QByteArray withOptionLines(const QByteArray& existing, QHash<QString, QByteArray> lines)
{
    QByteArrayList fileLines = QByteArray(existing).replace('\r', QByteArray()).split('\n');
    if (fileLines.last().isEmpty())
        fileLines.removeLast();
    QByteArray output;
    for (const QByteArray& line : qAsConst(fileLines)) {
        const QString key = lineKey(line);
        const auto option = key.isEmpty() ? lines.end() : lines.find(key);
        if (option == lines.end()) {
            output += line + '\n';
            continue;
        }
        if (!option.value().isEmpty())
            output += option.value() + '\n';
        lines.erase(option);
    }
    for (auto option = lines.cbegin(); option != lines.cend(); ++option) {
        if (!option.value().isEmpty())
            output += option.value() + '\n';
    }
    return output;
}

AtomicFile::Contents readConf()
{
    const AtomicFile::Contents conf = AtomicFile::read(confPath());
    if (conf.status != AtomicFile::Contents::Read && conf.status != AtomicFile::Contents::Absent)
        fail(QT_TRANSLATE_NOOP("QObject", "Can not open file %1"), DigSig::gpgAgentConfPath());
    return conf;
}

void replaceConf(const QByteArray& bytes, const QByteArray& fingerprint)
{
    const QString error
        = AtomicFile::replace(confPath(), bytes, AtomicFile::privateMode, fingerprint);
    if (!error.isEmpty())
        fail(QT_TRANSLATE_NOOP("QObject", "Can not save file %1"), DigSig::gpgAgentConfPath(),
             error);
}

// The record and the lock of a run live in a directory of their own, private to root.
void ensureStateDirectory()
{
    if (!AtomicFile::ensurePrivateDirectory(Sysroot::path(DigSig::stateDirectory())))
        fail(QT_TRANSLATE_NOOP("QObject", "Can not create dir %1"), DigSig::stateDirectory());
}

// The record holds, for each time option, the option name and then the administrator's line as
// it stood (byte for byte), or the name alone where the file had no such line.
QHash<QString, QByteArray> parsedRecord(const QByteArray& record)
{
    QHash<QString, QByteArray> lines;
    for (const QByteArray& line : record.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int space = line.indexOf(' ');
        const QString option = QString::fromUtf8(space < 0 ? line : line.left(space));
        if (timeOptions().contains(option))
            lines.insert(option, space < 0 ? QByteArray() : line.mid(space + 1));
    }
    return lines;
}

QByteArray recordOf(const QByteArray& conf)
{
    QHash<QString, QByteArray> found;
    for (const QByteArray& line : QByteArray(conf).replace('\r', QByteArray()).split('\n')) {
        const QString key = lineKey(line);
        if (timeOptions().contains(key) && !found.contains(key))
            found.insert(key, line);
    }
    QByteArray record = "# gpg-agent.conf lines of the times before a signing run raised them\n";
    for (const QString& option : timeOptions()) {
        record += option.toUtf8();
        if (found.contains(option))
            record += ' ' + found.value(option);
        record += '\n';
    }
    return record;
}

QString recordPath()
{
    return Sysroot::path(DigSig::gpgAgentTimesRecordPath());
}

// The lock a running signing run holds; the kernel drops it when the process ends.
std::mutex runLockMutex;
int runLock = -1;

int openRunLock()
{
    return ::open(QFile::encodeName(Sysroot::path(DigSig::gpgAgentTimesLockPath())).constData(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, AtomicFile::privateMode);
}

enum class RunLock { Held, Taken, Busy };

// Busy: a run in another console holds it, and keeps its record until it ends.
RunLock acquireRunLock()
{
    const std::lock_guard<std::mutex> guard(runLockMutex);
    if (runLock >= 0)
        return RunLock::Held;
    const int fd = openRunLock();
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        runLock = fd;
        return RunLock::Taken;
    }
    if (fd >= 0)
        ::close(fd);
    return RunLock::Busy;
}

void releaseRunLock()
{
    const std::lock_guard<std::mutex> guard(runLockMutex);
    if (runLock >= 0)
        ::close(runLock);
    runLock = -1;
}

} // namespace

void ensureGnupgHome()
{
    if (QDir(gnupgHomePath()).exists())
        return;
    if (!QDir().mkpath(gnupgHomePath()))
        fail(QT_TRANSLATE_NOOP("QObject", "Can not create dir %1"), DigSig::gnupgHome());
    if (!QFile::setPermissions(gnupgHomePath(),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        fail(QT_TRANSLATE_NOOP("QObject", "Can not set permissions for %1"), DigSig::gnupgHome());
}

void reloadGpgAgent(int timeoutMsecs)
{
    const BoundedProcess::Result result = BoundedProcess::run(
        QStringLiteral("gpg-connect-agent"),
        {QStringLiteral("--no-autostart"), QStringLiteral("reloadagent"), QStringLiteral("/bye")},
        timeoutMsecs, BoundedProcess::ForwardOutput);
    if (result.timedOut) {
        throw std::runtime_error(
            QCoreApplication::translate("QObject",
                                        "gpg-agent did not answer within %1 seconds; it keeps "
                                        "its old settings until it is restarted.")
                .arg(timeoutMsecs / 1000.0)
                .toUtf8()
                .toStdString());
    }
    if (!result.succeeded())
        fail(QT_TRANSLATE_NOOP("QObject", "Can not reload gpg-agent"));
}

QByteArray mergedGpgAgentConf(const QByteArray& existing, QHash<QString, QString> options)
{
    QHash<QString, QByteArray> lines;
    for (auto option = options.cbegin(); option != options.cend(); ++option)
        lines.insert(option.key(), optionLine(option.key(), option.value()));
    return withOptionLines(existing, lines);
}

void writeGpgAgentConf(QHash<QString, QString> options)
{
    ensureGnupgHome();
    const AtomicFile::Contents conf = readConf();
    replaceConf(mergedGpgAgentConf(conf.content, std::move(options)), conf.fingerprint);
    reloadGpgAgent();
}

void writeGpgAgentConfOption(QString key, QString value)
{
    writeGpgAgentConf({{key, value}});
}

void raiseGpgAgentTimes()
{
    ensureGnupgHome();
    ensureStateDirectory();
    acquireRunLock();
    // A record left by a run that did not end holds the administrator's lines; the file now
    // holds raised ones.
    if (!gpgAgentTimesRaised()) {
        const QString error = AtomicFile::replace(recordPath(), recordOf(readConf().content),
                                                  AtomicFile::privateMode);
        if (!error.isEmpty())
            fail(QT_TRANSLATE_NOOP("QObject", "Can not save file %1"),
                 DigSig::gpgAgentTimesRecordPath(), error);
    }
    const QString month = QStringLiteral("2592000");
    QHash<QString, QString> raised;
    for (const QString& option : timeOptions())
        raised.insert(option, month);
    writeGpgAgentConf(raised);
}

void restoreGpgAgentTimes()
{
    if (!gpgAgentTimesRaised()) {
        releaseRunLock();
        return;
    }
    if (acquireRunLock() == RunLock::Busy)
        return;
    const AtomicFile::Contents record = AtomicFile::read(recordPath());
    if (record.status != AtomicFile::Contents::Read)
        fail(QT_TRANSLATE_NOOP("QObject", "Can not open file %1"),
             DigSig::gpgAgentTimesRecordPath());
    const AtomicFile::Contents conf = readConf();
    replaceConf(withOptionLines(conf.content, parsedRecord(record.content)), conf.fingerprint);
    if (!QFile::remove(recordPath()))
        fail(QT_TRANSLATE_NOOP("QObject", "Can not remove file %1"),
             DigSig::gpgAgentTimesRecordPath());
    releaseRunLock();
    reloadGpgAgent();
}

bool gpgAgentTimesRaised()
{
    return QFileInfo::exists(recordPath());
}

bool restoreGpgAgentTimesOfEndedRun()
{
    // Held: this process's own run is going on.
    if (!gpgAgentTimesRaised() || acquireRunLock() != RunLock::Taken)
        return false;
    try {
        restoreGpgAgentTimes();
    } catch (...) {
        releaseRunLock();
        throw;
    }
    return true;
}
