#include "gpgagentconfig.h"
#include "digsigconstants.h"

#include "testsupport.h"

#include <QtTest>

#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::sandboxPath;
using TestSupport::writeFile;

namespace {
const QString reload = QStringLiteral("gpg-connect-agent --no-autostart reloadagent /bye");
const QString home = DigSig::gnupgHome();
const QString conf = DigSig::gpgAgentConfPath();
const QString record = DigSig::gpgAgentTimesRecordPath();

QString thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

void writeOption()
{
    writeGpgAgentConfOption(QStringLiteral("a"), QStringLiteral("1"));
}

// The mode of a system path in the sandbox, or sets it.
int mode(const QString& path, int newMode = -1)
{
    const QByteArray name = QFile::encodeName(sandboxPath(path));
    struct stat status
    {
    };
    if (newMode >= 0)
        ::chmod(name.constData(), mode_t(newMode));
    return ::stat(name.constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}
} // namespace

// Root's gpg-agent configuration inside a sandbox root, reloaded through the stand-in
// gpg-connect-agent and once through a real agent.
class GpgAgentConfigTest : public QObject
{
    Q_OBJECT
    QTemporaryDir _scratch;
    QStringList reloads() const { return TestSupport::readLog(_scratch.filePath("agent.log")); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("DIGSIG_GPG_CONNECT_AGENT_LOG", _scratch.filePath("agent.log").toUtf8());
    }

    void init()
    {
        QDir(sandboxPath(QStringLiteral("/root"))).removeRecursively();
        QFile::remove(sandboxPath(QStringLiteral("/root")));
        QFile::remove(_scratch.filePath("agent.log"));
    }

    void cleanup()
    {
        // Drops this process's run lock; a record a test broke on purpose may not be readable.
        thrown([] { restoreGpgAgentTimes(); });
        QFile::remove(sandboxPath(DigSig::stateDirectory()));
        QDir(sandboxPath(DigSig::stateDirectory())).removeRecursively();
    }

    // A new home is private to root and a new file to its owner, whatever the umask; existing
    // ones keep their modes. The merge itself is checked on the fuzz corpus, which leaves out
    // carriage returns.
    void writesOption()
    {
        const mode_t umask = ::umask(0);
        writeOption();
        QCOMPARE(readFile(sandboxPath(conf)), QByteArray("a 1\n"));
        QCOMPARE(mode(home), 0700);
        QCOMPARE(mode(conf), 0600);
        QVERIFY(writeFile(sandboxPath(conf), "x 0\r\na 2\r\n"));
        QVERIFY(mode(home, 0750) == 0750 && mode(conf, 0640) == 0640);
        writeOption();
        ::umask(umask);
        QCOMPARE(readFile(sandboxPath(conf)), QByteArray("x 0\na 1\n"));
        QCOMPARE(mode(home), 0750);
        QCOMPARE(mode(conf), 0640);
        QCOMPARE(reloads(), QStringList({reload, reload}));
    }

    void failureChangesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("raise");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("after");
        const QString link = QStringLiteral("Can not save file %1\n%1 is a symbolic link; it was "
                                            "not written.");
        const QString state = DigSig::stateDirectory();
        QTest::newRow("home cannot be made")
            << "root is a file" << false << "Can not create dir " + home << QByteArray();
        QTest::newRow("file cannot be read")
            << "conf is a directory" << false << "Can not open file " + conf << QByteArray();
        QTest::newRow("file is a link")
            << "conf is a link" << false << link.arg(conf) << QByteArray("a 2\n");
        QTest::newRow("reload fails")
            << "exit" << false << "Can not reload gpg-agent" << QByteArray("a 1\n");
        // The times are recorded before they are raised: without a record, nothing is raised.
        QTest::newRow("record is a link")
            << "record is a link" << true << link.arg(record) << QByteArray("a 2\n");
        QTest::newRow("state directory cannot be made")
            << "state is a file" << true << "Can not create dir " + state << QByteArray("a 2\n");
    }

    // The configuration keeps its bytes, nothing is written through a link, and the agent
    // reloads only what was written.
    void failureChangesNothing()
    {
        QFETCH(QString, fault);
        QFETCH(bool, raise);
        const QString elsewhere = _scratch.filePath("elsewhere");
        QFile::remove(elsewhere);
        const auto is = [&](const char* name) {
            return fault == QLatin1String(name);
        };
        if (is("root is a file"))
            QVERIFY(writeFile(sandboxPath("/root"), "file"));
        else if (is("conf is a directory"))
            QVERIFY(QDir().mkpath(sandboxPath(conf)));
        else if (is("conf is a link"))
            QVERIFY(writeFile(elsewhere, "a 2\n") && QDir().mkpath(sandboxPath(home))
                    && QFile::link(elsewhere, sandboxPath(conf)));
        else
            QVERIFY(writeFile(sandboxPath(conf), "a 2\n"));
        if (is("record is a link"))
            QVERIFY(QDir().mkpath(sandboxPath(DigSig::stateDirectory()))
                    && QFile::link(elsewhere, sandboxPath(record)));
        if (is("state is a file"))
            QVERIFY(writeFile(sandboxPath(DigSig::stateDirectory()), "file"));
        TestSupport::ScopedEnv exit("DIGSIG_GPG_CONNECT_AGENT_EXIT", is("exit") ? "1" : nullptr);

        QTEST(thrown(raise ? raiseGpgAgentTimes : writeOption), "error");
        QTEST(readFile(sandboxPath(conf)), "after");
        QCOMPARE(readFile(elsewhere), QByteArray(is("conf is a link") ? "a 2\n" : ""));
        QCOMPARE(reloads().size(), is("exit") ? 1 : 0);
    }

    void hungReloadIsStopped()
    {
        const TestSupport::ScopedEnv hang("DIGSIG_GPG_CONNECT_AGENT_HANG", "1");
        TestSupport::ProcessWarningCounter processWarnings;
        QCOMPARE(thrown([] { reloadGpgAgent(200); }),
                 QStringLiteral("gpg-agent did not answer within 0.2 seconds; it keeps its old "
                                "settings until it is restarted."));
        QCOMPARE(processWarnings.count(), 0);
    }

    // The stand-in takes any arguments: only a real agent shows that they make it reload.
    void realAgentReloads()
    {
        const QString agentLog = _scratch.filePath("gpg-agent.log");
        QVERIFY(writeFile(sandboxPath(conf), "log-file " + agentLog.toUtf8() + "\n"));
        // GNUPGHOME is this home already; the object stops the agent in the end.
        GnupgHome gnupgHome(sandboxPath(home));
        QByteArrayList path = qgetenv("PATH").split(':');
        path.removeAll(qgetenv("DIGSIG_TOOLS_DIR"));
        const TestSupport::ScopedEnv realTools("PATH", path.join(':'));
        QProcess agent;
        agent.start(QStringLiteral("gpg-connect-agent"), {QStringLiteral("/bye")});
        QVERIFY(agent.waitForFinished(-1) && agent.exitCode() == 0);
        QCOMPARE(thrown(writeOption), QString());
        QTRY_VERIFY(readFile(agentLog).contains("SIGHUP received"));
    }

    // A run raises the times and puts back what the administrator had, byte for byte, or
    // nothing where there was nothing. A console killed during a run leaves the record and the
    // raised times behind; they stay while the run's lock is held (here on a descriptor of the
    // test's own, as by another console), and a new run keeps that record.
    void raiseAndRestore()
    {
        const QByteArray before
            = "max-cache-ttl\t100  # caf\xe9\npinentry-timeout 5\nmax-cache-ttl 7\n";
        QVERIFY(writeFile(sandboxPath(conf), before));
        raiseGpgAgentTimes();
        QCOMPARE(mode(record), 0600);
        const QByteArray raised = readFile(sandboxPath(conf));
        const QByteArray recorded = readFile(sandboxPath(record));
        for (const char* option : {"pinentry-timeout", "default-cache-ttl", "max-cache-ttl"})
            QVERIFY(raised.contains(option + QByteArray(" 2592000\n")));
        QVERIFY(!restoreGpgAgentTimesOfEndedRun());
        restoreGpgAgentTimes();
        QVERIFY(!gpgAgentTimesRaised());
        QCOMPARE(readFile(sandboxPath(conf)), before);
        restoreGpgAgentTimes();
        QCOMPARE(reloads(), QStringList({reload, reload}));

        QVERIFY(writeFile(sandboxPath(conf), raised) && writeFile(sandboxPath(record), recorded));
        const int lock = ::open(QFile::encodeName(sandboxPath(DigSig::gpgAgentTimesLockPath())),
                                O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(lock >= 0 && ::flock(lock, LOCK_EX) == 0);
        QVERIFY(!restoreGpgAgentTimesOfEndedRun());
        restoreGpgAgentTimes();
        ::close(lock);
        QCOMPARE(readFile(sandboxPath(conf)), raised);
        raiseGpgAgentTimes();
        restoreGpgAgentTimes();
        QCOMPARE(readFile(sandboxPath(conf)), before);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(GpgAgentConfigTest)
#include "gpgagentconfigtest.moc"
