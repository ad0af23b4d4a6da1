#include "statuscommand.h"

#include "commandoutput.h"
#include "digsigconfigmanager.h"
#include "digsigconstants.h"
#include "digsigsettings.h"
#include "exitcode.h"
#include "gpgagentconfig.h"
#include "initramfsrebuild.h"
#include "settingsvalues.h"
#include "trustedkeyfiles.h"

#include <QCommandLineParser>
#include <QJsonArray>

#include <stdexcept>

namespace {

struct Status
{
    DigSigSettings settings {DigSigConfigManager::instance()};
    QList<QByteArray> control;
    QList<TrustedKeyFiles::File> keyFiles;
    // Unknown when the mount table cannot be read; messages then says why.
    QJsonValue bootReadOnly;
    bool rebuildPending = false;
    bool agentTimesRaised = false;
    QStringList messages;
};

QList<QByteArray> entries(const QByteArray& control)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : control.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines;
}

Status readStatus()
{
    Status status;
    status.control = entries(status.settings.xattrControlBytes());
    status.keyFiles = TrustedKeyFiles::read();
    status.messages = status.settings.errors();
    try {
        status.bootReadOnly = DigSigConfigManager::instance()->isBootReadOnly();
    } catch (const std::runtime_error& error) {
        status.messages << QString::fromUtf8(error.what());
    }
    status.rebuildPending = InitramfsRebuild::isPending();
    status.agentTimesRaised = gpgAgentTimesRaised();
    return status;
}

QJsonArray keyFilesJson(const QList<TrustedKeyFiles::File>& files)
{
    QJsonArray array;
    for (const TrustedKeyFiles::File& file : files) {
        QJsonArray keys;
        for (const KeyFileReader::Key& key : file.contents.keys) {
            keys.append(QJsonObject {{QStringLiteral("userId"), key.userId},
                                     {QStringLiteral("fingerprint"), key.fingerprint},
                                     {QStringLiteral("algorithm"), key.algorithm},
                                     {QStringLiteral("expires"),
                                      key.expires.isValid()
                                          ? QJsonValue(key.expires.toUTC().toString(Qt::ISODate))
                                          : QJsonValue(QJsonValue::Null)},
                                     {QStringLiteral("expired"), key.expired},
                                     {QStringLiteral("revoked"), key.revoked}});
        }
        QJsonObject object {{QStringLiteral("path"), file.path},
                            {QStringLiteral("signatures"),
                             file.folder == TrustedKeyFiles::ElfKeys ? QStringLiteral("elf")
                                                                     : QStringLiteral("xattr")},
                            {QStringLiteral("keys"), keys}};
        if (!file.contents.error.isEmpty())
            object.insert(QStringLiteral("error"), file.contents.error);
        array.append(object);
    }
    return array;
}

QJsonObject statusJson(const Status& status)
{
    QJsonArray control;
    for (const QByteArray& entry : status.control)
        control.append(QString::fromUtf8(entry));
    return {{QStringLiteral("elf"), SettingsValues::modeJson(status.settings.elfMode())},
            {QStringLiteral("xattr"), SettingsValues::modeJson(status.settings.xattrMode())},
            {QStringLiteral("ignoreXattrKeys"), status.settings.ignoreXattrKeys()},
            {QStringLiteral("ignoreGost2001"), status.settings.ignoreGost2001()},
            {QStringLiteral("control"), control},
            {QStringLiteral("keyFiles"), keyFilesJson(status.keyFiles)},
            {QStringLiteral("bootReadOnly"), status.bootReadOnly},
            {QStringLiteral("rebuildPending"), status.rebuildPending},
            {QStringLiteral("agentTimesRaised"), status.agentTimesRaised},
            {QStringLiteral("messages"), QJsonArray::fromStringList(status.messages)}};
}

} // namespace

QString StatusCommand::name() const
{
    return QStringLiteral("status");
}

QString StatusCommand::synopsis() const
{
    return QStringLiteral("[--json]");
}

QString StatusCommand::summary() const
{
    return tr("Show the verification modes, the control file, the trusted keys and the state of "
              "/boot, of the rebuild and of gpg-agent.");
}

QString StatusCommand::description() const
{
    return summary() + QLatin1Char('\n')
        + tr("Exits with 3 when the settings or the mount table could not be read without "
             "problems; the messages say which.");
}

void StatusCommand::addOptions(QCommandLineParser& parser) const
{
    parser.addOption({jsonOptionName(), tr("Print one JSON object.")});
}

int StatusCommand::run(const QCommandLineParser& parser, CommandOutput& output)
{
    if (!parser.positionalArguments().isEmpty())
        return usageError(output, tr("\"status\" takes no arguments."));
    const Status status = readStatus();
    if (parser.isSet(jsonOptionName())) {
        output.printJson(statusJson(status));
    } else {
        const auto yesNo = [](bool value) {
            return SettingsValues::flagText(value);
        };
        output.print(
            tr("ELF verification: %1").arg(SettingsValues::modeText(status.settings.elfMode())));
        output.print(tr("Extended-attribute verification: %1")
                         .arg(SettingsValues::modeText(status.settings.xattrMode())));
        output.print(
            tr("Ignore extended-attribute keys: %1").arg(yesNo(status.settings.ignoreXattrKeys())));
        output.print(
            tr("Ignore GOST R 34.10-2001 keys: %1").arg(yesNo(status.settings.ignoreGost2001())));
        output.print(tr("/boot mounted read-only: %1")
                         .arg(status.bootReadOnly.isBool() ? yesNo(status.bootReadOnly.toBool())
                                                           : tr("unknown")));
        output.print(tr("Rebuild of the initial RAM file system pending: %1")
                         .arg(yesNo(status.rebuildPending)));
        output.print(
            tr("gpg-agent times raised by a signing run: %1").arg(yesNo(status.agentTimesRaised)));
        output.print(tr("Entries of the control file %1: %2")
                         .arg(DigSig::controlFilePath())
                         .arg(status.control.size()));
        for (const QByteArray& entry : status.control)
            output.print("  " + entry);
        output.print(tr("Trusted key files: %1").arg(status.keyFiles.size()));
        for (const TrustedKeyFiles::File& file : status.keyFiles) {
            const QString kind = file.folder == TrustedKeyFiles::ElfKeys
                ? tr("ELF signatures")
                : tr("extended-attribute signatures");
            if (!file.contents.error.isEmpty())
                output.print(tr("  %1 (%2): %3").arg(file.path, kind, file.contents.error));
            for (const KeyFileReader::Key& key : file.contents.keys)
                output.print(
                    tr("  %1 (%2): %3, %4").arg(file.path, kind, key.userId, key.fingerprint));
        }
        output.print(tr("Messages: %1").arg(status.messages.size()));
        for (const QString& message : status.messages) {
            for (const QString& line : message.split(QLatin1Char('\n')))
                output.print(QStringLiteral("  ") + line);
        }
    }
    return status.messages.isEmpty() ? ExitDone : ExitEnvironment;
}
