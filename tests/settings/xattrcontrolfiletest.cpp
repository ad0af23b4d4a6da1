#include "xattrcontrolfile.h"
#include "atomicfile.h"
#include "digsigconstants.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QtTest>

class XattrControlFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void merged_data();
    void merged();
    void writesOnlyWhatWasRead();
    void templatesNamingNoFile_data();
    void templatesNamingNoFile();
};

void XattrControlFileTest::merged_data()
{
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QList<QByteArray>>("tooLong");
    const QByteArray limit(DigSig::controlLineLimit - 1, 'x');
    QTest::newRow("blanks, empty lines, order, duplicates")
        << QByteArray(" /usr/bin/ \n\n/usr/bin/\n")
        << QList<QByteArray> {"//usr/lib/x", "/usr/bin/"} << QByteArray("//usr/lib/x\n/usr/bin/\n")
        << QList<QByteArray>();
    QTest::newRow("bytes that are not UTF-8 and a NUL are kept")
        << QByteArray("/caf\xe9/\n/a\0b/\n", 13) << QList<QByteArray> {"//new\xff"}
        << QByteArray("//new\xff\n/a\0b/\n/caf\xe9/\n", 20) << QList<QByteArray>();
    QTest::newRow("line limit, also for lines already there")
        << QByteArray(limit + "y\n") << QList<QByteArray> {limit} << QByteArray(limit + '\n')
        << QList<QByteArray> {limit + 'y'};
    QTest::newRow("empty file") << QByteArray()
                                << QList<QByteArray> {XattrControlFile::entry("/opt", true)}
                                << QByteArray("/opt/\n") << QList<QByteArray>();
}

void XattrControlFileTest::merged()
{
    QFETCH(QByteArray, existing);
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QByteArray, expected);
    QFETCH(QList<QByteArray>, tooLong);
    QList<QByteArray> left;
    QCOMPARE(XattrControlFile::merged(existing, entries, &left), expected);
    QCOMPARE(left, tooLong);
}

void XattrControlFileTest::writesOnlyWhatWasRead()
{
    const QString path = Sysroot::path(DigSig::controlFilePath());
    XattrControlFile file;
    QVERIFY(!file.read());
    QVERIFY(TestSupport::writeFile(path, "/usr/\n"));
    QVERIFY(file.read());
    QCOMPARE(file.content(), QByteArray("/usr/\n"));
    QCOMPARE(file.fingerprint(), AtomicFile::fingerprint("/usr/\n"));

    QVERIFY(TestSupport::writeFile(path, "/usr/\n/opt/\n"));
    QCOMPARE(file.write("/bin/\n"),
             QStringLiteral("/etc/digsig/xattr_control has changed since it "
                            "was read; it was not written."));
    QVERIFY(file.read());
    QCOMPARE(file.write("/bin/\n"), QString());
    QCOMPARE(TestSupport::readFile(path), QByteArray("/bin/\n"));
}

void XattrControlFileTest::templatesNamingNoFile_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("odd");
    QTest::newRow("absolute paths, blanks and empty lines")
        << QStringLiteral("//bin/dash\n \t/usr/ \n\n  \n") << QStringList();
    QTest::newRow("relative, home, blanks removed")
        << QStringLiteral("usr/bin/\n  ~/bin/x \n/opt/\n\tlib")
        << QStringList {"usr/bin/", "~/bin/x", "lib"};
}

void XattrControlFileTest::templatesNamingNoFile()
{
    QFETCH(QString, text);
    QFETCH(QStringList, odd);
    QCOMPARE(XattrControlFile::templatesNamingNoFile(text), odd);
}

DIGSIG_SANDBOX_TEST_MAIN(XattrControlFileTest)
#include "xattrcontrolfiletest.moc"
