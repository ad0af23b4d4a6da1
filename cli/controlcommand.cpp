#include "controlcommand.h"

#include "atomicfile.h"
#include "commandoutput.h"
#include "digsigconfigmanager.h"
#include "digsigconstants.h"
#include "digsigelementdata.h"
#include "digsigsettings.h"
#include "exitcode.h"
#include "settingswriter.h"
#include "sysroot.h"
#include "xattrcontrolfile.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

QStringList entries(const QString& text)
{
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines;
}

// The control text with the templates added at its end, each on a line of its own.
QString withAdded(const QString& text, const QStringList& added)
{
    if (added.isEmpty())
        return text;
    QString result = text;
    if (!result.isEmpty() && !result.endsWith(QLatin1Char('\n')))
        result += QLatin1Char('\n');
    return result + added.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// The control text without the lines that are one of the templates; every other line stays as
// it was, blanks and all.
QString withRemoved(const QString& text, const QStringList& removed)
{
    QStringList kept;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!removed.contains(line.trimmed()))
            kept << line;
    }
    return kept.join(QLatin1Char('\n'));
}

} // namespace

QString ControlCommand::name() const
{
    return QStringLiteral("control");
}

QString ControlCommand::synopsis() const
{
    return QStringLiteral("list [--json]\nadd PATH... [--no-rebuild] [--json]\n"
                          "remove PATH... [--no-rebuild] [--json]");
}

QString ControlCommand::summary() const
{
    return tr("List the paths verified through extended attributes, or add and remove them.");
}

QString ControlCommand::description() const
{
    return summary() + QLatin1Char('\n')
        + tr("A PATH is a template of the control file as written, //FILE for one file or "
             "FOLDER/ for everything in a folder, or an absolute path whose template follows "
             "from what it names now. After a change the initial RAM file system is rebuilt.");
}

void ControlCommand::addOptions(QCommandLineParser& parser) const
{
    parser.addPositionalArgument(QStringLiteral("action"), tr("list, add or remove."),
                                 QStringLiteral("list|add|remove"));
    parser.addPositionalArgument(QStringLiteral("paths"), tr("The paths to add or remove."),
                                 QStringLiteral("[PATH...]"));
    parser.addOptions({
        {noRebuildOptionName(),
         tr("Write the control file without rebuilding the initial RAM file system; the next "
            "change without this option rebuilds it.")},
        {jsonOptionName(), tr("Print one JSON object.")},
    });
}

int ControlCommand::run(const QCommandLineParser& parser, CommandOutput& output)
{
    const QStringList arguments = parser.positionalArguments();
    const QString action = arguments.value(0);
    if (action == QLatin1String("list")) {
        if (arguments.size() > 1)
            return usageError(output, tr("\"control list\" takes no paths."));
        return list(parser, output);
    }
    if (action == QLatin1String("add") || action == QLatin1String("remove")) {
        if (arguments.size() < 2)
            return usageError(output, tr("\"control %1\" needs at least one PATH.").arg(action));
        return change(parser, output, action == QLatin1String("add"));
    }
    return usageError(output,
                      action.isEmpty()
                          ? tr("\"control\" needs an action: list, add or remove.")
                          : tr("Unknown action \"%1\": use list, add or remove.").arg(action));
}

int ControlCommand::list(const QCommandLineParser& parser, CommandOutput& output) const
{
    XattrControlFile file;
    // A missing file holds no templates; one that cannot be read is another matter.
    if (!file.read() && file.fingerprint() != AtomicFile::absentFingerprint())
        return environmentError(output, tr("%1 cannot be read.").arg(DigSig::controlFilePath()));
    QList<QByteArray> lines;
    for (const QByteArray& line : file.content().split('\n')) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    if (parser.isSet(jsonOptionName())) {
        QJsonArray array;
        for (const QByteArray& line : qAsConst(lines))
            array.append(QString::fromUtf8(line));
        output.printJson({{QStringLiteral("entries"), array}});
    } else {
        for (const QByteArray& line : qAsConst(lines))
            output.print(line);
    }
    return ExitDone;
}

int ControlCommand::templatesFor(const QString& argument, bool adding, CommandOutput& output,
                                 QStringList* templates) const
{
    if (argument.contains(QLatin1Char('\n')) || argument.contains(QLatin1Char('\r')))
        return usageError(output,
                          tr("\"%1\" holds a line break; a line of the control file "
                             "cannot.")
                              .arg(QString(argument)
                                       .replace(QLatin1Char('\n'), QLatin1String("\\n"))
                                       .replace(QLatin1Char('\r'), QLatin1String("\\r"))));
    if (argument.trimmed().isEmpty()
        || !XattrControlFile::templatesNamingNoFile(argument).isEmpty())
        return usageError(output,
                          tr("\"%1\" is not an absolute path, so it names no file.").arg(argument));
    const QString path = argument.trimmed();
    const bool file = path.startsWith(QLatin1String("//"));
    const bool folder = !file && path.endsWith(QLatin1Char('/'));
    const QString clean = QDir::cleanPath(file ? path.mid(1) : path);
    if (clean == QLatin1String("/"))
        return usageError(output,
                          tr("\"/\" names the whole file system; name its folders "
                             "instead."));
    const QByteArray native = clean.toUtf8();
    const QFileInfo info(Sysroot::path(clean));
    if (file || folder)
        *templates << QString::fromUtf8(XattrControlFile::entry(native, folder));
    else if (!adding)
        *templates << QString::fromUtf8(XattrControlFile::entry(native, false))
                   << QString::fromUtf8(XattrControlFile::entry(native, true));
    else if (info.exists())
        *templates << QString::fromUtf8(XattrControlFile::entry(native, info.isDir()));
    else
        return usageError(
            output, tr("%1 does not exist; write //%1 for a file or %1/ for a folder.").arg(clean));
    for (const QString& entry : qAsConst(*templates)) {
        if (!XattrControlFile::fitsLineLimit(entry.toUtf8()))
            return usageError(output, tr("Line %1 exceeds the size limit.").arg(entry));
    }
    return ExitDone;
}

int ControlCommand::change(const QCommandLineParser& parser, CommandOutput& output,
                           bool adding) const
{
    QList<QStringList> requested;
    for (const QString& argument : parser.positionalArguments().mid(1)) {
        QStringList templates;
        if (const int code = templatesFor(argument, adding, output, &templates))
            return code;
        requested << templates;
    }
    if (const int code = requireAdministrator(output))
        return code;

    const DigSigSettings settings(DigSigConfigManager::instance());
    if (settings.xattrControlFingerprint().isEmpty())
        return environmentError(
            output, tr("%1 cannot be read; nothing was written.").arg(DigSig::controlFilePath()));
    if (!settings.isXattrControlText())
        return environmentError(
            output,
            tr("%1 holds bytes that cannot be edited as text (not UTF-8, NUL or carriage "
               "returns); it was left unchanged.")
                .arg(DigSig::controlFilePath()));
    const QStringList before = entries(settings.xattrControl());
    // What changes, and what was already as asked: for a plain path being removed, the one
    // template it stands for that is there, or its first when neither is.
    QStringList changed;
    QStringList unchanged;
    for (const QStringList& templates : qAsConst(requested)) {
        bool found = false;
        for (const QString& entry : templates) {
            found = found || before.contains(entry);
            if (before.contains(entry) != adding && !changed.contains(entry))
                changed << entry;
        }
        if (adding && found && !unchanged.contains(templates.constFirst()))
            unchanged << templates.constFirst();
        if (!adding && !found && !unchanged.contains(templates.constFirst()))
            unchanged << templates.constFirst();
    }

    SettingsWriter writer(output, !parser.isSet(noRebuildOptionName()));
    int code = ExitDone;
    if (changed.isEmpty()) {
        code = writer.rebuildIfPending();
    } else {
        DigSigElementData data;
        data.setKeepSettings(true);
        data.setXattrControl(adding ? withAdded(settings.xattrControl(), changed)
                                    : withRemoved(settings.xattrControl(), changed));
        data.setSettingsFingerprint(settings.settingsFingerprint());
        data.setXattrControlFingerprint(settings.xattrControlFingerprint());
        code = writer.write(data);
    }
    if (code != ExitDone)
        return code;

    if (parser.isSet(jsonOptionName())) {
        const QStringList after
            = entries(DigSigSettings(DigSigConfigManager::instance()).xattrControl());
        QJsonObject document = writer.json();
        document.insert(QStringLiteral("changed"), writer.changed());
        document.insert(adding ? QStringLiteral("added") : QStringLiteral("removed"),
                        QJsonArray::fromStringList(changed));
        document.insert(adding ? QStringLiteral("present") : QStringLiteral("absent"),
                        QJsonArray::fromStringList(unchanged));
        document.insert(QStringLiteral("entries"), QJsonArray::fromStringList(after));
        output.printJson(document);
        return ExitDone;
    }
    const QString file = DigSig::controlFilePath();
    for (const QString& entry : qAsConst(changed))
        output.print(adding ? tr("Added to %1: %2").arg(file, entry)
                            : tr("Removed from %1: %2").arg(file, entry));
    for (const QString& entry : qAsConst(unchanged))
        output.print(adding ? tr("Already in %1: %2").arg(file, entry)
                            : tr("Not in %1: %2").arg(file, entry));
    writer.report();
    return ExitDone;
}
