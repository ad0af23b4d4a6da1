#include "digsigconfigmanager.h"
#include "atomicfile.h"
#include "digsigelementdata.h"
#include "digsigsettings.h"
#include "testsupport.h"

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QByteArray oldSettings = "# the administrator's comment\nDIGSIG_ELF_MODE=1\nOTHER_KEY=5\n";
const QByteArray oldControl = "  //bin/old \t\n/caf\xe9/\n";

using TestSupport::sandboxPath;

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

// An atomic save leaves nothing beside the two files, whatever the outcome.
QStringList strayFiles()
{
    QStringList entries
        = QDir(sandboxPath(QStringLiteral("/etc/digsig")))
              .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    entries.removeOne(QStringLiteral("digsig_initramfs.conf"));
    entries.removeOne(QStringLiteral("xattr_control"));
    return entries;
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
        QTest::addColumn<QString>("keep"); // the file the record keeps
        QTest::addColumn<QString>("setup"); // what becomes of the files before or after the read
        QTest::addColumn<QByteArray>("settings"); // as written; null: not written
        QTest::addColumn<QByteArray>("control"); // as written; null: not written
        QTest::addColumn<QStringList>("errors");
        const auto row = [](const char* name, int elf, int xattr, const QString& text,
                            const char* keep, const char* setup, const QByteArray& settings,
                            const QByteArray& control, const QStringList& errors) {
            QTest::newRow(name) << elf << xattr << text << QString(keep) << QString(setup)
                                << settings << control << errors;
        };
        const QString a4094(4094, QLatin1Char('a'));
        const QString twoByte4095 = QString::fromUtf8("ж").repeated(2047) + QLatin1Char('a');
        const QString kept = QStringLiteral("  //bin/old \t");
        row("final line feed ends the last line; unedited blanks kept, new ones trimmed", Debug,
            Invalid, kept + "\n /srv/ \n\n \t\n", "", "", settingsFile("2010"),
            kept.toUtf8() + "\n/srv/\n\n\n", {});
        row("no final line feed, UTF-8; a mode out of range is off", On, 42,
            QString::fromUtf8("//bin/dash\n/opt/прог/"), "", "", settingsFile("1010"),
            "//bin/dash\n/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/\n", {});
        row("4094 bytes fit, once trimmed", Off, Debug, "  " + a4094 + "\t ", "", "",
            settingsFile("0210"), a4094.toUtf8() + '\n', {});
        row("4095 bytes in 2048 characters do not fit", Off, Debug,
            "/usr/\n" + twoByte4095 + "\n/opt/", "", "", {}, {},
            {"Line " + twoByte4095 + " exceeds the size limit."});
        row("the first line over the limit is named untrimmed", Off, Debug,
            " a" + a4094 + " \n" + a4094 + "bb", "", "", {}, {},
            {"Line  a" + a4094 + "  exceeds the size limit."});
        row("settings kept", On, Off, "/srv/", "settings", "", {}, "/srv/\n", {});
        row("control kept byte for byte, though not text", On, Off, "/srv/", "control", "",
            settingsFile("1010"), {}, {});
        row("control merged into meanwhile", On, Off, "/srv/", "", "control changed", {}, {},
            {changedOnDisk(controlPath)});
        row("kept settings changed, control removed", On, Off, "/srv/", "settings",
            "settings changed, control removed", {}, {},
            {changedOnDisk(settingsPath), changedOnDisk(controlPath)});
        row("settings file cannot be replaced: nothing written", On, Off, "/srv/", "",
            "settings directory", {}, {},
            {"file " + settingsPath + " can not be saved",
             settingsPath + " is not a regular file; it was not written."});
        row("control file is a link: refused after the settings were written", On, Off, "/srv/", "",
            "control link", settingsFile("1010"), {},
            {"file " + controlPath + " can not be saved",
             controlPath + " is a symbolic link; it was not written."});
    }

    // The record carries the fingerprints of the files as read: a file changed since is never
    // overwritten, and afterwards the record describes the files as they are.
    void save()
    {
        QFETCH(int, elfMode);
        QFETCH(int, xattrMode);
        QFETCH(QString, text);
        QFETCH(QString, keep);
        QFETCH(QString, setup);
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, control);
        const QString settingsReal = sandboxPath(settingsPath);
        const QString controlReal = sandboxPath(controlPath);
        QDir(sandboxPath(QStringLiteral("/etc/digsig"))).removeRecursively();
        QVERIFY(TestSupport::writeFile(settingsReal, oldSettings));
        QVERIFY(TestSupport::writeFile(controlReal, oldControl));
        if (setup == "settings directory")
            QVERIFY(QFile::remove(settingsReal) && QDir().mkpath(settingsReal));
        if (setup == "control link")
            QVERIFY(QFile::remove(controlReal) && QFile::link(controlReal, controlReal));
        const DigSigSettings read(nullptr);
        DigSigElementData data;
        data.setElfMode(elfMode);
        data.setXattrMode(xattrMode);
        data.setIgnoreXattrKeys(true);
        data.setXattrControl(text);
        data.setSettingsFingerprint(read.settingsFingerprint());
        data.setXattrControlFingerprint(read.xattrControlFingerprint());
        data.setKeepSettings(keep == "settings");
        data.setKeepXattrControl(keep == "control");
        if (setup.contains("settings changed"))
            QVERIFY(TestSupport::writeFile(settingsReal, "# package\n"));
        if (setup.contains("control changed"))
            QVERIFY(TestSupport::writeFile(controlReal, "/opt/\n"));
        if (setup.contains("control removed"))
            QVERIFY(QFile::remove(controlReal));
        const QByteArray settingsBefore = TestSupport::readFile(settingsReal);
        const QByteArray controlBefore = TestSupport::readFile(controlReal);

        QTEST(DigSigConfigManager::instance()->save(data), "errors");
        const bool settingsWritten = !settings.isNull();
        const bool controlWritten = !control.isNull();
        QCOMPARE(TestSupport::readFile(settingsReal), settingsWritten ? settings : settingsBefore);
        QCOMPARE(TestSupport::readFile(controlReal), controlWritten ? control : controlBefore);
        QCOMPARE(data.settingsFingerprint(),
                 settingsWritten ? AtomicFile::fingerprint(settings) : read.settingsFingerprint());
        QCOMPARE(data.xattrControlFingerprint(),
                 controlWritten ? AtomicFile::fingerprint(control)
                                : read.xattrControlFingerprint());
        QCOMPARE(strayFiles(), QStringList());
    }

    void initramfsWarning_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("warning");
        QTest::newRow("any case, tabs") << "LDCONFIG:  INPUT\tFILE /lib/a.so NOT FOUND" << true;
        QTest::newRow("on a later line") << "W: first\nCryptSetup: warning: second\n" << true;
        QTest::newRow("text before it") << "note ldconfig: input file a not found" << false;
    }

    void initramfsWarning()
    {
        QFETCH(QString, text);
        QTEST(DigSigConfigManager::isInitramfsWarning(text), "warning");
    }
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigConfigManagerTest)
#include "digsigconfigmanagertest.moc"
