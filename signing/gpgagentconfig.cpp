#include "gpgagentconfig.h"

#include "digsigconstants.h"
#include "sysroot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

#include <stdexcept>

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

// Replaces the first line of each option in place and keeps every other line as it is.
QString mergedExistingLines(QHash<QString, QString>& options)
{
    QFile file(confPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        fail(QT_TRANSLATE_NOOP("QObject", "Can not open file %1"), DigSig::gpgAgentConfPath());
    static const QRegularExpression linePattern(QStringLiteral("^(?<key>.*?)([[:space:]]+.*)?$"));
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    QString output;
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        const QString key = linePattern.match(line).captured(QStringLiteral("key")).trimmed();
        const auto option = options.find(key);
        if (!key.isEmpty() && option != options.end()) {
            output += optionLine(key, option.value());
            options.erase(option);
        } else {
            output += line + QLatin1Char('\n');
        }
    }
    return output;
}

void replaceConf(const QString& content)
{
    QSaveFile file(confPath());
    if (!file.open(QIODevice::WriteOnly))
        fail(QT_TRANSLATE_NOOP("QObject", "Can not open file %1"), DigSig::gpgAgentConfPath());
    const QByteArray bytes = content.toUtf8();
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

void writeGpgAgentConf(QHash<QString, QString> options)
{
    ensureGnupgHome();
    QString output;
    if (QFile::exists(confPath()))
        output = mergedExistingLines(options);
    for (auto option = options.cbegin(); option != options.cend(); ++option)
        output += optionLine(option.key(), option.value());
    replaceConf(output);
    reloadGpgAgent();
}

void writeGpgAgentConfOption(QString key, QString value)
{
    writeGpgAgentConf({{key, value}});
}
