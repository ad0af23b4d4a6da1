#pragma once

#include "bsign.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

class CommandOutput;
class QCommandLineParser;

// One command of the program ("status", "set", ...): its help, its options and its work.
class Command
{
    Q_DECLARE_TR_FUNCTIONS(Command)
public:
    virtual ~Command();

    virtual QString name() const = 0;
    // What follows the name on the usage line; one line for each form of the command.
    virtual QString synopsis() const = 0;
    // One sentence for the list of commands.
    virtual QString summary() const = 0;

    // Usage, description, options and arguments, as "--help" after the command prints them.
    QString help() const;
    // The same under one heading, for the help of every command (the manual page's source).
    QString reference() const;
    // Parses the arguments that follow the command's name and runs the command; returns the
    // exit code.
    int execute(const QStringList& arguments, CommandOutput& output);

    // The usage lines, "cova-digsig NAME SYNOPSIS" for each form, indented and wrapped with
    // the lines after the first indented by `continuation`.
    QStringList usageLines(int indent, int continuation) const;
    // Paragraphs broken at spaces into lines of at most 79 columns; the lines after the first
    // of each paragraph are indented by `indent` spaces.
    static QString wrapped(const QString& text, int indent = 0);

protected:
    // Qt's table of options and arguments, with their headings.
    QString optionTable() const;
    // The description under the usage line; the summary unless a command says more.
    virtual QString description() const;
    virtual void addOptions(QCommandLineParser& parser) const = 0;
    virtual int run(const QCommandLineParser& parser, CommandOutput& output) = 0;

    // Reports a usage error with a hint to the command's help; returns ExitUsage.
    int usageError(CommandOutput& output, const QString& message) const;
    // Reports a failure of the environment; returns ExitEnvironment.
    static int environmentError(CommandOutput& output, const QString& message);
    // Whether the system may be changed: as root, or in a sandbox root.
    static bool mayChangeSystem();
    // Refuses (ExitEnvironment) unless the system may be changed; ExitDone otherwise.
    int requireAdministrator(CommandOutput& output) const;

    // The real path of a path given on the command line: an absolute path lies in the managed
    // system (under the sandbox root, when one is in effect), a relative one is taken from the
    // current folder.
    static QString realPath(const QString& argument);

    // Refuses (ExitEnvironment) when the signing tool is not in the search path.
    static int requireSigningTool(CommandOutput& output);
    // The value of --mode (elf, xattr or both) and of --jobs (1 to maxJobs); usage errors
    // otherwise.
    int parseMode(const QCommandLineParser& parser, CommandOutput& output,
                  Bsign::SignMode* mode) const;
    int parseJobs(const QCommandLineParser& parser, CommandOutput& output, int* jobs) const;
    static constexpr int maxJobs = 256;

    static void addHelpOption(QCommandLineParser& parser);
    static QString modeOptionName();
    static QString jobsOptionName();
    static QString jsonOptionName();
    static QString noRebuildOptionName();
};
