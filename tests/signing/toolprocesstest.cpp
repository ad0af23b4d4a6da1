#include "toolprocess.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>
#include <pthread.h>
#include <thread>

Q_DECLARE_METATYPE(QProcess::ProcessError)

class ToolProcessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data()
    {
        QTest::addColumn<QString>("command"); // empty: a program that does not exist
        QTest::addColumn<int>("outputLimit");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QProcess::ProcessError>("error");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("truncated");
        const auto none = QProcess::UnknownError;
        QTest::newRow("exit code, output discarded")
            << "printf abc; exit 3" << 0 << 3 << none << QByteArray() << false;
        // A tool that reads its input finds it empty at once, or runs into the time limit.
        QTest::newRow("output kept whole, input empty")
            << "cat; printf abc" << 3 << 0 << none << QByteArray("abc") << false;
        // The rest is read and dropped, so the tool is never blocked on a full pipe.
        QTest::newRow("output one byte over the limit")
            << "head -c 300000 /dev/zero | tr '\\0' x; exit 4" << 299999 << 4 << none
            << QByteArray(299999, 'x') << true;
        QTest::newRow("crash") << "kill -SEGV $$" << 0 << int(SIGSEGV) << QProcess::Crashed
                               << QByteArray() << false;
        QTest::newRow("time limit")
            << "exec sleep 60" << 10 << int(SIGKILL) << QProcess::Timedout << QByteArray() << false;
        QTest::newRow("missing program")
            << QString() << 0 << -1 << QProcess::FailedToStart << QByteArray() << false;
    }

    void outcomes()
    {
        QFETCH(QString, command);
        QFETCH(int, outputLimit);
        QFETCH(int, exitCode);
        QFETCH(QProcess::ProcessError, error);
        QFETCH(QByteArray, output);
        QFETCH(bool, truncated);
        ToolProcess process;
        process.setOutputLimit(outputLimit);
        process.setTimeout(error == QProcess::Timedout ? 100 : 30000);
        const QString program = command.isEmpty() ? "/nonexistent/tool" : "/bin/sh";
        QCOMPARE(process.run(program, {QStringLiteral("-c"), command}),
                 error != QProcess::FailedToStart && error != QProcess::Timedout);
        QCOMPARE(process.exitStatus(),
                 error == QProcess::UnknownError ? QProcess::NormalExit : QProcess::CrashExit);
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(process.error(), error);
        QCOMPARE(process.errorString().isEmpty(), error == QProcess::UnknownError);
        QCOMPARE(process.output(), output);
        QCOMPARE(process.isOutputTruncated(), truncated);
        QCOMPARE(process.wasStopped(), error == QProcess::Timedout);
    }

    // A tool must be stoppable whatever the calling process does with SIGTERM; a closed group
    // starts nothing more.
    void groupEndsRunningTools_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("blockTerm"); // in the thread that runs the tool
        QTest::newRow("terminate") << "exec sleep 60" << int(SIGTERM) << false;
        QTest::newRow("terminate, SIGTERM blocked") << "exec sleep 60" << int(SIGTERM) << true;
        QTest::newRow("kill a tool that ignores SIGTERM")
            << "trap '' TERM; exec sleep 60" << int(SIGKILL) << false;
    }

    void groupEndsRunningTools()
    {
        QFETCH(QString, command);
        QFETCH(int, signal);
        QFETCH(bool, blockTerm);
        const auto previous = std::signal(SIGTERM, SIG_IGN);
        ToolProcess::Group group;
        QTemporaryDir started;
        ToolProcess tools[2];
        std::vector<std::thread> threads;
        const auto join = qScopeGuard([&] {
            group.killAll();
            for (std::thread& thread : threads)
                thread.join();
            std::signal(SIGTERM, previous);
        });
        // A stop before a tool runs keeps it from starting: each tool first leaves a file. Bash,
        // unlike some shells, keeps the signal mask it was started with.
        for (ToolProcess& tool : tools) {
            tool.setGroup(&group);
            threads.emplace_back([&tool, &started, command, blockTerm] {
                sigset_t term;
                sigemptyset(&term);
                sigaddset(&term, SIGTERM);
                pthread_sigmask(blockTerm ? SIG_BLOCK : SIG_UNBLOCK, &term, nullptr);
                tool.run("/bin/bash",
                         {"-c", QStringLiteral("touch %1/$$; ").arg(started.path()) + command});
            });
        }
        QTRY_COMPARE(QDir(started.path()).entryList(QDir::Files).size(), 2);
        signal == SIGKILL ? group.killAll() : group.terminateAll();
        QTRY_COMPARE(group.runningCount(), 0);
        for (const ToolProcess& tool : tools) {
            QCOMPARE(tool.exitStatus(), QProcess::CrashExit);
            QCOMPARE(tool.exitCode(), signal);
            QVERIFY(tool.wasStopped());
        }

        group.close();
        ToolProcess late;
        late.setGroup(&group);
        QVERIFY(!late.run("/bin/sh", {"-c", "exit 0"}));
        QCOMPARE(late.error(), QProcess::FailedToStart);
        QVERIFY(late.wasStopped());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(ToolProcessTest)
#include "toolprocesstest.moc"
