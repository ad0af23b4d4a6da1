#include "digsigsettings.h"
#include "atomicfile.h"
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

    void invalidOptions_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("invalid");

        const QStringList all {"DIGSIG_ELF_MODE", "DIGSIG_XATTR_MODE", "DIGSIG_IGNORE_XATTR_KEYS",
                               "DIGSIG_IGNORE_GOST2001"};
        QTest::newRow("valid, with an unknown key") << validFile + "FOO=1\n" << QStringList();
        QTest::newRow("flag missing") << validFile.left(validFile.lastIndexOf("DIGSIG_IGNORE_G"))
                                      << QStringList {"DIGSIG_IGNORE_GOST2001"};
        QTest::newRow("mode and flag out of range")
            << QByteArray("DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=3\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=2\nDIGSIG_IGNORE_GOST2001=0\n")
            << QStringList {"DIGSIG_XATTR_MODE", "DIGSIG_IGNORE_XATTR_KEYS"};
        QTest::newRow("empty") << QByteArray() << all;
        QTest::newRow("too large to read")
            << QByteArray(DigSigSettings::settingsFileSizeLimit + 1, '#') << all;
    }

    void invalidOptions()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, invalid);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), content));
        QCOMPARE(DigSigSettings(DigSigConfigManager::instance()).invalidOptions(), invalid);
        QVERIFY(QFile::remove(sandboxed(settingsPath)));
        QCOMPARE(DigSigSettings(DigSigConfigManager::instance()).invalidOptions().size(), 4);
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

        QTest::addColumn<bool>("isText");

        QTest::newRow("empty") << QByteArray() << QString() << true;
        QTest::newRow("kept unchanged") << QByteArray("//bin/dash\n  /usr/  \n\n/opt/")
                                        << QStringLiteral("//bin/dash\n  /usr/  \n\n/opt/") << true;
        QTest::newRow("carriage return before line feed dropped")
            << QByteArray("//bin/dash\r\n/usr/\r\n") << QStringLiteral("//bin/dash\n/usr/\n")
            << false;
        QTest::newRow("UTF-8") << QByteArray("/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/\n")
                               << QString::fromUtf8("/opt/прог/\n") << true;
        QTest::newRow("not UTF-8")
            << QByteArray("/caf\xe9/\n") << QString::fromUtf8("/caf\ufffd/\n") << false;
        QTest::newRow("stops at NUL") << QByteArray("//bin/dash\n/us\0r/\n", 19)
                                      << QStringLiteral("//bin/dash\n/us") << false;
        QTest::newRow("100 000 bytes on one line")
            << QByteArray(100000, 'a') << QString(100000, QLatin1Char('a')) << true;
    }

    void readsControlText()
    {
        QFETCH(QByteArray, content);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), validFile));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), content));

        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.errors(), QStringList());
        QFETCH(QString, text);
        QFETCH(bool, isText);
        QCOMPARE(settings.xattrControl(), text);
        QCOMPARE(settings.xattrControlBytes(), content);
        QCOMPARE(settings.isXattrControlText(), isText);
        QCOMPARE(settings.xattrControlFingerprint(), AtomicFile::fingerprint(content));
    }

    void badInputIsBounded_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("errors");

        const int limit = DigSigSettings::settingsFileSizeLimit;
        QStringList many;
        for (int i = 0; i < DigSigSettings::listedProblemLimit; ++i)
            many << invalidLine(QStringLiteral("x"));
        many << QStringLiteral("file %1 has %2 more problems that are not listed.")
                    .arg(settingsPath)
                    .arg(100000 - DigSigSettings::listedProblemLimit + 8);
        QTest::newRow("many invalid lines") << QByteArray("x\n").repeated(100000) << many;
        const QString cut = QString(DigSigSettings::quotedTextLimit, QLatin1Char('x'))
            + QStringLiteral(" (truncated)");
        QTest::newRow("long line cut") << validFile + QByteArray(5000, 'x') + '\n'
                                       << QStringList {invalidLine(cut)};
        QTest::newRow("long key cut")
            << validFile + QByteArray(300, 'X') + "=1\n"
            << QStringList {invalidKey(QString(cut).replace(QLatin1Char('x'), QLatin1Char('X')))};
        QTest::newRow("long value cut")
            << QByteArray("DIGSIG_ELF_MODE=") + QByteArray(300, '7') + "\n" + validFile.mid(18)
            << QStringList {invalidValue("DIGSIG_ELF_MODE",
                                         QString(cut).replace(QLatin1Char('x'), QLatin1Char('7')))};
        QTest::newRow("as large as a settings file may be")
            << validFile + QByteArray(limit - validFile.size() - 1, '#') + '\n'
            << QStringList();
        QTest::newRow("far larger than any settings file")
            << validFile + QByteArray(limit - validFile.size(), '#') + '\n'
            << QStringList {QStringLiteral("file %1 is larger than %2 bytes, far larger than any "
                                           "settings file; it was not read.")
                                .arg(settingsPath)
                                .arg(limit)};
    }

    // A settings file of short lines by the million must not make a million messages, and one
    // far too large is not parsed at all; it is still recognised when it changes.
    void badInputIsBounded()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, errors);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), content));
        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.errors(), errors);
        QCOMPARE(settings.settingsFingerprint(), AtomicFile::fingerprint(content));
    }

    void fingerprintsOfMissingFiles()
    {
        QVERIFY(QFile::remove(sandboxed(controlPath)));
        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.settingsFingerprint(), AtomicFile::absentFingerprint());
        QCOMPARE(settings.xattrControlFingerprint(), AtomicFile::absentFingerprint());
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
