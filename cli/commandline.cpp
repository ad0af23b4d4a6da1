#include "commandline.h"

#include "commandoutput.h"
#include "controlcommand.h"
#include "exitcode.h"
#include "setcommand.h"
#include "signcommand.h"
#include "statuscommand.h"
#include "sysroot.h"
#include "verifycommand.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace {

const QString sysrootOption = QStringLiteral("sysroot");
const QString helpAllOption = QStringLiteral("help-all");

} // namespace

CommandLine::CommandLine()
{
    _commands.push_back(std::make_unique<StatusCommand>());
    _commands.push_back(std::make_unique<SetCommand>());
    _commands.push_back(std::make_unique<ControlCommand>());
    _commands.push_back(std::make_unique<SignCommand>());
    _commands.push_back(std::make_unique<VerifyCommand>());
}

CommandLine::~CommandLine() = default;

void CommandLine::applySysroot(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        QByteArray root;
        if (argument == "--sysroot" && i + 1 < argc)
            root = argv[++i];
        else if (argument.startsWith("--sysroot="))
            root = argument.mid(10);
        else if (!argument.startsWith('-'))
            return;
        if (!root.isEmpty())
            qputenv("DIGSIG_SYSROOT",
                    QFile::encodeName(QDir(QFile::decodeName(root)).absolutePath()));
    }
}

Command* CommandLine::command(const QString& name) const
{
    for (const auto& command : _commands) {
        if (command->name() == name)
            return command.get();
    }
    return nullptr;
}

QString CommandLine::overview() const
{
    // Two columns, as Qt lays out the options of the commands.
    const auto item = [](const QString& name, const QString& text) {
        return Command::wrapped(QStringLiteral("  %1").arg(name, -18) + text, 20) + '\n';
    };
    QString text = tr("Usage: cova-digsig [--sysroot DIR] COMMAND [OPTIONS] [ARGUMENTS]") + "\n\n"
        + Command::wrapped(tr("Manages the kernel's verification of the digital signatures of "
                              "executables from the command line, with the same code as the "
                              "console's plug-in: the settings, the control file of "
                              "extended-attribute verification, the signing and the "
                              "verification of files."))
        + "\n\n" + tr("Commands:") + '\n';
    for (const auto& command : _commands)
        text += item(command->name(), command->summary());
    text += '\n'
        + Command::wrapped(tr("Run \"cova-digsig COMMAND --help\" for the usage and the options "
                              "of a command, \"cova-digsig --help-all\" for those of every "
                              "command."))
        + "\n\n" + tr("Exit status:") + '\n' + item(QStringLiteral("0"), tr("Done."))
        + item(QStringLiteral("1"),
               tr("Some file failed to sign or verify or is unsigned, or the check before "
                  "switching ELF verification to On found unsigned programs."))
        + item(QStringLiteral("2"), tr("Usage error."))
        + item(QStringLiteral("3"),
               tr("The environment stopped the command: a tool or key missing, settings that "
                  "cannot be read or changed since they were read, a file not written, a failed "
                  "rebuild."))
        + '\n'
        + Command::wrapped(tr("Errors go to standard error, one line each; with --json, "
                              "standard output holds one JSON object."))
        + "\n\n" + tr("Options:") + '\n'
        + item(QStringLiteral("--sysroot DIR"),
               tr("Use DIR as the root of every system path (a sandbox): the settings, the "
                  "keys, the logs and the absolute paths given to the commands lie inside it, "
                  "and so does GnuPG's home unless GNUPGHOME is set. DIGSIG_SYSROOT does the "
                  "same."))
        + item(QStringLiteral("-h, --help"), tr("Show this help."))
        + item(QStringLiteral("--help-all"), tr("Show this help and that of every command."))
        + item(QStringLiteral("-v, --version"), tr("Show the version."));
    return text.trimmed();
}

QString CommandLine::examples() const
{
    return tr("Examples:") + '\n' + tr("  Show the settings as JSON:")
        + "\n      cova-digsig status --json\n"
        + tr("  Let ELF verification only warn, without a rebuild yet:")
        + "\n      cova-digsig set --elf debug --no-rebuild\n"
        + tr("  Verify everything under /opt/app through extended attributes:")
        + "\n      cova-digsig control add /opt/app/";
}

QString CommandLine::help() const
{
    return overview() + "\n\n" + examples();
}

QString CommandLine::fullHelp() const
{
    QString text = overview();
    for (const auto& command : _commands)
        text += "\n\n" + command->reference();
    return text + "\n\n" + examples();
}

int CommandLine::run(const QStringList& arguments, CommandOutput& output)
{
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({
        {{QStringLiteral("h"), QStringLiteral("help")}, QString()},
        {helpAllOption, QString()},
        {{QStringLiteral("v"), QStringLiteral("version")}, QString()},
        {sysrootOption, QString(), QStringLiteral("dir")},
    });
    const auto usage = [&output](const QString& message) {
        output.error(message);
        output.error(tr("Run \"cova-digsig --help\" for the usage."));
        return int(ExitUsage);
    };
    if (!parser.parse(QStringList {QStringLiteral("cova-digsig")} + arguments))
        return usage(parser.errorText());
    if (parser.isSet(helpAllOption)) {
        output.print(fullHelp());
        return ExitDone;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        output.print(help());
        return ExitDone;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        output.print(QStringLiteral("cova-digsig %1").arg(QCoreApplication::applicationVersion()));
        return ExitDone;
    }
    if (parser.isSet(sysrootOption) && !QFileInfo(Sysroot::root()).isDir())
        return usage(tr("The sandbox root %1 is not a folder.").arg(parser.value(sysrootOption)));

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usage(tr("No command given."));
    Command* chosen = command(positional.constFirst());
    if (!chosen)
        return usage(tr("Unknown command \"%1\".").arg(positional.constFirst()));
    return chosen->execute(positional.mid(1), output);
}
