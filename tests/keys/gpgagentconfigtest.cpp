#include "gpgagentconfig.h"
#include "analizpinentrytask.h"
#include "digsigconstants.h"
#include "digsigelement.h"
#include "importquillkeystask.h"
#include "module.h"
#include "taskobserver.h"

#include "testsupport.h"

#include <sys/file.h>
#include <sys/stat.h>

using TestSupport::readFile;
using TestSupport::sandboxPath;
using TestSupport::writeFile;

namespace {
const QString reload = QStringLiteral("gpg-connect-agent --no-autostart reloadagent /bye");
const QString home = DigSig::gnupgHome();
const QString conf = DigSig::gpgAgentConfPath();
const QString record = DigSig::gpgAgentTimesRecordPath();
const QString state = DigSig::stateDirectory();
const QStringList rootKeyFiles {QStringLiteral("/etc/digsig/build_system_quill_root_key_2018.gpg"),
                                QStringLiteral("/etc/digsig/partners_quill_root_key_2018.gpg"),
                                QStringLiteral("/etc/digsig/primary_key_2018.gpg")};

QString thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

const auto writeOption = [] {
    writeGpgAgentConfOption("a", "1");
};

// The permissions of a system path in the sandbox, as QFile::Permissions: 0x7700 for mode 0700.
int mode(const QString& path)
{
    return int(QFileInfo(sandboxPath(path)).permissions());
}
} // namespace

// Root's gpg-agent configuration inside a sandbox root, reloaded through the stand-in
// gpg-connect-agent and once through a real agent, and the two start-up tasks of the settings
// element that restore it and import the root keys, run through the real task observer.
class GpgAgentConfigTest : public QObject
{
    Q_OBJECT
    QTemporaryDir _scratch;
    Module _module {QStringLiteral("TestModule"), nullptr, false};
    DigSigElement _element {_module, Module::isAdministratorHierarchy};
    QStringList reloads() const { return TestSupport::readLog(_scratch.filePath("agent.log")); }
    TaskObserver::Record perform(AbstractTask* task)
    {
        TaskObserver* observer = TaskObserver::instance(nullptr);
        observer->performTask(task);
        return observer->waitForIdle(60000) ? observer->history().constLast()
                                            : TaskObserver::Record();
    }

private Q_SLOTS:
    void init()
    {
        // Drops the run lock a test left; a record it broke on purpose may not be readable.
        thrown(restoreGpgAgentTimes);
        for (const QString& path : {QStringLiteral("/root"), DigSig::digsigDirectory(), state}) {
            QDir(sandboxPath(path)).removeRecursively();
            QFile::remove(sandboxPath(path));
        }
        QFile::remove(_scratch.filePath("agent.log"));
        qputenv("DIGSIG_GPG_CONNECT_AGENT_LOG", _scratch.filePath("agent.log").toUtf8());
    }

    // A new home is private to root and a new file to its owner, whatever the umask; existing
    // ones keep their modes. The merge itself is checked on the fuzz corpus.
    void writesOption()
    {
        const mode_t umask = ::umask(0);
        writeOption();
        QCOMPARE(readFile(sandboxPath(conf)), QByteArray("a 1\n"));
        QCOMPARE(QList<int>({mode(home), mode(conf)}), QList<int>({0x7700, 0x6600}));
        QVERIFY(writeFile(sandboxPath(conf), "x 0\r\na 2\r\n"));
        QVERIFY(QFile::setPermissions(sandboxPath(home), QFile::Permissions(0x7750))
                && QFile::setPermissions(sandboxPath(conf), QFile::Permissions(0x6640)));
        writeOption();
        ::umask(umask);
        QCOMPARE(readFile(sandboxPath(conf)), QByteArray("x 0\na 1\n"));
        QCOMPARE(QList<int>({mode(home), mode(conf)}), QList<int>({0x7750, 0x6640}));
        QCOMPARE(reloads(), QStringList({reload, reload}));
    }

    void failureChangesNothing_data()
    {
        // What lies at system paths first: a file's bytes, "/" for a directory, "->" for a link
        // to a missing file elsewhere.
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<bool>("raise"); // else an option is written
        QTest::addColumn<QString>("error");
        const QString link = QStringLiteral("%1 is a symbolic link; it was not written.");
        const QString old = conf + "=a 2\n";
        QTest::newRow("home cannot be made")
            << QStringList {"/root=file"} << false << "Can not create dir " + home;
        QTest::newRow("file cannot be read")
            << QStringList {conf + "=/"} << false << "Can not open file " + conf;
        QTest::newRow("file is a link") << QStringList {conf + "=->"} << false << link.arg(conf);
        // The times are recorded before they are raised: without a record, nothing is raised.
        QTest::newRow("record is a link")
            << QStringList {old, record + "=->"} << true << link.arg(record);
        QTest::newRow("state directory cannot be made")
            << QStringList {old, state + "=file"} << true << "Can not create dir " + state;
    }

    // The configuration keeps its bytes, nothing is written through a link, and the agent
    // reloads nothing.
    void failureChangesNothing()
    {
        QFETCH(QStringList, setup);
        QFETCH(bool, raise);
        QFETCH(QString, error);
        const QString elsewhere = _scratch.filePath(QTest::currentDataTag());
        for (const QString& entry : setup) {
            const QString path = sandboxPath(entry.section('=', 0, 0));
            const QString what = entry.section('=', 1);
            if (what == "->")
                QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(elsewhere, path));
            else
                QVERIFY(what == "/" ? QDir().mkpath(path) : writeFile(path, what.toUtf8()));
        }
        const QByteArray before = readFile(sandboxPath(conf));
        QVERIFY(thrown(raise ? raiseGpgAgentTimes : writeOption).endsWith(error));
        QCOMPARE(readFile(sandboxPath(conf)), before);
        QVERIFY(!QFile::exists(elsewhere));
        QCOMPARE(reloads(), QStringList());
    }

    // A hung reload is stopped. The stand-in takes any arguments: only a real agent, which
    // knows nothing of the stand-in's knob, shows that they make it reload.
    void agentReload()
    {
        const TestSupport::ScopedEnv hang("DIGSIG_GPG_CONNECT_AGENT_HANG", "1");
        QVERIFY(thrown([] { reloadGpgAgent(200); }).contains("did not answer within 0.2 seconds"));
        const QString agentLog = _scratch.filePath("gpg-agent.log");
        QVERIFY(writeFile(sandboxPath(conf), "log-file " + agentLog.toUtf8() + "\n"));
        // GNUPGHOME is this home already; the object stops the agent in the end.
        GnupgHome gnupgHome(sandboxPath(home));
        QByteArrayList path = qgetenv("PATH").split(':');
        path.removeAll(qgetenv("DIGSIG_TOOLS_DIR"));
        const TestSupport::ScopedEnv realTools("PATH", path.join(':'));
        QCOMPARE(QProcess::execute(QStringLiteral("gpg-connect-agent"), {QStringLiteral("/bye")}),
                 0);
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
        QCOMPARE(mode(record), 0x6600);
        const QByteArray raised = readFile(sandboxPath(conf));
        const QByteArray recorded = readFile(sandboxPath(record));
        for (const char* option : {"pinentry-timeout", "default-cache-ttl", "max-cache-ttl"})
            QVERIFY(raised.contains(option + QByteArray(" 2592000\n")));
        QVERIFY(!restoreGpgAgentTimesOfEndedRun());
        restoreGpgAgentTimes();
        QCOMPARE(readFile(sandboxPath(conf)), before);
        restoreGpgAgentTimes();
        QCOMPARE(reloads(), QStringList({reload, reload}));

        QVERIFY(writeFile(sandboxPath(conf), raised) && writeFile(sandboxPath(record), recorded));
        QFile lock(sandboxPath(DigSig::gpgAgentTimesLockPath()));
        QVERIFY(lock.open(QIODevice::ReadWrite) && ::flock(lock.handle(), LOCK_EX) == 0);
        QVERIFY(!restoreGpgAgentTimesOfEndedRun());
        restoreGpgAgentTimes();
        lock.close();
        QCOMPARE(readFile(sandboxPath(conf)), raised);
        raiseGpgAgentTimes();
        restoreGpgAgentTimes();
        QCOMPARE(readFile(sandboxPath(conf)), before);
    }

    void pinentryTask_data()
    {
        QTest::addColumn<QByteArray>("reloadExit"); // empty: no unfinished run
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("pinentry set") << QByteArray() << 2 << QString();
        QTest::newRow("times of an unfinished run put back")
            << QByteArray("0") << 3 << "A signing run did not end; gpg-agent's pinentry and cache";
        QTest::newRow("reloads fail")
            << QByteArray("2") << 1 << "Can not reload gpg-agent\nCan not reload gpg-agent";
    }

    // The times a run raised are put back at start-up when nobody holds the run's lock, as here.
    void pinentryTask()
    {
        QFETCH(QByteArray, reloadExit);
        QFETCH(QString, message);
        QVERIFY(writeFile(sandboxPath(conf), "default-cache-ttl 2592000\n"));
        QVERIFY(reloadExit.isEmpty()
                || writeFile(sandboxPath(record), "default-cache-ttl default-cache-ttl 60\n"));
        const TestSupport::ScopedEnv exit("DIGSIG_GPG_CONNECT_AGENT_EXIT", reloadExit);
        const TaskObserver::Record done = perform(new AnalizPinentryTask(&_element, nullptr));
        QTEST(done.status, "status");
        QVERIFY(message.isEmpty() ? done.message.isEmpty() : done.message.startsWith(message));
        QCOMPARE(readFile(sandboxPath(conf)),
                 "default-cache-ttl " + QByteArray(reloadExit.isEmpty() ? "2592000" : "60")
                     + "\npinentry-program /usr/bin/pinentry-qt\n");
        QVERIFY(!QFile::exists(sandboxPath(record)));
    }

    // Every root key file is tried, and each failure is named in the order of the files.
    void importRootKeys()
    {
        GnupgHome source;
        const QString key = source.makeKey("Root <root@example.org>", "ed25519").value(0);
        QByteArray exported;
        QCOMPARE(source.gpg({"--export", key}, &exported), 0);
        for (const bool all : {false, true}) {
            for (int i = 0; i < rootKeyFiles.size(); ++i)
                QVERIFY(writeFile(sandboxPath(rootKeyFiles.at(i)),
                                  all || i == 0 ? exported : QByteArray()));
            QVERIFY(all || QFile::remove(sandboxPath(rootKeyFiles.at(2))));
            GnupgHome target(sandboxPath("/root/.gnupg"));
            const TaskObserver::Record done = perform(new ImportQuillKeysTask(&_element, nullptr));
            QCOMPARE(done.status, all ? 2 : 1);
            QCOMPARE(done.message,
                     all ? QString()
                         : rootKeyFiles.at(1) + " - The file holds no key\n" + rootKeyFiles.at(2)
                             + " - Can't open file");
            QCOMPARE(target.fingerprints(QString(), false), QStringList {key});
        }
    }
};

DIGSIG_SANDBOX_TEST_MAIN(GpgAgentConfigTest)
#include "gpgagentconfigtest.moc"
