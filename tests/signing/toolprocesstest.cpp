#include "toolprocess.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>
#include <pthread.h>
#include <thread>

namespace {
struct Outcome
{
    QString command; // empty: the group was closed before the start
    int outputLimit;
    int exitCode;
    QProcess::ProcessError error;
    QByteArray output = {};
    bool truncated = false;
};
} // namespace
Q_DECLARE_METATYPE(Outcome)

class ToolProcessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data()
    {
        QTest::addColumn<Outcome>("row");
        const auto none = QProcess::UnknownError;
        const QByteArray many(299999, 'x');
        QTest::newRow("exit code, output discarded") << Outcome {"printf abc; exit 3", 0, 3, none};
        // A tool that reads its input finds it empty at once, or runs into the time limit.
        QTest::newRow("output kept whole, input empty")
            << Outcome {"cat; printf abc", 3, 0, none, "abc", false};
        // The rest is read and dropped, so the tool is never blocked on a full pipe.
        QTest::newRow("output one byte over the limit") << Outcome {
            "head -c 300000 /dev/zero | tr '\\0' x; exit 4", 299999, 4, none, many, true};
        QTest::newRow("time limit") << Outcome {"exec sleep 60", 10, SIGKILL, QProcess::Timedout};
        QTest::newRow("closed group") << Outcome {{}, 0, -1, QProcess::FailedToStart};
    }

    void outcomes()
    {
        QFETCH(Outcome, row);
        ToolProcess::Group group;
        if (row.command.isEmpty())
            group.close();
        ToolProcess process;
        process.setGroup(&group);
        process.setOutputLimit(row.outputLimit);
        process.setTimeout(row.error == QProcess::Timedout ? 100 : 30000);
        QCOMPARE(process.run("/bin/sh", {QStringLiteral("-c"), row.command}),
                 row.error != QProcess::FailedToStart && row.error != QProcess::Timedout);
        QCOMPARE(process.exitStatus(),
                 row.error == QProcess::UnknownError ? QProcess::NormalExit : QProcess::CrashExit);
        QCOMPARE(process.exitCode(), row.exitCode);
        QCOMPARE(process.error(), row.error);
        QCOMPARE(process.errorString().isEmpty(), row.error == QProcess::UnknownError);
        QCOMPARE(process.output(), row.output);
        QCOMPARE(process.isOutputTruncated(), row.truncated);
        // Each failure here is a stop.
        QCOMPARE(process.wasStopped(), row.error != QProcess::UnknownError);
    }

    // A tool must be stoppable whatever the calling process does with SIGTERM, even where the
    // thread that starts it blocks every signal.
    void groupEndsRunningTools()
    {
        const auto previous = std::signal(SIGTERM, SIG_IGN);
        ToolProcess::Group group;
        QTemporaryDir started;
        ToolProcess tool;
        tool.setGroup(&group);
        // A stop before a tool runs keeps it from starting: the tool first leaves a file. Bash,
        // unlike some shells, keeps the signal mask it was started with.
        std::thread thread([&] {
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
            tool.run("/bin/bash",
                     {"-c", QStringLiteral("touch %1/ran; exec sleep 60").arg(started.path())});
        });
        const auto join = qScopeGuard([&] {
            group.killAll();
            thread.join();
            std::signal(SIGTERM, previous);
        });
        QTRY_VERIFY(QFile::exists(started.filePath(QStringLiteral("ran"))));
        group.terminateAll();
        QTRY_COMPARE(group.runningCount(), 0);
        QCOMPARE(tool.exitCode(), SIGTERM);
        QVERIFY(tool.exitStatus() == QProcess::CrashExit && tool.wasStopped());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(ToolProcessTest)
#include "toolprocesstest.moc"
