#include "elffile.h"
#include "bsignstandin.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QtTest>

class ElfFileTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;

private Q_SLOTS:
    void initTestCase()
    {
        const QByteArray elf = BsignStandIn::elfBytes();
        const QString root = _dir.path() + QLatin1Char('/');
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("program"), elf));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("lib.so.1"), elf));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("module.o"), elf));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("module.O"), elf));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("module.o.bak"), elf));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("magic-only"),
                                       QByteArray("\x7f"
                                                  "ELF")));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("three"),
                                       QByteArray("\x7f"
                                                  "EL")));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("empty"), QByteArray()));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("script"), "#!/bin/sh\n"));
        QVERIFY(TestSupport::writeFile(root + QStringLiteral("lowercase"),
                                       "\x7f"
                                       "elf and more"));
        QVERIFY(QDir(_dir.path()).mkdir(QStringLiteral("folder")));
        QVERIFY(QFile::link(root + QStringLiteral("program"), root + QStringLiteral("link")));
        QVERIFY(QFile::link(root + QStringLiteral("nowhere"), root + QStringLiteral("dangling")));
    }

    void isElfFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("expected");
        QTest::newRow("ELF program") << "program" << true;
        QTest::newRow("shared library") << "lib.so.1" << true;
        QTest::newRow("object file") << "module.o" << false;
        QTest::newRow("suffix O in capitals") << "module.O" << true;
        QTest::newRow("o not the last suffix") << "module.o.bak" << true;
        QTest::newRow("magic only") << "magic-only" << true;
        QTest::newRow("3 bytes") << "three" << false;
        QTest::newRow("empty") << "empty" << false;
        QTest::newRow("script") << "script" << false;
        QTest::newRow("magic in lower case") << "lowercase" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("link to ELF program") << "link" << true;
        QTest::newRow("dangling link") << "dangling" << false;
        QTest::newRow("missing") << "missing" << false;
    }

    void isElfFile()
    {
        QFETCH(QString, name);
        QFETCH(bool, expected);
        const QString path = _dir.filePath(name);
        QCOMPARE(::isElfFile(QFileInfo(path)), expected);
        QCOMPARE(::isElfFile(path), expected);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(ElfFileTest)
#include "elffiletest.moc"
