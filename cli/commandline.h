#pragma once

#include <QCoreApplication>
#include <QStringList>

#include <memory>
#include <vector>

class Command;
class CommandOutput;

// The program's own options (--help, --version, --sysroot) and the choice of the command that
// does the work.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
public:
    CommandLine();
    ~CommandLine();

    // The arguments without the program's name; returns the exit code.
    int run(const QStringList& arguments, CommandOutput& output);

    QString help() const;
    // The help and, for each command, its own help: the source of the manual page.
    QString fullHelp() const;

    // Puts the sandbox root of "--sysroot DIR" (before the command) into the environment, where
    // every system path is built from; it must run before the first such path is built.
    static void applySysroot(int argc, char** argv);

private:
    // Everything above the commands' own help, and the examples that end it.
    QString overview() const;
    QString examples() const;
    Command* command(const QString& name) const;

    std::vector<std::unique_ptr<Command>> _commands;
};
