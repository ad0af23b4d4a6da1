#include "boundedprocess.h"
#include "testsupport.h"

// External programs run to their end within a limit, and nothing of them outlives the run.
class BoundedProcessTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runs_data()
    {
        QTest::addColumn<QString>("script"); // "-": a program that does not exist
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("outcome"); // exit code, "crashed", "timed out", "not started"
        QTest::addColumn<QByteArray>("errorOutput");
        const auto row = [](const char* name, const char* script, int output, const char* outcome,
                            const QByteArray& errors) {
            QTest::newRow(name) << script << output << outcome << errors;
        };
        const int keep = BoundedProcess::KeepErrorOutput, forward = BoundedProcess::ForwardOutput;
        row("exit code, output apart", "echo out; echo err >&2; exit 3", keep, "3", "err\n");
        row("crash", "kill -SEGV $$", keep, "crashed", "");
        row("not started", "-", keep, "not started", "");
        row("standard input is closed", "cat; echo eof >&2", keep, "0", "eof\n");
        row("much standard output, not kept", "head -c 50000000 /dev/zero; echo done >&2", keep,
            "0", "done\n");
        row("error output capped", "head -c 40000 /dev/zero | tr '\\0' e >&2", keep, "0",
            QByteArray(BoundedProcess::errorOutputLimit, 'e'));
        row("hangs, with a child", "sleep 1000 & wait", keep, "timed out", "");
        row("hangs, a child ignoring the request to end", "(trap '' TERM; sleep 1000) & wait", keep,
            "timed out", "");
        row("hangs, ignoring the request to end", "trap '' TERM; echo >&2; sleep 1000 & wait",
            forward, "timed out", "");
    }

    void runs()
    {
        QFETCH(QString, script);
        QFETCH(int, output);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, errorOutput);
        TestSupport::ProcessWarningCounter processWarnings;
        const bool missing = script == QLatin1String("-");
        // No limit where the end comes at once; a short one where it never comes.
        const int timeoutMsecs = outcome == "timed out" ? 200 : outcome == "0" ? 10000 : -1;
        const BoundedProcess::Result result = BoundedProcess::run(
            missing ? QStringLiteral("/nonexistent/program") : QStringLiteral("/bin/sh"),
            missing ? QStringList() : QStringList {QStringLiteral("-c"), script}, timeoutMsecs,
            BoundedProcess::Output(output));
        QCOMPARE(result.started, !missing);
        QCOMPARE(result.error == QProcess::FailedToStart, missing);
        QCOMPARE(result.timedOut, outcome == QLatin1String("timed out"));
        QCOMPARE(result.crashed, outcome == QLatin1String("crashed"));
        QVERIFY(!outcome[0].isDigit() || result.exitCode == outcome.toInt());
        QCOMPARE(result.succeeded(), outcome == QLatin1String("0"));
        QCOMPARE(result.errorOutput, errorOutput);
        QCOMPARE(result.errorOutputTruncated,
                 errorOutput.size() == BoundedProcess::errorOutputLimit);
        QCOMPARE(processWarnings.count(), 0);
        // Whatever the program started is gone too, however far it got.
        QVERIFY(missing || result.processId > 0);
        QTRY_VERIFY(missing || !TestSupport::processGroupAlive(result.processId));
    }
};

QTEST_GUILESS_MAIN(BoundedProcessTest)
#include "boundedprocesstest.moc"
