#include "digsigconstants.h"
#include "sysroot.h"
#include "testsupport.h"

class DigSigConstantsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void outsideTrustedDirectories_data()
    {
        QTest::addColumn<QStringList>("systemPaths");
        QTest::addColumn<QStringList>("outside");
        QTest::newRow("trusted") << QStringList {"/usr/bin/tool", "/opt", "/lib64/x.so", "/srv/a/"}
                                 << QStringList();
        QTest::newRow("root, home, a name that only starts like a trusted one")
            << QStringList {"/", "/home/admin/tool", "/usrlocal/bin", "/opt/app", "/etc"}
            << QStringList {"/", "/home/admin/tool", "/usrlocal/bin", "/etc"};
    }

    // Judged as the system knows the paths: the sandbox root in front is not a folder of theirs.
    void outsideTrustedDirectories()
    {
        QFETCH(QStringList, systemPaths);
        QFETCH(QStringList, outside);
        QStringList realPaths;
        for (const QString& path : systemPaths)
            realPaths << Sysroot::path(path);
        QVERIFY(Sysroot::isActive());
        QCOMPARE(DigSig::outsideTrustedDirectories(realPaths), outside);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigConstantsTest)
#include "digsigconstantstest.moc"
