#include "digsigsettings.h"
#include "digsigconfigmanager.h"
#include "testsupport.h"

#include <QFile>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}

QString invalidLine(const QString& line)
{
    return QStringLiteral("file %1 has invalid line: ").arg(settingsPath) + line;
}

QString invalidKey(const QString& key)
{
    return QStringLiteral("file %1 contains invalid key: ").arg(settingsPath) + key;
}

QString missing(const QString& key)
{
    return QStringLiteral("file %1 does not contain the required option ").arg(settingsPath) + key;
}

QString invalidValue(const QString& key, const QString& value)
{
    return key + QStringLiteral(" value \"") + value + QStringLiteral("\" is invalid");
}

const QByteArray validFile = "DIGSIG_ELF_MODE=1\n"
                             "DIGSIG_XATTR_MODE=2\n"
                             "DIGSIG_IGNORE_XATTR_KEYS=1\n"
                             "DIGSIG_IGNORE_GOST2001=0\n";

// The messages of a file that assigns none of the four options.
QStringList nothingAssigned()
{
    return {missing("DIGSIG_ELF_MODE"),
            missing("DIGSIG_XATTR_MODE"),
            missing("DIGSIG_IGNORE_XATTR_KEYS"),
            missing("DIGSIG_IGNORE_GOST2001"),
            invalidValue("DIGSIG_ELF_MODE", ""),
            invalidValue("DIGSIG_XATTR_MODE", ""),
            invalidValue("DIGSIG_IGNORE_XATTR_KEYS", ""),
            invalidValue("DIGSIG_IGNORE_GOST2001", "")};
}

} // namespace

class DigSigSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QFile::remove(sandboxed(settingsPath));
        QFile::remove(sandboxed(controlPath));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), QByteArray()));
    }

    void readsSettings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<int>("elfMode");
        QTest::addColumn<int>("xattrMode");
        QTest::addColumn<bool>("ignoreXattrKeys");
        QTest::addColumn<bool>("ignoreGost2001");

        QTest::newRow("valid") << validFile << QStringList() << int(On) << int(Debug) << true
                               << false;
        QTest::newRow("other values")
            << QByteArray("DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=1\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n")
            << QStringList() << int(Off) << int(On) << false << true;
        QTest::newRow("no final newline")
            << QByteArray("DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0")
            << QStringList() << int(Debug) << int(Off) << false << false;
        QTest::newRow("blanks, comments, surrounding white space")
            << QByteArray("# settings\n\n \t \n   # indented comment = 5\n"
                          "  DIGSIG_ELF_MODE=1 \t\n\tDIGSIG_XATTR_MODE=2\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=1   \nDIGSIG_IGNORE_GOST2001=0\n#\n")
            << QStringList() << int(On) << int(Debug) << true << false;
        QTest::newRow("carriage returns dropped")
            << QByteArray(validFile).replace("\n", "\r\n") << QStringList() << int(On) << int(Debug)
            << true << false;
        QTest::newRow("key twice keeps the last value")
            << QByteArray("DIGSIG_ELF_MODE=0\n") + validFile + "DIGSIG_ELF_MODE=2\n"
            << QStringList() << int(Debug) << int(Debug) << true << false;
        QTest::newRow("empty file")
            << QByteArray() << nothingAssigned() << int(Invalid) << int(Invalid) << false << false;
        QTest::newRow("comments only") << QByteArray("# nothing\n  # here\n\n") << nothingAssigned()
                                       << int(Invalid) << int(Invalid) << false << false;

        const QByteArray rest = "DIGSIG_XATTR_MODE=2\nDIGSIG_IGNORE_XATTR_KEYS=1\n"
                                "DIGSIG_IGNORE_GOST2001=0\n";
        const QStringList elfMissing {missing("DIGSIG_ELF_MODE"),
                                      invalidValue("DIGSIG_ELF_MODE", "")};
        QTest::newRow("spaces around equals sign")
            << QByteArray("DIGSIG_ELF_MODE = 1\n") + rest
            << QStringList {invalidLine("DIGSIG_ELF_MODE = 1")} + elfMissing << int(Invalid)
            << int(Debug) << true << false;
        QTest::newRow("comment after value")
            << QByteArray("DIGSIG_ELF_MODE=1 # on\n") + rest
            << QStringList {invalidLine("DIGSIG_ELF_MODE=1 # on")} + elfMissing << int(Invalid)
            << int(Debug) << true << false;
        QTest::newRow("lower-case key is an invalid line")
            << QByteArray("digsig_elf_mode=1\n") + rest
            << QStringList {invalidLine("digsig_elf_mode=1")} + elfMissing << int(Invalid)
            << int(Debug) << true << false;
        QTest::newRow("unknown key")
            << validFile + "FOO=1\n"
            << QStringList {invalidKey("FOO")} << int(On) << int(Debug) << true << false;
        QTest::newRow("placeholders in a line stay as written")
            << QByteArray("bad %2 %1 %3 %4 line\n") + validFile
            << QStringList {invalidLine("bad %2 %1 %3 %4 line")} << int(On) << int(Debug) << true
            << false;
        QTest::newRow("values compared as text")
            << QByteArray("DIGSIG_ELF_MODE=01\nDIGSIG_XATTR_MODE=3\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=2\nDIGSIG_IGNORE_GOST2001=10\n")
            << QStringList {invalidValue("DIGSIG_ELF_MODE", "01"),
                            invalidValue("DIGSIG_XATTR_MODE", "3"),
                            invalidValue("DIGSIG_IGNORE_XATTR_KEYS", "2"),
                            invalidValue("DIGSIG_IGNORE_GOST2001", "10")}
            << int(Invalid) << int(Invalid) << false << false;
        QTest::newRow("messages in reading order, then missing, then values")
            << QByteArray("X=1\nbad line\nDIGSIG_XATTR_MODE=9\nY=2\nDIGSIG_IGNORE_GOST2001=1\n")
            << QStringList {invalidKey("X"),
                            invalidLine("bad line"),
                            invalidKey("Y"),
                            missing("DIGSIG_ELF_MODE"),
                            missing("DIGSIG_IGNORE_XATTR_KEYS"),
                            invalidValue("DIGSIG_ELF_MODE", ""),
                            invalidValue("DIGSIG_XATTR_MODE", "9"),
                            invalidValue("DIGSIG_IGNORE_XATTR_KEYS", "")}
            << int(Invalid) << int(Invalid) << false << true;
    }

    void readsSettings()
    {
        QFETCH(QByteArray, content);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), content));

        const DigSigSettings settings(DigSigConfigManager::instance());
        QFETCH(QStringList, errors);
        QCOMPARE(settings.errors(), errors);
        QFETCH(int, elfMode);
        QCOMPARE(settings.elfMode(), elfMode);
        QFETCH(int, xattrMode);
        QCOMPARE(settings.xattrMode(), xattrMode);
        QFETCH(bool, ignoreXattrKeys);
        QCOMPARE(settings.ignoreXattrKeys(), ignoreXattrKeys);
        QFETCH(bool, ignoreGost2001);
        QCOMPARE(settings.ignoreGost2001(), ignoreGost2001);
        QCOMPARE(settings.isElfEnabled(), elfMode == On || elfMode == Debug);
        QCOMPARE(settings.isXattrEnabled(), xattrMode == On || xattrMode == Debug);
    }

    void missingSettingsFileGivesOneMessage()
    {
        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.errors(),
                 QStringList {QStringLiteral("Can't open file ") + settingsPath});
        QCOMPARE(settings.elfMode(), int(Invalid));
        QCOMPARE(settings.xattrMode(), int(Invalid));
        QVERIFY(!settings.ignoreXattrKeys());
        QVERIFY(!settings.ignoreGost2001());
    }

    void missingControlFileComesAfterSettingsMessages()
    {
        QVERIFY(QFile::remove(sandboxed(controlPath)));
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), validFile + "FOO=1\n"));

        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.errors(),
                 QStringList({invalidKey("FOO"),
                              QStringLiteral("file %1 can not be opened").arg(controlPath)}));
        QCOMPARE(settings.xattrControl(), QString());
        QCOMPARE(settings.elfMode(), int(On));
    }

    void bothFilesMissing()
    {
        QVERIFY(QFile::remove(sandboxed(controlPath)));
        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.errors(),
                 QStringList({QStringLiteral("Can't open file ") + settingsPath,
                              QStringLiteral("file %1 can not be opened").arg(controlPath)}));
    }

    void readsControlText_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text");

        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("kept unchanged") << QByteArray("//bin/dash\n  /usr/  \n\n/opt/")
                                        << QStringLiteral("//bin/dash\n  /usr/  \n\n/opt/");
        QTest::newRow("carriage return before line feed dropped")
            << QByteArray("//bin/dash\r\n/usr/\r\n") << QStringLiteral("//bin/dash\n/usr/\n");
        QTest::newRow("UTF-8") << QByteArray("/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/\n")
                               << QString::fromUtf8("/opt/прог/\n");
        QTest::newRow("stops at NUL")
            << QByteArray("//bin/dash\n/us\0r/\n", 19) << QStringLiteral("//bin/dash\n/us");
        QTest::newRow("100 000 bytes on one line")
            << QByteArray(100000, 'a') << QString(100000, QLatin1Char('a'));
    }

    void readsControlText()
    {
        QFETCH(QByteArray, content);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), validFile));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), content));

        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.errors(), QStringList());
        QFETCH(QString, text);
        QCOMPARE(settings.xattrControl(), text);
    }

    void copiesAreIndependent()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), validFile));
        DigSigSettings first(DigSigConfigManager::instance());
        const DigSigSettings copy = first;
        QVERIFY(QFile::remove(sandboxed(settingsPath)));
        first = DigSigSettings(DigSigConfigManager::instance());
        QCOMPARE(copy.elfMode(), int(On));
        QCOMPARE(copy.errors(), QStringList());
        QCOMPARE(first.elfMode(), int(Invalid));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigSettingsTest)
#include "digsigsettingstest.moc"
