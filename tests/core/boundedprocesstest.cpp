#include "boundedprocess.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

// External programs run to their end within a limit, and nothing of them outlives the run.
class BoundedProcessTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runs_data();
    void runs();
};

void BoundedProcessTest::runs_data()
{
    QTest::addColumn<QString>("script"); // "-": a program that does not exist
    QTest::addColumn<int>("timeoutMsecs");
    QTest::addColumn<int>("output");
    QTest::addColumn<QString>("outcome"); // exit code, "crashed", "timed out", "not started"
    QTest::addColumn<QByteArray>("errorOutput");
    QTest::addColumn<bool>("truncated");

    const int keep = BoundedProcess::KeepErrorOutput;
    const int forward = BoundedProcess::ForwardOutput;
    QTest::newRow("exit code, output apart")
        << "echo out; echo err >&2; exit 3" << -1 << keep << "3" << QByteArray("err\n") << false;
    QTest::newRow("forwarded output")
        << "echo forwarded; exit 0" << 10000 << forward << "0" << QByteArray() << false;
    QTest::newRow("crash") << "kill -SEGV $$" << -1 << keep << "crashed" << QByteArray() << false;
    QTest::newRow("not started") << "-" << -1 << keep << "not started" << QByteArray() << false;
    QTest::newRow("standard input is closed")
        << "cat; echo eof >&2" << 60000 << keep << "0" << QByteArray("eof\n") << false;
    QTest::newRow("much standard output, not kept")
        << "head -c 50000000 /dev/zero; echo done >&2" << 60000 << keep << "0"
        << QByteArray("done\n") << false;
    QTest::newRow("error output capped")
        << "head -c 40000 /dev/zero | tr '\\0' e >&2" << 60000 << keep << "0"
        << QByteArray(BoundedProcess::errorOutputLimit, 'e') << true;
    QTest::newRow("hangs, with a child")
        << "sleep 1000 & wait" << 200 << keep << "timed out" << QByteArray() << false;
    QTest::newRow("hangs, ignoring the request to end")
        << "trap '' TERM; sleep 1000 & wait" << 200 << forward << "timed out" << QByteArray()
        << false;
}

void BoundedProcessTest::runs()
{
    QFETCH(QString, script);
    QFETCH(int, timeoutMsecs);
    QFETCH(int, output);
    QFETCH(QString, outcome);
    QFETCH(QByteArray, errorOutput);
    QFETCH(bool, truncated);
    QTemporaryDir scratch;
    TestSupport::ProcessWarningCounter processWarnings;

    const BoundedProcess::Result result = script == QLatin1String("-")
        ? BoundedProcess::run(scratch.filePath(QStringLiteral("missing")), {}, timeoutMsecs,
                              BoundedProcess::Output(output))
        : BoundedProcess::run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script},
                              timeoutMsecs, BoundedProcess::Output(output));
    QCOMPARE(result.started, outcome != QLatin1String("not started"));
    QCOMPARE(result.timedOut, outcome == QLatin1String("timed out"));
    QCOMPARE(result.crashed, outcome == QLatin1String("crashed"));
    bool isNumber = false;
    const int exitCode = outcome.toInt(&isNumber);
    if (isNumber)
        QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.succeeded(), outcome == QLatin1String("0"));
    if (outcome == QLatin1String("not started"))
        QCOMPARE(result.error, QProcess::FailedToStart);
    QCOMPARE(result.errorOutput, errorOutput);
    QCOMPARE(result.errorOutputTruncated, truncated);
    QCOMPARE(processWarnings.count(), 0);
    // Whatever the program started is gone too, however far it got.
    if (result.started) {
        QVERIFY(result.processId > 0);
        QTRY_VERIFY(!TestSupport::processGroupAlive(result.processId));
    }
}

QTEST_GUILESS_MAIN(BoundedProcessTest)
#include "boundedprocesstest.moc"
