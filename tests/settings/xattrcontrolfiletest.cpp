#include "xattrcontrolfile.h"
#include "digsigconstants.h"
#include "testsupport.h"

class XattrControlFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void merged_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QList<QByteArray>>("entries");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QList<QByteArray>>("tooLong");
        const QByteArray limit(DigSig::controlLineLimit - 1, 'x');
        QTest::newRow("blanks, empty lines, order, duplicates")
            << QByteArray(" /usr/bin/ \n\n/usr/bin/\n")
            << QList<QByteArray> {XattrControlFile::entry("/usr/lib/x", false), "/usr/bin/"}
            << QByteArray("//usr/lib/x\n/usr/bin/\n") << QList<QByteArray>();
        QTest::newRow("bytes that are not UTF-8 and a NUL are kept")
            << QByteArray("/caf\xe9/\n/a\0b/\n", 13)
            << QList<QByteArray> {XattrControlFile::entry("/new\xff", true)}
            << QByteArray("/a\0b/\n/caf\xe9/\n/new\xff/\n", 20) << QList<QByteArray>();
        QTest::newRow("line limit, also for lines already there")
            << QByteArray(limit + "y\n") << QList<QByteArray> {limit} << QByteArray(limit + '\n')
            << QList<QByteArray> {limit + 'y'};
    }

    void merged()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QList<QByteArray>, entries);
        QList<QByteArray> left;
        QTEST(XattrControlFile::merged(existing, entries, &left), "expected");
        QTEST(left, "tooLong");
    }

    void templatesNamingNoFile()
    {
        QCOMPARE(XattrControlFile::templatesNamingNoFile(
                     QStringLiteral("//bin/dash\nusr/bin/\n \t/usr/ \n\n  \n  ~/bin/x \n\tlib")),
                 QStringList({"usr/bin/", "~/bin/x", "lib"}));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(XattrControlFileTest)
#include "xattrcontrolfiletest.moc"
