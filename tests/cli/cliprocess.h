#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QtTest>

// One run of the real cova-digsig, in the environment of the test (its sandbox root and
// GnuPG home), with the stand-ins first on PATH.
struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QStringList errors;

    // Standard output as the one JSON object it must hold.
    QJsonObject json() const
    {
        QJsonParseError error {};
        const QJsonDocument document = QJsonDocument::fromJson(out, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            qWarning("not a JSON object (%s): %s", qPrintable(error.errorString()),
                     out.constData());
        return document.object();
    }

    QStringList lines() const
    {
        QStringList result = QString::fromUtf8(out).split(QLatin1Char('\n'));
        if (result.last().isEmpty())
            result.removeLast();
        return result;
    }
};

inline CliRun runCli(const QStringList& arguments,
                     const QProcessEnvironment& extra = QProcessEnvironment())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       qEnvironmentVariable("DIGSIG_TOOLS_DIR") + QLatin1Char(':')
                           + environment.value(QStringLiteral("PATH")));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    environment.insert(extra);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CLI_PROGRAM), arguments);
    CliRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished(-1);
        qWarning("cova-digsig %s did not end normally", qPrintable(arguments.join(' ')));
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    for (const QByteArray& line : process.readAllStandardError().split('\n')) {
        if (!line.isEmpty())
            run.errors << QString::fromUtf8(line);
    }
    return run;
}
