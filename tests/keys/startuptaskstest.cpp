#include "analizpinentrytask.h"
#include "digsigconstants.h"
#include "digsigelement.h"
#include "importquillkeystask.h"
#include "module.h"
#include "taskobserver.h"

#include "testsupport.h"

#include <QtTest>

using TestSupport::readFile;
using TestSupport::sandboxPath;
using TestSupport::writeFile;

namespace {
const QStringList rootKeyFiles {QStringLiteral("build_system_quill_root_key_2018.gpg"),
                                QStringLiteral("partners_quill_root_key_2018.gpg"),
                                QStringLiteral("primary_key_2018.gpg")};
const QString conf = DigSig::gpgAgentConfPath();
} // namespace

// The two start-up tasks of the settings element, run through the real task observer inside a
// sandbox root.
class StartupTasksTest : public QObject
{
    Q_OBJECT
    Module _module {QStringLiteral("TestModule"), nullptr, false};
    DigSigElement _element {_module, Module::isAdministratorHierarchy};
    GnupgHome _source;
    QStringList _sourceKeys;

    TaskObserver::Record perform(AbstractTask* task)
    {
        TaskObserver* observer = TaskObserver::instance(nullptr);
        observer->performTask(task);
        return observer->waitForIdle(60000) ? observer->history().constLast()
                                            : TaskObserver::Record();
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const QString& name : rootKeyFiles)
            _sourceKeys << _source.makeKey(name + " <root@example.org>", "ed25519").value(0);
        QCOMPARE(_sourceKeys.filter(QRegularExpression("^[0-9A-F]{40}$")).size(), 3);
    }

    void init()
    {
        for (const QString& path :
             {QStringLiteral("/root"), DigSig::digsigDirectory(), DigSig::stateDirectory()})
            QDir(sandboxPath(path)).removeRecursively();
    }

    void pinentryTask_data()
    {
        QTest::addColumn<bool>("unfinishedRun");
        QTest::addColumn<QByteArray>("reloadExit");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("after");
        const QByteArray pinentry = "pinentry-program /usr/bin/pinentry-qt\n";
        QTest::newRow("pinentry set") << false << QByteArray("0") << 2 << QString()
                                      << "default-cache-ttl 2592000\n" + pinentry;
        QTest::newRow("times of an unfinished run put back")
            << true << QByteArray("0") << 3
            << "A signing run did not end; gpg-agent's pinentry and cache times were put back as "
               "they were before it."
            << "default-cache-ttl 60\n" + pinentry;
        QTest::newRow("reloads fail")
            << true << QByteArray("2") << 1 << "Can not reload gpg-agent\nCan not reload gpg-agent"
            << "default-cache-ttl 60\n" + pinentry;
    }

    // The times a run raised are put back at start-up when nobody holds the run's lock, as here.
    void pinentryTask()
    {
        QFETCH(bool, unfinishedRun);
        QFETCH(QByteArray, reloadExit);
        QVERIFY(writeFile(sandboxPath(conf), "default-cache-ttl 2592000\n"));
        if (unfinishedRun)
            QVERIFY(writeFile(sandboxPath(DigSig::gpgAgentTimesRecordPath()),
                              "default-cache-ttl default-cache-ttl 60\n"));
        const TestSupport::ScopedEnv exit("DIGSIG_GPG_CONNECT_AGENT_EXIT", reloadExit);
        const TaskObserver::Record record = perform(new AnalizPinentryTask(&_element, nullptr));
        QTEST(record.status, "status");
        QTEST(record.message, "message");
        QTEST(readFile(sandboxPath(conf)), "after");
        QVERIFY(!QFile::exists(sandboxPath(DigSig::gpgAgentTimesRecordPath())));
    }

    void importRootKeys_data()
    {
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QStringList>("empty");
        QTest::addColumn<QString>("message");
        QTest::newRow("all present") << QStringList() << QStringList() << QString();
        // Every file is tried, and each failure is named in the order of the files.
        QTest::newRow("one missing, one empty")
            << QStringList(rootKeyFiles.mid(2)) << QStringList(rootKeyFiles.mid(1, 1))
            << QStringLiteral("/etc/digsig/%1 - The file holds no key\n/etc/digsig/%2 - Can't "
                              "open file")
                   .arg(rootKeyFiles.at(1), rootKeyFiles.at(2));
    }

    void importRootKeys()
    {
        QFETCH(QStringList, missing);
        QFETCH(QStringList, empty);
        QStringList expected;
        for (int i = 0; i < rootKeyFiles.size(); ++i) {
            QByteArray key;
            if (!empty.contains(rootKeyFiles.at(i)) && !missing.contains(rootKeyFiles.at(i))) {
                QCOMPARE(_source.gpg({"--export", _sourceKeys.at(i)}, &key), 0);
                expected.append(_sourceKeys.at(i));
            }
            if (!missing.contains(rootKeyFiles.at(i)))
                QVERIFY(writeFile(sandboxPath("/etc/digsig/" + rootKeyFiles.at(i)), key));
        }
        GnupgHome target(sandboxPath("/root/.gnupg"));
        const TaskObserver::Record record = perform(new ImportQuillKeysTask(&_element, nullptr));
        QCOMPARE(record.status, missing.isEmpty() ? 2 : 1);
        QTEST(record.message, "message");
        QStringList imported = target.fingerprints(QString(), false);
        imported.sort();
        expected.sort();
        QCOMPARE(imported, expected);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(StartupTasksTest)
#include "startuptaskstest.moc"
