#include "command.h"

#include "commandoutput.h"
#include "exitcode.h"
#include "sysroot.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

Command::~Command() = default;

QString Command::description() const
{
    return summary();
}

QStringList Command::usageLines(int indent, int continuation) const
{
    QStringList lines;
    for (const QString& form : synopsis().split(QLatin1Char('\n')))
        lines << wrapped(QString(indent, QLatin1Char(' '))
                             + QStringLiteral("cova-digsig %1 %2").arg(name(), form),
                         continuation);
    return lines;
}

QString Command::wrapped(const QString& text, int indent)
{
    constexpr int width = 79;
    QStringList paragraphs;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        int leading = 0;
        while (leading < paragraph.size() && paragraph.at(leading) == QLatin1Char(' '))
            ++leading;
        QString result = paragraph.left(leading);
        int column = leading;
        bool first = true;
        for (const QString& word : paragraph.mid(leading).split(QLatin1Char(' '))) {
            if (!first && column + 1 + word.size() > width) {
                result += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
                column = indent;
            } else if (!first) {
                result += QLatin1Char(' ');
                ++column;
            }
            result += word;
            column += word.size();
            first = false;
        }
        paragraphs << result;
    }
    return paragraphs.join(QLatin1Char('\n'));
}

QString Command::optionTable() const
{
    QCommandLineParser parser;
    addOptions(parser);
    addHelpOption(parser);
    // Qt's help starts with the program as it was started; the table follows a blank line.
    const QString text = parser.helpText();
    return text.mid(text.indexOf(QStringLiteral("\n\n")) + 2).trimmed();
}

QString Command::help() const
{
    return tr("Usage:") + QLatin1Char('\n') + usageLines(2, 10).join(QLatin1Char('\n'))
        + QStringLiteral("\n\n") + wrapped(description()) + QStringLiteral("\n\n") + optionTable();
}

// Laid out for help2man: the heading becomes a section, the indented paragraphs under it its
// filled text, the option lines its list of options.
QString Command::reference() const
{
    QStringList lines {tr("Command %1:").arg(name())};
    lines << usageLines(2, 2).join(QStringLiteral("\n\n")) << QString();
    for (const QString& paragraph : description().split(QLatin1Char('\n')))
        lines << wrapped(QStringLiteral("  ") + paragraph, 2);
    lines << QString();
    for (const QString& line : optionTable().split(QLatin1Char('\n'))) {
        // The table's own headings would become sections of their own.
        if (line.startsWith(QLatin1Char(' ')) || line.isEmpty())
            lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

int Command::execute(const QStringList& arguments, CommandOutput& output)
{
    QCommandLineParser parser;
    addOptions(parser);
    addHelpOption(parser);
    if (!parser.parse(QStringList {name()} + arguments))
        return usageError(output, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        output.print(help());
        return ExitDone;
    }
    return run(parser, output);
}

void Command::addHelpOption(QCommandLineParser& parser)
{
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, tr("Show this help.")});
}

int Command::usageError(CommandOutput& output, const QString& message) const
{
    output.error(message);
    output.error(tr("Run \"cova-digsig %1 --help\" for its usage.").arg(name()));
    return ExitUsage;
}

int Command::environmentError(CommandOutput& output, const QString& message)
{
    output.error(message);
    return ExitEnvironment;
}

bool Command::mayChangeSystem()
{
    return ::geteuid() == 0 || Sysroot::isActive();
}

int Command::requireAdministrator(CommandOutput& output) const
{
    if (mayChangeSystem())
        return ExitDone;
    return environmentError(
        output, tr("\"cova-digsig %1\" changes the system and must be run as root.").arg(name()));
}

QString Command::realPath(const QString& argument)
{
    if (QDir::isAbsolutePath(argument))
        return Sysroot::path(QDir::cleanPath(argument));
    return QDir::cleanPath(QDir::current().absoluteFilePath(argument));
}

int Command::requireSigningTool(CommandOutput& output)
{
    if (!QStandardPaths::findExecutable(Bsign::program()).isEmpty())
        return ExitDone;
    return environmentError(output,
                            tr("The signing tool \"%1\" is not in the search path "
                               "(PATH); install it or add its folder to PATH.")
                                .arg(Bsign::program()));
}

int Command::parseMode(const QCommandLineParser& parser, CommandOutput& output,
                       Bsign::SignMode* mode) const
{
    const QString word = parser.value(modeOptionName()).toLower();
    if (word != QLatin1String("elf") && word != QLatin1String("xattr")
        && word != QLatin1String("both"))
        return usageError(
            output,
            tr("--mode takes elf, xattr or both, not \"%1\".").arg(parser.value(modeOptionName())));
    *mode = Bsign::signMode(word != QLatin1String("xattr"), word != QLatin1String("elf"));
    return ExitDone;
}

int Command::parseJobs(const QCommandLineParser& parser, CommandOutput& output, int* jobs) const
{
    *jobs = QThread::idealThreadCount();
    if (!parser.isSet(jobsOptionName()))
        return ExitDone;
    bool number = false;
    *jobs = parser.value(jobsOptionName()).toInt(&number);
    if (number && *jobs >= 1 && *jobs <= maxJobs)
        return ExitDone;
    return usageError(output,
                      tr("--jobs takes a number from 1 to %1, not \"%2\".")
                          .arg(maxJobs)
                          .arg(parser.value(jobsOptionName())));
}

QString Command::modeOptionName()
{
    return QStringLiteral("mode");
}

QString Command::jobsOptionName()
{
    return QStringLiteral("jobs");
}

QString Command::jsonOptionName()
{
    return QStringLiteral("json");
}

QString Command::noRebuildOptionName()
{
    return QStringLiteral("no-rebuild");
}
