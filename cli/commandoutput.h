#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

// Where the program writes. Standard output carries only what a command prints: its lines or
// one JSON document. Everything else goes to standard error, one line per message, behind the
// program's name; so do the programs the commands run (mount, update-initramfs,
// gpg-connect-agent), whose output would otherwise break the JSON a script parses. On a
// terminal, a progress line is kept at the bottom of standard error.
class CommandOutput
{
    Q_DECLARE_TR_FUNCTIONS(CommandOutput)
    Q_DISABLE_COPY(CommandOutput)
public:
    // Takes over standard output: descriptor 1 becomes a copy of standard error for everything
    // started from now on, and the real standard output is kept for this object alone.
    CommandOutput();
    ~CommandOutput();

    void print(const QString& line);
    // A line of bytes as they are: paths need not be UTF-8.
    void print(const QByteArray& line);
    void printJson(const QJsonObject& document);

    // Each line of the text becomes a line of its own.
    void error(const QString& text);
    void warning(const QString& text);
    void notice(const QString& text);

    // Whether standard error is a terminal, and how wide it is.
    bool isTerminal() const { return _terminal; }
    int terminalWidth() const;
    // Replaces the progress line on a terminal; elsewhere progress is told by notice().
    void showProgress(const QString& text);
    void clearProgress();

private:
    void writeOut(const QByteArray& bytes);
    void writeError(const QByteArray& bytes);
    void message(const QString& prefix, const QString& text);

    int _out;
    bool _terminal;
    QByteArray _progress;
};
