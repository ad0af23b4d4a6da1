#include "digsigconfigmanager.h"
#include "atomicfile.h"
#include "digsigelementdata.h"
#include "digsigsettings.h"
#include "testsupport.h"

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QByteArray oldSettings = "# the administrator's comment\nDIGSIG_ELF_MODE=1\nOTHER_KEY=5\n";
const QByteArray oldControl = "  //bin/old \t\n/usr/old/\n";
const QStringList bothFiles {"digsig_initramfs.conf", "xattr_control"};

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxPath(path);
}

// The settings file as written, with the four values in the file's order, e.g. "2011".
QByteArray settingsFile(const char* values)
{
    const char* const keys[] = {"DIGSIG_ELF_MODE", "DIGSIG_XATTR_MODE", "DIGSIG_IGNORE_XATTR_KEYS",
                                "DIGSIG_IGNORE_GOST2001"};
    QByteArray text;
    for (int i = 0; i < 4; ++i)
        text += QByteArray(keys[i]) + '=' + values[i] + '\n';
    return text;
}

void fill(DigSigElementData& data, int elfMode, int xattrMode, bool flags, const QString& control)
{
    data.setElfMode(elfMode);
    data.setXattrMode(xattrMode);
    data.setIgnoreXattrKeys(flags);
    data.setIgnoreGost2001(!flags);
    data.setXattrControl(control);
}

void placeOldFiles(const QByteArray& control = oldControl)
{
    QDir(sandboxed(QStringLiteral("/etc/digsig"))).removeRecursively();
    QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), oldSettings));
    QVERIFY(TestSupport::writeFile(sandboxed(controlPath), control));
}

// An atomic save leaves nothing beside the two files, whatever the outcome.
QStringList digsigDirectoryEntries()
{
    return QDir(sandboxed(QStringLiteral("/etc/digsig")))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QString changedOnDisk(const QString& path)
{
    return path
        + " has changed on disk since it was read; nothing was saved. Press Refresh to see what "
          "it holds now, then make your changes again.";
}

} // namespace

class DigSigConfigManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void save_data()
    {
        QTest::addColumn<int>("elfMode");
        QTest::addColumn<int>("xattrMode");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<QString>("error"); // empty: saved
        const auto row
            = [](const char* name, int elf, int xattr, const QString& text,
                 const QByteArray& settings, const QByteArray& control, const QString& error) {
                  QTest::newRow(name) << elf << xattr << text << settings << control << error;
              };
        const QString a4094(4094, QLatin1Char('a'));
        const QString twoByte4095 = QString::fromUtf8("ж").repeated(2047) + QLatin1Char('a');
        const QString kept = QStringLiteral("  //bin/old \t");
        row("final line feed ends the last line; unedited blanks kept, new ones trimmed", Debug,
            Invalid, kept + "\n /srv/ \n\n \t\n", settingsFile("2010"),
            kept.toUtf8() + "\n/srv/\n\n\n", {});
        row("no final line feed, UTF-8; a mode out of range is off", On, 42,
            QString::fromUtf8("//bin/dash\n/opt/прог/"), settingsFile("1010"),
            "//bin/dash\n/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/\n", {});
        row("4094 bytes fit, once trimmed", Off, Debug, "  " + a4094 + "\t ", settingsFile("0210"),
            a4094.toUtf8() + '\n', {});
        row("4095 bytes in 2048 characters do not fit", Off, Debug,
            "/usr/\n" + twoByte4095 + "\n/opt/", oldSettings, oldControl,
            "Line " + twoByte4095 + " exceeds the size limit.");
        row("the first line over the limit is named untrimmed", Off, Debug,
            " a" + a4094 + " \n" + a4094 + "bb", oldSettings, oldControl,
            "Line  a" + a4094 + "  exceeds the size limit.");
    }

    // What was written reads back cleanly, and saving what was read leaves the files as they are.
    void save()
    {
        QFETCH(int, elfMode);
        QFETCH(int, xattrMode);
        QFETCH(QString, text);
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, control);
        QFETCH(QString, error);
        placeOldFiles();
        DigSigElementData data;
        fill(data, elfMode, xattrMode, true, text);
        QCOMPARE(DigSigConfigManager::instance()->save(data),
                 error.isEmpty() ? QStringList() : QStringList {error});
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), settings);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), control);
        QCOMPARE(digsigDirectoryEntries(), bothFiles);
        if (!error.isEmpty())
            return;
        const DigSigSettings read(nullptr);
        QCOMPARE(read.errors(), QStringList());
        DigSigElementData again;
        fill(again, read.elfMode(), read.xattrMode(), read.ignoreXattrKeys(), read.xattrControl());
        QCOMPARE(DigSigConfigManager::instance()->save(again), QStringList());
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), settings);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), control);
    }

    void keepsAndRefuses_data()
    {
        QTest::addColumn<bool>("keepSettings");
        QTest::addColumn<bool>("keepControl");
        QTest::addColumn<QByteArray>("settingsNow"); // null: as read
        QTest::addColumn<QByteArray>("controlNow"); // null: as read, "-": removed
        QTest::addColumn<QStringList>("changed");
        const QByteArray asRead;
        QTest::newRow("both written") << false << false << asRead << asRead << QStringList();
        QTest::newRow("settings kept") << true << false << asRead << asRead << QStringList();
        QTest::newRow("control kept byte for byte, though not text")
            << false << true << asRead << asRead << QStringList();
        QTest::newRow("control merged into meanwhile")
            << false << false << asRead << QByteArray("/opt/\n") << QStringList {controlPath};
        QTest::newRow("kept settings changed, control removed")
            << true << false << QByteArray("# package\n") << QByteArray("-")
            << QStringList {settingsPath, controlPath};
    }

    // The record carries the fingerprints of the files as the widget read them: a file changed
    // since is never overwritten, and a kept file is not written at all.
    void keepsAndRefuses()
    {
        QFETCH(QByteArray, settingsNow);
        QFETCH(QByteArray, controlNow);
        QFETCH(QStringList, changed);
        placeOldFiles(QByteArray("/caf\xe9/\n/a\0b/\r\n", 14));
        const DigSigSettings read(nullptr);
        DigSigElementData data;
        fill(data, On, Off, false, QStringLiteral("/srv/"));
        data.setSettingsFingerprint(read.settingsFingerprint());
        data.setXattrControlFingerprint(read.xattrControlFingerprint());
        QFETCH(bool, keepSettings);
        QFETCH(bool, keepControl);
        data.setKeepSettings(keepSettings);
        data.setKeepXattrControl(keepControl);
        if (!settingsNow.isNull())
            QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsNow));
        if (controlNow == "-")
            QVERIFY(QFile::remove(sandboxed(controlPath)));
        else if (!controlNow.isNull())
            QVERIFY(TestSupport::writeFile(sandboxed(controlPath), controlNow));
        const QByteArray settingsBefore = TestSupport::readFile(sandboxed(settingsPath));
        const QByteArray controlBefore = TestSupport::readFile(sandboxed(controlPath));

        QStringList errors;
        for (const QString& path : changed)
            errors << changedOnDisk(path);
        QCOMPARE(DigSigConfigManager::instance()->save(data), errors);
        const bool saved = changed.isEmpty();
        const QByteArray settings = TestSupport::readFile(sandboxed(settingsPath));
        const QByteArray control = TestSupport::readFile(sandboxed(controlPath));
        QCOMPARE(settings, saved && !keepSettings ? settingsFile("1001") : settingsBefore);
        QCOMPARE(control, saved && !keepControl ? QByteArray("/srv/\n") : controlBefore);
        // The record now describes the files as written, or still the files as read.
        QCOMPARE(data.settingsFingerprint(),
                 saved ? AtomicFile::fingerprint(settings) : read.settingsFingerprint());
        QCOMPARE(data.xattrControlFingerprint(),
                 saved ? AtomicFile::fingerprint(control) : read.xattrControlFingerprint());
    }

    // Nothing is written after a file that could not be replaced, and the record keeps what it
    // knew of both.
    void failedSaveIsReported()
    {
        placeOldFiles();
        QVERIFY(QFile::remove(sandboxed(settingsPath)));
        QVERIFY(QDir().mkpath(sandboxed(settingsPath)));
        DigSigElementData data;
        fill(data, Off, Debug, true, QStringLiteral("/usr/"));
        QCOMPARE(DigSigConfigManager::instance()->save(data),
                 QStringList({"file " + settingsPath + " can not be saved",
                              settingsPath + " is not a regular file; it was not written."}));
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), oldControl);
        QCOMPARE(data.settingsFingerprint(), QByteArray());
        QCOMPARE(data.xattrControlFingerprint(), QByteArray());
        QCOMPARE(digsigDirectoryEntries(), bothFiles);
    }

    void initramfsWarning_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("warning");
        QTest::newRow("ldconfig") << "ldconfig: input file /lib/x.so not found." << true;
        QTest::newRow("any case, tabs") << "LDCONFIG:  INPUT\tFILE /lib/a.so NOT FOUND" << true;
        QTest::newRow("on a later line") << "W: first\nCryptSetup: warning: second\n" << true;
        QTest::newRow("text before it on the line")
            << "note ldconfig: input file a not found" << false;
    }

    void initramfsWarning()
    {
        QFETCH(QString, text);
        QTEST(DigSigConfigManager::isInitramfsWarning(text), "warning");
    }
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigConfigManagerTest)
#include "digsigconfigmanagertest.moc"
