#include "command.h"

#include "commandoutput.h"
#include "exitcode.h"
#include "sysroot.h"

#include <QCommandLineParser>
#include <QDir>

#include <unistd.h>

Command::~Command() = default;

QString Command::description() const
{
    return summary();
}

QStringList Command::usageLines() const
{
    QStringList lines;
    for (const QString& form : synopsis().split(QLatin1Char('\n')))
        lines << wrapped(QStringLiteral("  cova-digsig %1 %2").arg(name(), form), 10);
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

QString Command::help() const
{
    QCommandLineParser parser;
    addOptions(parser);
    addHelpOption(parser);
    // Qt's help names the program as it was started and puts the description right under it;
    // ours names the command, with a blank line between.
    QString options = parser.helpText();
    options.remove(0, options.indexOf(QStringLiteral("\n\n")) + 2);
    return tr("Usage:") + QLatin1Char('\n') + usageLines().join(QLatin1Char('\n'))
        + QStringLiteral("\n\n") + wrapped(description()) + QStringLiteral("\n\n")
        + options.trimmed();
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

QString Command::jsonOptionName()
{
    return QStringLiteral("json");
}

QString Command::noRebuildOptionName()
{
    return QStringLiteral("no-rebuild");
}
