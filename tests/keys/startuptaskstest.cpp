#include "analizpinentrytask.h"
#include "digsigelement.h"
#include "gnupghome.h"
#include "gpgagentconfig.h"
#include "importquillkeystask.h"
#include "module.h"
#include "taskobserver.h"

#include "testsupport.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

namespace {
const QStringList rootKeyFiles {QStringLiteral("build_system_quill_root_key_2018.gpg"),
                                QStringLiteral("partners_quill_root_key_2018.gpg"),
                                QStringLiteral("primary_key_2018.gpg")};
}

// The two start-up tasks of the settings element, run through the real task observer inside a
// sandbox root.
class StartupTasksTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void pinentrySetForAdministrator();
    void pinentryReloadFailure();
    void timesOfAnEndedRunAreRestored();
    void importRootKeys_data();
    void importRootKeys();

private:
    TaskObserver::Record perform(AbstractTask* task);
    QString sandboxed(const QString& path) const { return TestSupport::sandboxRoot() + path; }

    std::unique_ptr<Module> _module;
    std::unique_ptr<DigSigElement> _element;
    std::unique_ptr<GnupgHome> _source;
    QStringList _sourceFingerprints;
    std::unique_ptr<QTemporaryDir> _scratch;
};

void StartupTasksTest::initTestCase()
{
    _module = std::make_unique<Module>(QStringLiteral("TestModule"), nullptr, false);
    _element = std::make_unique<DigSigElement>(*_module, Module::isAdministratorHierarchy);
    _source = std::make_unique<GnupgHome>();
    for (const QString& name : rootKeyFiles) {
        const QString fingerprint
            = _source
                  ->makeKey(name + QStringLiteral(" <root@example.org>"), QStringLiteral("ed25519"))
                  .value(0);
        QCOMPARE(fingerprint.size(), 40);
        _sourceFingerprints.append(fingerprint);
    }
}

void StartupTasksTest::cleanupTestCase()
{
    _source.reset();
    _element.reset();
    _module.reset();
}

void StartupTasksTest::init()
{
    _scratch = std::make_unique<QTemporaryDir>();
    QDir(sandboxed(QStringLiteral("/root"))).removeRecursively();
    QDir(sandboxed(QStringLiteral("/etc/digsig"))).removeRecursively();
    qputenv("DIGSIG_GPG_CONNECT_AGENT_LOG",
            _scratch->filePath(QStringLiteral("agent.log")).toUtf8());
}

void StartupTasksTest::cleanup()
{
    qunsetenv("DIGSIG_GPG_CONNECT_AGENT_LOG");
    qunsetenv("DIGSIG_GPG_CONNECT_AGENT_EXIT");
}

TaskObserver::Record StartupTasksTest::perform(AbstractTask* task)
{
    TaskObserver* observer = TaskObserver::instance(nullptr);
    QSignalSpy finished(observer, &TaskObserver::taskFinished);
    observer->performTask(task);
    if (!finished.wait(60000) && finished.isEmpty())
        return {};
    return observer->history().constLast();
}

void StartupTasksTest::pinentrySetForAdministrator()
{
    QVERIFY(TestSupport::writeFile(sandboxed(QStringLiteral("/root/.gnupg/gpg-agent.conf")),
                                   "# mine\npinentry-program /usr/bin/pinentry-curses\n"));
    const TaskObserver::Record record = perform(new AnalizPinentryTask(_element.get(), nullptr));
    QCOMPARE(record.description, QStringLiteral("Read program pinentry state"));
    QCOMPARE(record.status, 2);
    QCOMPARE(record.message, QString());
    QCOMPARE(TestSupport::readFile(sandboxed(QStringLiteral("/root/.gnupg/gpg-agent.conf"))),
             QByteArray("# mine\npinentry-program /usr/bin/pinentry-qt\n"));
    QCOMPARE(TestSupport::readLog(_scratch->filePath(QStringLiteral("agent.log"))),
             QStringList {QStringLiteral("gpg-connect-agent --no-autostart reloadagent /bye")});
}

void StartupTasksTest::pinentryReloadFailure()
{
    qputenv("DIGSIG_GPG_CONNECT_AGENT_EXIT", "2");
    const TaskObserver::Record record = perform(new AnalizPinentryTask(_element.get(), nullptr));
    QCOMPARE(record.status, 1);
    QCOMPARE(record.message, QStringLiteral("Can not reload gpg-agent"));
    QCOMPARE(TestSupport::readFile(sandboxed(QStringLiteral("/root/.gnupg/gpg-agent.conf"))),
             QByteArray("pinentry-program /usr/bin/pinentry-qt\n"));
}

// A console killed during a signing run left raised times behind; the next start puts back the
// administrator's, but not while the run's console still lives.
void StartupTasksTest::timesOfAnEndedRunAreRestored()
{
    const QString conf = sandboxed(QStringLiteral("/root/.gnupg/gpg-agent.conf"));
    QVERIFY(TestSupport::writeFile(conf, "default-cache-ttl 60\n"));
    const QString raised = _scratch->filePath(QStringLiteral("raised"));
    QProcess run;
    run.start(QStringLiteral(RAISER_PROGRAM), {raised});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(raised), 60000);
    QVERIFY(gpgAgentTimesRaised());

    TaskObserver::Record record = perform(new AnalizPinentryTask(_element.get(), nullptr));
    QCOMPARE(record.status, 2);
    QVERIFY(TestSupport::readFile(conf).startsWith("default-cache-ttl 2592000\n"));
    // Nor does a run of this console's own end the other's.
    restoreGpgAgentTimes();
    QVERIFY(gpgAgentTimesRaised());
    QVERIFY(TestSupport::readFile(conf).startsWith("default-cache-ttl 2592000\n"));

    run.kill();
    QVERIFY(run.waitForFinished(60000));
    record = perform(new AnalizPinentryTask(_element.get(), nullptr));
    QCOMPARE(record.status, 3);
    QCOMPARE(record.message,
             QStringLiteral("A signing run did not end; gpg-agent's pinentry and cache times were "
                            "put back as they were before it."));
    QVERIFY(!gpgAgentTimesRaised());
    QCOMPARE(TestSupport::readFile(conf),
             QByteArray("default-cache-ttl 60\npinentry-program /usr/bin/pinentry-qt\n"));
}

void StartupTasksTest::importRootKeys_data()
{
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<QStringList>("empty");
    QTest::addColumn<QString>("message");

    const QString line = QStringLiteral("/etc/digsig/%1 - %2");
    const QString cannotOpen = QStringLiteral("Can't open file");
    QTest::newRow("all present") << QStringList() << QStringList() << QString();
    QTest::newRow("primary missing") << QStringList {rootKeyFiles.at(2)} << QStringList()
                                     << line.arg(rootKeyFiles.at(2), cannotOpen);
    QTest::newRow("two missing") << QStringList {rootKeyFiles.at(2), rootKeyFiles.at(0)}
                                 << QStringList()
                                 << line.arg(rootKeyFiles.at(0), cannotOpen) + QLatin1Char('\n')
            + line.arg(rootKeyFiles.at(2), cannotOpen);
    QTest::newRow("one empty") << QStringList() << QStringList {rootKeyFiles.at(1)}
                               << line.arg(rootKeyFiles.at(1),
                                           QStringLiteral("The file holds no key"));
}

void StartupTasksTest::importRootKeys()
{
    QFETCH(QStringList, missing);
    QFETCH(QStringList, empty);
    QFETCH(QString, message);
    QStringList expected;
    for (int i = 0; i < rootKeyFiles.size(); ++i) {
        const QString& name = rootKeyFiles.at(i);
        if (missing.contains(name))
            continue;
        QByteArray key;
        if (!empty.contains(name)) {
            QCOMPARE(_source->gpg({QStringLiteral("--export"), _sourceFingerprints.at(i)}, &key),
                     0);
            expected.append(_sourceFingerprints.at(i));
        }
        QVERIFY(TestSupport::writeFile(sandboxed(QStringLiteral("/etc/digsig/") + name), key));
    }
    GnupgHome target;
    target.makeDefault();

    const TaskObserver::Record record = perform(new ImportQuillKeysTask(_element.get(), nullptr));
    QCOMPARE(record.description, QStringLiteral("Read quill keys import state"));
    QCOMPARE(record.status, message.isEmpty() ? 2 : 1);
    QCOMPARE(record.message, message);
    QStringList imported = target.fingerprints(QString(), false);
    imported.sort();
    expected.sort();
    QCOMPARE(imported, expected);
}

DIGSIG_SANDBOX_TEST_MAIN(StartupTasksTest)
#include "startuptaskstest.moc"
