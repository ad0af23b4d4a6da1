#include "analizpinentrytask.h"
#include "digsigelement.h"
#include "module.h"
#include "taskobserver.h"

#include "testsupport.h"

#include <QtTest>

#include <unistd.h>

// The pinentry task for a user who is no administrator: no sandbox root is in effect, so the
// process gives up its root rights for the run. Such a user cannot write /root at all, so a task
// that tried would fail visibly instead of changing anything.
class PinentryNonAdminTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nonAdministratorChangesNothing()
    {
        QTemporaryDir scratch;
        QVERIFY(QFile::setPermissions(scratch.path(), QFile::Permissions(0x7777)));
        const QString log = scratch.filePath(QStringLiteral("agent.log"));
        const TestSupport::ScopedEnv agentLog("DIGSIG_GPG_CONNECT_AGENT_LOG", log.toUtf8());
        const bool root = geteuid() == 0;
        if (root && seteuid(65534) != 0)
            QSKIP("cannot give up root rights");
        // Gives the rights back however the test ends.
        const std::unique_ptr<void, void (*)(void*)> rights(root ? this : nullptr, [](void*) {
            if (seteuid(0) != 0)
                qFatal("cannot regain root rights");
        });
        QVERIFY(euidaccess("/root", W_OK) != 0);
        Module module(QStringLiteral("TestModule"), nullptr, false);
        DigSigElement element(module, Module::isAdministratorHierarchy);
        QVERIFY(!Module::isAdministrator(module));
        TaskObserver* observer = TaskObserver::instance(nullptr);
        observer->performTask(new AnalizPinentryTask(&element, nullptr));
        QVERIFY(observer->waitForIdle(60000));
        QCOMPARE(observer->history().constLast().status, 2);
        QVERIFY(!QFile::exists(log));
    }
};

QTEST_MAIN(PinentryNonAdminTest)
#include "pinentrynonadmintest.moc"
