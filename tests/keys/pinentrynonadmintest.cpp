#include "analizpinentrytask.h"
#include "digsigelement.h"
#include "module.h"
#include "taskobserver.h"

#include "testsupport.h"

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
        const bool root = geteuid() == 0;
        if (root && seteuid(65534) != 0)
            QSKIP("cannot give up root rights");
        // Gives the rights back however the test ends.
        const auto rights = qScopeGuard([root] {
            if (root && seteuid(0) != 0)
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
    }
};

QTEST_MAIN(PinentryNonAdminTest)
#include "pinentrynonadmintest.moc"
