#include "gpgagentconfig.h"

#include "digsigconstants.h"
#include "sysroot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>

#include <stdexcept>
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

[[noreturn]] void fail(const char* message, const QString& systemPath = QString())
{
    QString text = QCoreApplication::translate("QObject", message);
    if (!systemPath.isEmpty())
        text = text.arg(systemPath);
    throw std::runtime_error(text.toUtf8().toStdString());
}

QString optionLine(const QString& key, const QString& value)
{
    return QStringLiteral("%1 %2\n").arg(key, value);
}

void replaceConf(const QByteArray& bytes)
{
    QSaveFile file(confPath());
    if (!file.open(QIODevice::WriteOnly))
        fail(QT_TRANSLATE_NOOP("QObject", "Can not open file %1"), DigSig::gpgAgentConfPath());
    if (file.write(bytes) != bytes.size() || !file.commit())
        fail(QT_TRANSLATE_NOOP("QObject", "Can not save file %1"), DigSig::gpgAgentConfPath());
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

void reloadGpgAgent()
{
    const int result = QProcess::execute(
        QStringLiteral("gpg-connect-agent"),
        {QStringLiteral("--no-autostart"), QStringLiteral("reloadagent"), QStringLiteral("/bye")});
    if (result != 0)
        fail(QT_TRANSLATE_NOOP("QObject", "Can not reload gpg-agent"));
}

QByteArray mergedGpgAgentConf(const QByteArray& existing, QHash<QString, QString> options)
{
    // Lines are kept as bytes, not decoded and encoded again: a comment in another encoding or a
    // byte order mark must not change the administrator's other lines.
    static const QRegularExpression linePattern(QStringLiteral("^(?<key>.*?)([[:space:]]+.*)?$"));
    QByteArrayList lines = QByteArray(existing).replace('\r', QByteArray()).split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    QByteArray output;
    for (const QByteArray& line : lines) {
        const QString key
            = linePattern.match(QString::fromUtf8(line)).captured(QStringLiteral("key")).trimmed();
        const auto option = options.find(key);
        if (!key.isEmpty() && option != options.end()) {
            output += optionLine(key, option.value()).toUtf8();
            options.erase(option);
        } else {
            output += line + '\n';
        }
    }
    for (auto option = options.cbegin(); option != options.cend(); ++option)
        output += optionLine(option.key(), option.value()).toUtf8();
    return output;
}

void writeGpgAgentConf(QHash<QString, QString> options)
{
    ensureGnupgHome();
    QByteArray existing;
    if (QFile::exists(confPath())) {
        QFile file(confPath());
        if (!file.open(QIODevice::ReadOnly))
            fail(QT_TRANSLATE_NOOP("QObject", "Can not open file %1"), DigSig::gpgAgentConfPath());
        existing = file.readAll();
    }
    replaceConf(mergedGpgAgentConf(existing, std::move(options)));
    reloadGpgAgent();
}

void writeGpgAgentConfOption(QString key, QString value)
{
    writeGpgAgentConf({{key, value}});
}

void raiseGpgAgentTimes()
{
    const QString month = QStringLiteral("2592000");
    writeGpgAgentConf({{QStringLiteral("pinentry-timeout"), month},
                       {QStringLiteral("default-cache-ttl"), month},
                       {QStringLiteral("max-cache-ttl"), month}});
}

void restoreGpgAgentTimes()
{
    writeGpgAgentConf({{QStringLiteral("pinentry-timeout"), QStringLiteral("0")},
                       {QStringLiteral("default-cache-ttl"), QStringLiteral("600")},
                       {QStringLiteral("max-cache-ttl"), QStringLiteral("7200")}});
}
