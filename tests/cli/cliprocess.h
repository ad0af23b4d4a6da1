#pragma once

#include "testsupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");

inline QByteArray file(const QString& systemPath)
{
    return TestSupport::readFile(TestSupport::sandboxPath(systemPath));
}

inline bool write(const QString& systemPath, const QByteArray& bytes)
{
    return TestSupport::writeFile(TestSupport::sandboxPath(systemPath), bytes);
}

// Starts the real cova-digsig in the environment of the test (its sandbox root, GnuPG home and
// the stand-ins first on PATH). The words of the command line are its arguments, but for
// NAME=value words, which go into its environment.
inline void startCli(QProcess& process, const QString& commandLine)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    QStringList arguments;
    for (const QString& word : commandLine.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (word.contains(QLatin1Char('=')))
            environment.insert(word.section(QLatin1Char('='), 0, 0), word.section('=', 1));
        else
            arguments << word;
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CLI_PROGRAM), arguments);
}

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QStringList errors;

    const QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
    QStringList lines() const { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }
};

inline CliRun finishCli(QProcess& process)
{
    CliRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.errors = QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    return run;
}

inline CliRun runCli(const QString& commandLine)
{
    QProcess process;
    startCli(process, commandLine);
    return finishCli(process);
}

// JSON written compactly in a table, with single quotes for double ones.
inline QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text).replace('\'', '"')).object();
}
