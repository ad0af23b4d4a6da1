#include "signcommand.h"

#include "atomicfile.h"
#include "commandoutput.h"
#include "digsigconfigmanager.h"
#include "digsigconstants.h"
#include "digsigsettings.h"
#include "exitcode.h"
#include "interruptwatcher.h"
#include "keymanager.h"
#include "progressdisplay.h"
#include "settingswriter.h"
#include "signingengine.h"
#include "sysroot.h"
#include "xattrcontrolfile.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString keyOption = QStringLiteral("key");
const QString keepGoingOption = QStringLiteral("keep-going");
const QString logOption = QStringLiteral("log");
const QString forceOption = QStringLiteral("force");

QString outcomeName(SigningEngine::Outcome outcome)
{
    switch (outcome) {
    case SigningEngine::Outcome::NothingToSign:
        return QStringLiteral("nothing-to-sign");
    case SigningEngine::Outcome::Finished:
        return QStringLiteral("finished");
    case SigningEngine::Outcome::CompletionFailed:
        return QStringLiteral("completion-failed");
    case SigningEngine::Outcome::Failed:
        return QStringLiteral("failed");
    case SigningEngine::Outcome::Cancelled:
        return QStringLiteral("cancelled");
    case SigningEngine::Outcome::None:
        break;
    }
    return QString();
}

} // namespace

QString SignCommand::name() const
{
    return QStringLiteral("sign");
}

QString SignCommand::synopsis() const
{
    return QStringLiteral("--key ID [--mode elf|xattr|both] [--jobs N] [--keep-going] [--log "
                          "FILE] [--force] [--no-rebuild] [--json] PATH...");
}

QString SignCommand::summary() const
{
    return tr("Sign every file under the paths with a key, several at once, and make the "
              "signatures count.");
}

QString SignCommand::description() const
{
    return summary() + QLatin1Char('\n')
        + tr("The first failure stops the run unless --keep-going is given. A run that signed "
             "every file exports the public key into the key folder of the mode and, for "
             "extended attributes, adds the paths to the control file; when that changed it and "
             "extended-attribute verification is on, the initial RAM file system is rebuilt. "
             "Paths outside the trusted system folders are refused for extended attributes "
             "unless --force is given. gpg-agent's times are raised for the run, so that the "
             "pass phrase is asked for once, and restored afterwards. The log goes to standard "
             "output and ends with a summary line; the progress goes to standard error. Exits "
             "with 1 when a file was not found, failed, was skipped or was not started.");
}

void SignCommand::addOptions(QCommandLineParser& parser) const
{
    parser.addPositionalArgument(QStringLiteral("paths"), tr("Files and folders to sign."),
                                 QStringLiteral("PATH..."));
    parser.addOptions({
        {keyOption, tr("The signing key: its fingerprint, or the end of it (a key ID)."),
         QStringLiteral("ID")},
        {modeOptionName(),
         tr("elf: ELF signatures of the ELF files; xattr: extended-attribute signatures of "
            "every file; both (the default): both."),
         QStringLiteral("mode"), QStringLiteral("both")},
        {jobsOptionName(), tr("Sign at most N files at once (default: the processor count)."),
         QStringLiteral("N")},
        {keepGoingOption, tr("Sign every file even after a failure; the run still fails.")},
        {logOption, tr("Also write the log to FILE, emptied first."), QStringLiteral("FILE")},
        {forceOption,
         tr("Sign paths outside the trusted system folders for extended attributes too.")},
        {noRebuildOptionName(),
         tr("Leave the rebuild of the initial RAM file system to the next change without this "
            "option.")},
        {jsonOptionName(), tr("Print one JSON object at the end instead of the log.")},
    });
}

int SignCommand::resolveKey(KeyManager& keyManager, const QString& id, CommandOutput& output,
                            QString* fingerprint) const
{
    QString wanted = id.trimmed().toUpper().remove(QLatin1Char(' '));
    if (wanted.startsWith(QLatin1String("0X")))
        wanted.remove(0, 2);
    static const QRegularExpression hex(QStringLiteral("^[0-9A-F]{8,40}$"));
    if (!hex.match(wanted).hasMatch())
        return usageError(output,
                          tr("--key takes a fingerprint or a key ID (8 to 40 hexadecimal "
                             "digits), not \"%1\".")
                              .arg(id));
    QStringList matching;
    for (const auto& key : keyManager.signingKeys()) {
        if (key.second.toUpper().endsWith(wanted) && !matching.contains(key.second))
            matching << key.second;
    }
    if (matching.isEmpty())
        return environmentError(output,
                                tr("No usable signing key matches %1; "
                                   "\"gpg --list-secret-keys\" lists the keys GnuPG has.")
                                    .arg(id));
    if (matching.size() > 1)
        return usageError(output,
                          tr("%1 matches several signing keys: %2; give more of the "
                             "fingerprint.")
                              .arg(id, matching.join(QStringLiteral(", "))));
    *fingerprint = matching.constFirst();
    return ExitDone;
}

int SignCommand::run(const QCommandLineParser& parser, CommandOutput& output)
{
    SigningEngine::Options options;
    if (const int code = parseMode(parser, output, &options.mode))
        return code;
    if (const int code = parseJobs(parser, output, &options.jobs))
        return code;
    if (!parser.isSet(keyOption))
        return usageError(output, tr("\"sign\" needs --key ID."));
    if (parser.positionalArguments().isEmpty())
        return usageError(output, tr("\"sign\" needs at least one PATH."));
    for (const QString& argument : parser.positionalArguments())
        options.paths << realPath(argument);
    if (parser.isSet(logOption)) {
        options.saveLog = true;
        options.logPath = realPath(parser.value(logOption));
    }
    options.keepGoing = parser.isSet(keepGoingOption);
    if (options.mode != Bsign::ElfOnly && !parser.isSet(forceOption)) {
        const QStringList unsafe = DigSig::outsideTrustedDirectories(options.paths);
        for (const QString& path : unsafe)
            output.error(tr("outside the trusted system folders: %1").arg(path));
        if (!unsafe.isEmpty())
            return usageError(output,
                              tr("Under extended-attribute verification, files outside the "
                                 "trusted system folders can keep the system from booting; add "
                                 "--force to sign them anyway."));
    }
    if (const int code = requireAdministrator(output))
        return code;
    if (const int code = requireSigningTool(output))
        return code;
    KeyManager keyManager;
    if (!keyManager.init(QString()))
        return environmentError(output, tr("GnuPG Made Easy could not be initialised."));
    if (const int code = resolveKey(keyManager, parser.value(keyOption), output, &options.keyId))
        return code;
    options.keyManager = &keyManager;

    XattrControlFile control;
    control.read();
    const bool json = parser.isSet(jsonOptionName());
    QStringList log;
    SigningEngine engine(options);
    {
        QEventLoop loop;
        ProgressDisplay progress(output, ProgressDisplay::Signing);
        InterruptWatcher interrupts;
        QObject::connect(&engine, &SigningEngine::logged, &loop,
                         [&output, &log, json](const QStringList& lines) {
                             log << lines;
                             if (!json) {
                                 for (const QString& line : lines)
                                     output.print(line);
                             }
                         });
        QObject::connect(&engine, &SigningEngine::progressChanged, &loop,
                         [&progress](qint64 done, qint64 listed, bool listingComplete) {
                             progress.update(done, listed, listingComplete);
                         });
        QObject::connect(&engine, &SigningEngine::ended, &loop, &QEventLoop::quit);
        QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, [&engine, &output] {
            output.notice(tr("Interrupted: no more files are started; the files being signed "
                             "are given a moment to end."));
            engine.cancel();
        });
        engine.start();
        loop.exec();
    }

    // The merge changed what the kernel verifies: like the signing page, rebuild when
    // extended-attribute verification is on.
    SettingsWriter writer(output, !parser.isSet(noRebuildOptionName()));
    int code = ExitDone;
    const bool merged = engine.isFinished()
        && control.fingerprint()
            != AtomicFile::currentFingerprint(Sysroot::path(DigSig::controlFilePath()));
    if (merged && DigSigSettings(DigSigConfigManager::instance()).isXattrEnabled())
        code = writer.rebuildAfterChange();

    const SigningSummary summary = engine.summary();
    if (json) {
        QJsonObject document = writer.json();
        document.insert(QStringLiteral("outcome"), outcomeName(engine.outcome()));
        document.insert(QStringLiteral("summary"),
                        QJsonObject {{QStringLiteral("signed"), summary.signedFiles},
                                     {QStringLiteral("notFound"), summary.notFound},
                                     {QStringLiteral("failed"), summary.failed},
                                     {QStringLiteral("skipped"), summary.skipped},
                                     {QStringLiteral("notStarted"), summary.notStarted}});
        document.insert(QStringLiteral("log"), QJsonArray::fromStringList(log));
        output.printJson(document);
    } else {
        writer.report();
    }
    if (code != ExitDone || engine.outcome() == SigningEngine::Outcome::CompletionFailed)
        return ExitEnvironment;
    const bool everyFile = summary.notFound == 0 && summary.failed == 0 && summary.skipped == 0
        && summary.notStarted == 0;
    const bool done
        = engine.isFinished() || engine.outcome() == SigningEngine::Outcome::NothingToSign;
    return done && everyFile ? ExitDone : ExitFilesFailed;
}
