#include "toolprocess.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>
#include <pthread.h>
#include <thread>

Q_DECLARE_METATYPE(QProcess::ExitStatus)
Q_DECLARE_METATYPE(QProcess::ProcessError)

namespace {

const QString shell = QStringLiteral("/bin/sh");

// Runs a shell command in a thread of its own as a member of group.
struct BackgroundRun
{
    BackgroundRun(ToolProcess::Group* group, const QString& command)
    {
        process.setGroup(group);
        thread = std::thread([this, command] {
            ended = process.run(shell, {QStringLiteral("-c"), command});
            done = true;
        });
    }
    ~BackgroundRun() { thread.join(); }

    ToolProcess process;
    std::thread thread;
    std::atomic<bool> done {false};
    bool ended = false;
};

// The command, after it has left a file in folder: a stop that comes before the tool runs
// keeps it from starting at all, so a test that stops running tools waits for these first.
QString announced(const QTemporaryDir& folder, const QString& command)
{
    return QStringLiteral("touch '%1'/$$; %2").arg(folder.path(), command);
}

int announcements(const QTemporaryDir& folder)
{
    return QDir(folder.path()).entryList(QDir::Files).size();
}

} // namespace

class ToolProcessTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcomes_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("outputLimit");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QProcess::ExitStatus>("status");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QProcess::ProcessError>("error");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("truncated");
        const auto normal = QProcess::NormalExit;
        const auto none = QProcess::UnknownError;
        QTest::newRow("exit code")
            << shell << "exit 3" << 0 << -1 << true << normal << 3 << none << QByteArray() << false;
        QTest::newRow("output kept") << shell << "printf abc" << 10 << -1 << true << normal << 0
                                     << none << QByteArray("abc") << false;
        QTest::newRow("output discarded") << shell << "printf abc" << 0 << -1 << true << normal << 0
                                          << none << QByteArray() << false;
        // The rest is read and dropped, so the tool is never blocked on a full pipe.
        QTest::newRow("output capped")
            << shell << "head -c 300000 /dev/zero | tr '\\0' x; exit 4" << 16 << -1 << true
            << normal << 4 << none << QByteArray(16, 'x') << true;
        QTest::newRow("input is empty") << shell << "cat; echo end" << 100 << -1 << true << normal
                                        << 0 << none << QByteArray("end\n") << false;
        QTest::newRow("crash") << shell << "kill -SEGV $$" << 0 << -1 << true << QProcess::CrashExit
                               << int(SIGSEGV) << QProcess::Crashed << QByteArray() << false;
        QTest::newRow("time limit")
            << shell << "exec sleep 60" << 10 << 100 << false << QProcess::CrashExit << int(SIGKILL)
            << QProcess::Timedout << QByteArray() << false;
        QTest::newRow("missing program")
            << QStringLiteral("/nonexistent/tool") << QString() << 0 << -1 << false
            << QProcess::CrashExit << -1 << QProcess::FailedToStart << QByteArray() << false;
    }

    void outcomes()
    {
        QFETCH(QString, program);
        QFETCH(QString, command);
        QFETCH(int, outputLimit);
        QFETCH(int, timeout);
        QFETCH(bool, ended);
        QFETCH(QProcess::ExitStatus, status);
        QFETCH(int, exitCode);
        QFETCH(QProcess::ProcessError, error);
        QFETCH(QByteArray, output);
        QFETCH(bool, truncated);
        ToolProcess process;
        process.setOutputLimit(outputLimit);
        process.setTimeout(timeout);
        QCOMPARE(process.run(program, {QStringLiteral("-c"), command}), ended);
        QCOMPARE(process.exitStatus(), status);
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(process.error(), error);
        QCOMPARE(process.errorString().isEmpty(), error == QProcess::UnknownError);
        QCOMPARE(process.output(), output);
        QCOMPARE(process.isOutputTruncated(), truncated);
        QCOMPARE(process.wasStopped(), error == QProcess::Timedout);
    }

    void closedGroupStartsNothing()
    {
        ToolProcess::Group group;
        group.close();
        ToolProcess process;
        process.setGroup(&group);
        QVERIFY(!process.run(shell, {QStringLiteral("-c"), QStringLiteral("exit 0")}));
        QCOMPARE(process.error(), QProcess::FailedToStart);
        QVERIFY(process.wasStopped());
    }

    void groupEndsRunningTools_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("kill");
        QTest::addColumn<int>("signal");
        QTest::newRow("terminate") << "exec sleep 60" << false << int(SIGTERM);
        QTest::newRow("kill a tool that ignores the request")
            << "trap '' TERM; exec sleep 60" << true << int(SIGKILL);
    }

    void groupEndsRunningTools()
    {
        QFETCH(QString, command);
        QFETCH(bool, kill);
        QFETCH(int, signal);
        ToolProcess::Group group;
        QTemporaryDir started;
        BackgroundRun first(&group, announced(started, command));
        BackgroundRun second(&group, announced(started, command));
        QTRY_COMPARE(announcements(started), 2);
        kill ? group.killAll() : group.terminateAll();
        QTRY_VERIFY(first.done && second.done);
        for (BackgroundRun* run : {&first, &second}) {
            QVERIFY(run->ended);
            QCOMPARE(run->process.exitStatus(), QProcess::CrashExit);
            QCOMPARE(run->process.exitCode(), signal);
            QVERIFY(run->process.wasStopped());
        }
        QCOMPARE(group.runningCount(), 0);
    }

    // A tool must be stoppable whatever the console does with SIGTERM on its own threads.
    void toolsGetTheDefaultSignalActions_data()
    {
        QTest::addColumn<bool>("block");
        QTest::newRow("ignored by the caller") << false;
        QTest::newRow("blocked in the calling thread") << true;
    }

    void toolsGetTheDefaultSignalActions()
    {
        QFETCH(bool, block);
        ToolProcess::Group group;
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        struct sigaction ignore
        {
        };
        ignore.sa_handler = SIG_IGN;
        struct sigaction previous
        {
        };
        if (!block)
            sigaction(SIGTERM, &ignore, &previous);
        ToolProcess process;
        process.setGroup(&group);
        QTemporaryDir started;
        std::atomic<bool> done {false};
        std::thread runner([&] {
            if (block)
                pthread_sigmask(SIG_BLOCK, &term, nullptr);
            process.run(shell, {QStringLiteral("-c"), announced(started, "exec sleep 60")});
            done = true;
        });
        QTRY_COMPARE(announcements(started), 1);
        group.terminateAll();
        const bool ended = QTest::qWaitFor([&done] { return done.load(); }, 10000);
        if (!ended)
            group.killAll();
        runner.join();
        if (!block)
            sigaction(SIGTERM, &previous, nullptr);
        QVERIFY2(ended, "the tool inherited the caller's handling of SIGTERM");
        QCOMPARE(process.exitCode(), int(SIGTERM));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(ToolProcessTest)
#include "toolprocesstest.moc"
