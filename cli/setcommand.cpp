#include "setcommand.h"

#include "auditrunner.h"
#include "commandoutput.h"
#include "digsigconfigmanager.h"
#include "digsigconstants.h"
#include "digsigelementdata.h"
#include "digsigsettings.h"
#include "exitcode.h"
#include "settingsvalues.h"
#include "settingswriter.h"
#include "signatureaudit.h"

#include <QCommandLineParser>

namespace {

constexpr int optionCount = 4;
constexpr int modeCount = 2;

// The command-line options and the JSON members of the settings file's options, in file order.
const char* const optionNames[optionCount]
    = {"elf", "xattr", "ignore-xattr-keys", "ignore-gost2001"};
const QString auditOption = QStringLiteral("audit");
const QString forceOption = QStringLiteral("force");
const char* const jsonNames[optionCount] = {"elf", "xattr", "ignoreXattrKeys", "ignoreGost2001"};

QString optionName(int option)
{
    return QString::fromLatin1(optionNames[option]);
}

} // namespace

QString SetCommand::name() const
{
    return QStringLiteral("set");
}

QString SetCommand::synopsis() const
{
    return QStringLiteral(
        "[--elf off|debug|on] [--xattr off|debug|on] [--ignore-xattr-keys "
        "yes|no] [--ignore-gost2001 yes|no] [--audit PATH]... [--force] [--no-rebuild] [--json]");
}

QString SetCommand::summary() const
{
    return tr("Change the verification modes and flags, then rebuild the initial RAM file "
              "system.");
}

QString SetCommand::description() const
{
    return summary() + QLatin1Char('\n')
        + tr("Options not given keep their values. Asking for what is already set changes "
             "nothing and says so. Before ELF verification is switched to On, the ELF files in "
             "the folders that hold programs and libraries (%1) are verified; when some lack a "
             "good signature, nothing is written, the first of them are listed and the exit "
             "status is 1, unless --force is given.")
              .arg(SignatureAudit::executableFolders().join(QStringLiteral(", ")));
}

void SetCommand::addOptions(QCommandLineParser& parser) const
{
    parser.addOptions({
        {optionName(0), tr("Verification of ELF files: off, debug or on."), QStringLiteral("mode")},
        {optionName(1), tr("Verification through extended attributes: off, debug or on."),
         QStringLiteral("mode")},
        {optionName(2), tr("Ignore the keys of extended-attribute signatures: yes or no."),
         QStringLiteral("yes|no")},
        {optionName(3), tr("Ignore GOST R 34.10-2001 keys: yes or no."), QStringLiteral("yes|no")},
        {auditOption,
         tr("Check the ELF files under PATH before switching ELF verification to On, instead "
            "of those in the program folders; may be repeated."),
         QStringLiteral("PATH")},
        {forceOption, tr("Switch ELF verification to On without the check.")},
        {noRebuildOptionName(),
         tr("Write the settings without rebuilding the initial RAM file system; the next "
            "change without this option rebuilds it.")},
        {jsonOptionName(), tr("Print one JSON object.")},
    });
}

int SetCommand::requested(const QCommandLineParser& parser, CommandOutput& output, Values* values,
                          QStringList* given) const
{
    for (int option = 0; option < optionCount; ++option) {
        if (!parser.isSet(optionName(option)))
            continue;
        const QString word = parser.value(optionName(option));
        if (option < modeCount) {
            if (!SettingsValues::parseMode(word, &(*values)[option]))
                return usageError(
                    output,
                    tr("--%1 takes off, debug or on, not \"%2\".").arg(optionName(option), word));
        } else {
            bool flag = false;
            if (!SettingsValues::parseFlag(word, &flag))
                return usageError(
                    output, tr("--%1 takes yes or no, not \"%2\".").arg(optionName(option), word));
            (*values)[option] = flag;
        }
        *given << DigSig::keyList().at(option);
    }
    if (given->isEmpty())
        return usageError(output,
                          tr("Nothing to set: give --elf, --xattr, --ignore-xattr-keys "
                             "or --ignore-gost2001."));
    return ExitDone;
}

int SetCommand::checkExecutables(const QCommandLineParser& parser, CommandOutput& output,
                                 QString* findings, qint64* checked) const
{
    if (const int code = requireSigningTool(output))
        return code;
    QStringList paths;
    for (const QString& argument : parser.values(auditOption))
        paths << realPath(argument);
    SignatureAudit audit(SignatureAudit::executableCheck(paths));
    if (!AuditRunner::run(audit, output)) {
        output.error(tr("The check of the executables was cancelled; nothing was written."));
        return ExitFilesFailed;
    }
    if (audit.lackingCount() == 0) {
        *findings = audit.checkFindings();
        *checked = audit.doneCount();
        return ExitDone;
    }
    output.error(audit.checkFindings());
    output.error(tr("Nothing was written; add --force to switch ELF verification to On anyway."));
    return ExitFilesFailed;
}

SetCommand::Values SetCommand::readValues(const DigSigSettings& settings)
{
    return {settings.elfMode(), settings.xattrMode(), settings.ignoreXattrKeys(),
            settings.ignoreGost2001()};
}

QJsonObject SetCommand::json(const Values& values, const QStringList& invalid)
{
    QJsonObject object;
    for (int option = 0; option < optionCount; ++option) {
        QJsonValue value = option < modeCount ? SettingsValues::modeJson(values[option])
                                              : QJsonValue(values[option] != 0);
        if (invalid.contains(DigSig::keyList().at(option)))
            value = QJsonValue::Null;
        object.insert(QString::fromLatin1(jsonNames[option]), value);
    }
    return object;
}

QString SetCommand::text(int option, int value)
{
    return option < modeCount ? SettingsValues::modeText(value)
                              : SettingsValues::flagText(value != 0);
}

int SetCommand::run(const QCommandLineParser& parser, CommandOutput& output)
{
    if (!parser.positionalArguments().isEmpty())
        return usageError(output,
                          tr("\"set\" takes options only, not \"%1\".")
                              .arg(parser.positionalArguments().constFirst()));
    const DigSigSettings settings(DigSigConfigManager::instance());
    const Values before = readValues(settings);
    Values after = before;
    QStringList given;
    if (const int code = requested(parser, output, &after, &given))
        return code;
    if (const int code = requireAdministrator(output))
        return code;
    if (settings.settingsFingerprint().isEmpty())
        return environmentError(
            output, tr("%1 cannot be read; nothing was written.").arg(DigSig::settingsFilePath()));
    const QStringList invalid = settings.invalidOptions();
    // Writing would put a default in place of a value nobody chose.
    for (const QString& key : invalid) {
        if (!given.contains(key))
            return environmentError(output,
                                    tr("%1 holds no valid %2; give --%3 to write one.")
                                        .arg(DigSig::settingsFilePath(), key,
                                             optionName(DigSig::keyList().indexOf(key))));
    }

    // Unsigned programs would no longer run, and the machine might not start.
    QString findings;
    qint64 checked = -1;
    if (after[0] == On && before[0] != On && !parser.isSet(forceOption)) {
        if (const int code = checkExecutables(parser, output, &findings, &checked))
            return code;
    }

    SettingsWriter writer(output, !parser.isSet(noRebuildOptionName()));
    int code = ExitDone;
    if (after == before && invalid.isEmpty()) {
        code = writer.rebuildIfPending();
    } else {
        DigSigElementData data;
        data.setElfMode(after[0]);
        data.setXattrMode(after[1]);
        data.setIgnoreXattrKeys(after[2] != 0);
        data.setIgnoreGost2001(after[3] != 0);
        data.setKeepXattrControl(true);
        data.setSettingsFingerprint(settings.settingsFingerprint());
        data.setXattrControlFingerprint(settings.xattrControlFingerprint());
        code = writer.write(data);
    }
    if (code != ExitDone)
        return code;

    if (parser.isSet(jsonOptionName())) {
        QJsonObject document = writer.json();
        document.insert(QStringLiteral("changed"), writer.changed());
        document.insert(QStringLiteral("previous"), json(before, invalid));
        document.insert(QStringLiteral("settings"), json(after));
        if (checked >= 0)
            document.insert(QStringLiteral("checkedExecutables"), checked);
        output.printJson(document);
    } else {
        if (!findings.isEmpty())
            output.print(findings);
        reportChanges(output, before, after, invalid);
        writer.report();
    }
    return ExitDone;
}

void SetCommand::reportChanges(CommandOutput& output, const Values& before, const Values& after,
                               const QStringList& invalid) const
{
    const QStringList labels {tr("ELF verification"), tr("Extended-attribute verification"),
                              tr("Ignore extended-attribute keys"),
                              tr("Ignore GOST R 34.10-2001 keys")};
    bool changed = false;
    for (int option = 0; option < optionCount; ++option) {
        const bool wasInvalid = invalid.contains(DigSig::keyList().at(option));
        if (after[option] == before[option] && !wasInvalid)
            continue;
        changed = true;
        output.print(
            QStringLiteral("%1: %2 -> %3")
                .arg(labels.at(option),
                     wasInvalid ? SettingsValues::modeText(0) : text(option, before[option]),
                     text(option, after[option])));
    }
    if (!changed)
        output.print(tr("The settings already are as asked; %1 was left as it is.")
                         .arg(DigSig::settingsFilePath()));
}
