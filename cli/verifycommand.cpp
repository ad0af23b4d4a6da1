#include "verifycommand.h"

#include "auditrunner.h"
#include "commandoutput.h"
#include "exitcode.h"
#include "printablepath.h"
#include "signatureaudit.h"
#include "sysroot.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

const QString unsignedOption = QStringLiteral("unsigned");

} // namespace

QString VerifyCommand::name() const
{
    return QStringLiteral("verify");
}

QString VerifyCommand::synopsis() const
{
    return QStringLiteral("[--mode elf|xattr|both] [--unsigned] [--jobs N] [--json] PATH...");
}

QString VerifyCommand::summary() const
{
    return tr("Verify the signatures of every file under the paths, several at once.");
}

QString VerifyCommand::description() const
{
    return summary() + QLatin1Char('\n')
        + tr("Each file gets its ELF and its extended-attribute state. A file counts as signed "
             "when it has a good signature of the kind the mode names; with both, of either "
             "kind. Exits with 1 when a file is unsigned, could not be verified or could not be "
             "listed.");
}

void VerifyCommand::addOptions(QCommandLineParser& parser) const
{
    parser.addPositionalArgument(QStringLiteral("paths"), tr("Files and folders to verify."),
                                 QStringLiteral("PATH..."));
    parser.addOptions({
        {modeOptionName(),
         tr("elf: the ELF files, for their ELF signatures; xattr: every file, for its "
            "extended-attribute signature; both (the default): every file, for either."),
         QStringLiteral("mode"), QStringLiteral("both")},
        {unsignedOption, tr("List only the files without a good signature.")},
        {jobsOptionName(), tr("Verify at most N files at once (default: the processor count)."),
         QStringLiteral("N")},
        {jsonOptionName(), tr("Print one JSON object.")},
    });
}

int VerifyCommand::run(const QCommandLineParser& parser, CommandOutput& output)
{
    SignatureAudit::Options options;
    if (const int code = parseMode(parser, output, &options.mode))
        return code;
    if (const int code = parseJobs(parser, output, &options.jobs))
        return code;
    if (parser.positionalArguments().isEmpty())
        return usageError(output, tr("\"verify\" needs at least one PATH."));
    for (const QString& argument : parser.positionalArguments())
        options.paths << realPath(argument);
    if (const int code = requireSigningTool(output))
        return code;

    SignatureAudit audit(options);
    const bool completed = AuditRunner::run(audit, output);
    QList<SignatureAudit::File> files = audit.files();
    std::sort(files.begin(), files.end(),
              [](const SignatureAudit::File& a, const SignatureAudit::File& b) {
                  return a.path < b.path;
              });
    const bool onlyUnsigned = parser.isSet(unsignedOption);
    const qint64 unsignedFiles = audit.unsignedCount();
    const qint64 failed = audit.failedCount();
    const qint64 skipped = audit.problems().size();

    for (const SignatureAudit::Problem& problem : audit.problems())
        output.warning(tr("skipping %1: %2").arg(printablePath(problem.path), problem.reason));
    if (parser.isSet(jsonOptionName())) {
        QJsonArray array;
        for (const SignatureAudit::File& file : qAsConst(files)) {
            if (onlyUnsigned && audit.isSigned(file))
                continue;
            QJsonObject object {{QStringLiteral("path"), Sysroot::systemPath(file.path)},
                                {QStringLiteral("elf"), file.signatures.elfGood},
                                {QStringLiteral("xattr"), file.signatures.xattrGood},
                                {QStringLiteral("signed"), audit.isSigned(file)}};
            if (!file.verified)
                object.insert(QStringLiteral("error"), file.failure);
            array.append(object);
        }
        QJsonArray problems;
        for (const SignatureAudit::Problem& problem : audit.problems())
            problems.append(
                QJsonObject {{QStringLiteral("path"), Sysroot::systemPath(problem.path)},
                             {QStringLiteral("reason"), problem.reason}});
        output.printJson(
            {{QStringLiteral("mode"), parser.value(modeOptionName()).toLower()},
             {QStringLiteral("files"), array},
             {QStringLiteral("skipped"), problems},
             {QStringLiteral("completed"), completed},
             {QStringLiteral("summary"),
              QJsonObject {{QStringLiteral("files"), audit.doneCount()},
                           {QStringLiteral("signed"), audit.doneCount() - unsignedFiles - failed},
                           {QStringLiteral("unsigned"), unsignedFiles},
                           {QStringLiteral("failed"), failed},
                           {QStringLiteral("skipped"), skipped}}}});
    } else {
        const auto state = [](bool good) {
            return good ? tr("good") : tr("none");
        };
        for (const SignatureAudit::File& file : qAsConst(files)) {
            if (onlyUnsigned && audit.isSigned(file))
                continue;
            output.print(
                file.verified
                    ? tr("%1: ELF signature %2, extended-attribute signature %3")
                          .arg(printablePath(file.path), state(file.signatures.elfGood),
                               state(file.signatures.xattrGood))
                    : tr("%1: not verified: %2").arg(printablePath(file.path), file.failure));
        }
        output.print(tr("Summary: %1 files verified, %2 signed, %3 unsigned, %4 not verified, "
                        "%5 skipped.")
                         .arg(audit.doneCount())
                         .arg(audit.doneCount() - unsignedFiles - failed)
                         .arg(unsignedFiles)
                         .arg(failed)
                         .arg(skipped));
    }
    if (!completed)
        output.error(tr("The verification was cancelled; not every file was verified."));
    return completed && unsignedFiles == 0 && failed == 0 && skipped == 0 ? ExitDone
                                                                          : ExitFilesFailed;
}
