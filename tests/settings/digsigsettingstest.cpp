// The settings file and the control file: read, written by a save, merged by a signing run.
#include "digsigsettings.h"
#include "atomicfile.h"
#include "digsigconfigmanager.h"
#include "digsigconstants.h"
#include "digsigelementdata.h"
#include "testsupport.h"
#include "xattrcontrolfile.h"

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QStringList allKeys {"DIGSIG_ELF_MODE", "DIGSIG_XATTR_MODE", "DIGSIG_IGNORE_XATTR_KEYS",
                           "DIGSIG_IGNORE_GOST2001"};
using TestSupport::sandboxPath;

// The settings file with the four values in the file's order, e.g. "2011".
QByteArray settingsFile(const char* values)
{
    QByteArray text;
    for (int i = 0; i < 4; ++i)
        text += allKeys[i].toUtf8() + '=' + values[i] + '\n';
    return text;
}

} // namespace

class DigSigSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row's files as the fuzz target takes them: the settings file, then byte 0x1e, then
    // the control file (empty without the byte); null: neither file is there.
    void reads_data()
    {
        QTest::addColumn<QByteArray>("files");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QStringList>("invalid");
        QTest::addColumn<bool>("isText");
        const auto row = [](const char* name, const QByteArray& files, const QStringList& errors,
                            const char* values, const QStringList& invalid, bool isText) {
            QTest::newRow(name) << files << errors << QString(values) << invalid << isText;
        };
        const auto problem = [](const QString& text) {
            return "file " + settingsPath + ' ' + text;
        };
        const auto invalid = [](int key, const char* value) {
            return allKeys[key] + " value \"" + value + "\" is invalid";
        };
        const QString noValue = QStringLiteral("does not contain the required option ");
        const QString badLine = QStringLiteral("has invalid line: ");
        row("byte order mark, CR, blanks, comments, key twice, no final newline; UTF-8",
            "\xef\xbb\xbf# settings\r\n\n \t \n  # x = 5\n DIGSIG_ELF_MODE=0 "
            "\t\nDIGSIG_ELF_MODE=1\r\n"
            "\tDIGSIG_XATTR_MODE=2\nDIGSIG_IGNORE_XATTR_KEYS=1 \nDIGSIG_IGNORE_GOST2001=0"
            "\x1e//bin/dash\n  /usr/  \n\n/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/",
            {}, "on debug keys", {}, true);
        const char withNul[]
            = "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=1\nFOO=1\n"
              "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n\x1e/a\r\n/us\0r/";
        row("other values, an unknown key invalidates no option; CR and NUL are not text",
            QByteArray(withNul, sizeof withNul - 1), {problem("contains invalid key: FOO")},
            "off on gost", {}, false);
        row("values compared as text; not UTF-8",
            "DIGSIG_ELF_MODE=01\nDIGSIG_XATTR_MODE=3\nDIGSIG_IGNORE_XATTR_KEYS=2\n"
            "DIGSIG_IGNORE_GOST2001=10\n\x1e/caf\xe9/",
            {invalid(0, "01"), invalid(1, "3"), invalid(2, "2"), invalid(3, "10")},
            "invalid invalid", allKeys, false);
        row("lines in reading order, then missing options, then values",
            "X=1\nDIGSIG_ELF_MODE = 1\nDIGSIG_XATTR_MODE=1 # on\ndigsig_elf_mode=1\n"
            "bad %2 %1 line\nDIGSIG_IGNORE_XATTR_KEYS=7\nDIGSIG_IGNORE_GOST2001=1\n",
            {problem("contains invalid key: X"), problem(badLine + "DIGSIG_ELF_MODE = 1"),
             problem(badLine + "DIGSIG_XATTR_MODE=1 # on"), problem(badLine + "digsig_elf_mode=1"),
             problem(badLine + "bad %2 %1 line"), problem(noValue + allKeys[0]),
             problem(noValue + allKeys[1]), invalid(0, ""), invalid(1, ""), invalid(2, "7")},
            "invalid invalid gost", allKeys.mid(0, 3), true);
        QStringList listed
            = QVector<QString>(DigSigSettings::listedProblemLimit, problem(badLine + "x")).toList();
        row("problems listed up to the limit", QByteArray("x\n").repeated(60),
            listed << problem("has 18 more problems that are not listed."), "invalid invalid",
            allKeys, true);
        const QByteArray valid = settingsFile("1210") + QByteArray(5000, 'x') + '\n';
        const QByteArray largest = valid
            + QByteArray(DigSigSettings::settingsFileSizeLimit - valid.size() - 1, '#') + '\n';
        row("largest file read; a quoted line cut", largest,
            {problem(badLine + QString(200, 'x') + " (truncated)")}, "on debug keys", {}, true);
        row("one byte more, not read", largest + '\n',
            {problem("is larger than 1048576 bytes, far larger than any settings file; it was "
                     "not read.")},
            "invalid invalid", allKeys, true);
        row("no files", QByteArray(),
            {"Can't open file " + settingsPath, "file " + controlPath + " can not be opened"},
            "invalid invalid", allKeys, true);
    }

    void reads()
    {
        QFETCH(QByteArray, files);
        const QByteArrayList parts = files.split('\x1e');
        const QByteArray settingsBytes = files.isNull() ? files : parts[0];
        const QByteArray control = files.isNull() ? files : parts.value(1, "");
        for (const auto& [path, content] :
             {std::pair(settingsPath, settingsBytes), {controlPath, control}}) {
            QFile::remove(sandboxPath(path));
            QVERIFY(content.isNull() || TestSupport::writeFile(sandboxPath(path), content));
        }

        const DigSigSettings settings(nullptr);
        QTEST(settings.errors(), "errors");
        const char* const modes[] = {"invalid", "on", "off", "debug"};
        QString values = QString(modes[settings.elfMode()]) + ' ' + modes[settings.xattrMode()];
        values += QString(settings.ignoreXattrKeys() ? " keys" : "")
            + (settings.ignoreGost2001() ? " gost" : "");
        QTEST(values, "values");
        QCOMPARE(settings.isElfEnabled(), values.startsWith("on") || values.startsWith("debug"));
        QTEST(settings.invalidOptions(), "invalid");
        QCOMPARE(settings.xattrControlBytes(), control);
        QTEST(settings.isXattrControlText(), "isText");
        // A file too large to read still has a fingerprint, so that a change to it is noticed.
        QCOMPARE(settings.settingsFingerprint(),
                 AtomicFile::currentFingerprint(sandboxPath(settingsPath)));
        QCOMPARE(settings.xattrControlFingerprint(),
                 AtomicFile::currentFingerprint(sandboxPath(controlPath)));
    }

    void save_data()
    {
        QTest::addColumn<int>("elfMode");
        QTest::addColumn<int>("xattrMode");
        QTest::addColumn<QString>("text");
        // The file the record keeps, and what becomes of the files before or after the read.
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("settings"); // as written; null: not written
        QTest::addColumn<QByteArray>("control"); // as written; null: not written
        QTest::addColumn<QStringList>("errors");
        const auto row
            = [](const char* name, int elf, int xattr, const QString& text, const char* setup,
                 const QByteArray& settings, const QByteArray& control, const QStringList& errors) {
                  QTest::newRow(name)
                      << elf << xattr << text << QString(setup) << settings << control << errors;
              };
        const QString changed = " has changed on disk since it was read; nothing was saved. Press "
                                "Refresh to see what it holds now, then make your changes again.";
        const QString a4094(4094, QLatin1Char('a'));
        const QString kept = QStringLiteral("  //bin/old \t");
        row("final line feed ends the last line; unedited blanks kept, new ones trimmed", Debug,
            Invalid, kept + "\n /srv/ \n\n \t\n", "", settingsFile("2010"),
            kept.toUtf8() + "\n/srv/\n\n\n", {});
        row("no final line feed, UTF-8, 4094 bytes fit once trimmed; a mode out of range is off",
            On, 42, QString::fromUtf8("//bin/dash\n/opt/прог/\n  ") + a4094 + "\t ", "",
            settingsFile("1010"),
            "//bin/dash\n/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/\n" + a4094.toUtf8() + '\n', {});
        row("the first line over the limit is named untrimmed", Off, Debug,
            " a" + a4094 + " \n" + a4094 + "bb", "", {}, {},
            {"Line  a" + a4094 + "  exceeds the size limit."});
        row("settings kept", On, Off, "/srv/", "keep settings", {}, "/srv/\n", {});
        row("control kept byte for byte, though not text", On, Off, "/srv/", "keep control",
            settingsFile("1010"), {}, {});
        row("kept settings changed, control removed", On, Off, "/srv/", "keep settings, changed",
            {}, {}, {settingsPath + changed, controlPath + changed});
        row("settings file cannot be replaced: nothing written", On, Off, "/srv/",
            "settings directory", {}, {},
            {"file " + settingsPath + " can not be saved",
             settingsPath + " is not a regular file; it was not written."});
        row("control file is a link: refused after the settings were written", On, Off, "/srv/",
            "control link", settingsFile("1010"), {},
            {"file " + controlPath + " can not be saved",
             controlPath + " is a symbolic link; it was not written."});
    }

    // The record carries the fingerprints of the files as read: a file changed since is never
    // overwritten, and afterwards the record describes the files as they are.
    void save()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, control);
        const QString settingsReal = sandboxPath(settingsPath);
        const QString controlReal = sandboxPath(controlPath);
        QDir(sandboxPath(QStringLiteral("/etc/digsig"))).removeRecursively();
        QVERIFY(TestSupport::writeFile(settingsReal, "# comment\nDIGSIG_ELF_MODE=1\nOTHER=5\n"));
        QVERIFY(TestSupport::writeFile(controlReal, "  //bin/old \t\n/caf\xe9/\n"));
        if (setup == "settings directory")
            QVERIFY(QFile::remove(settingsReal) && QDir().mkpath(settingsReal));
        if (setup == "control link")
            QVERIFY(QFile::remove(controlReal) && QFile::link(controlReal, controlReal));
        const DigSigSettings read(nullptr);
        DigSigElementData data;
        QFETCH(int, elfMode);
        QFETCH(int, xattrMode);
        QFETCH(QString, text);
        data.setElfMode(elfMode);
        data.setXattrMode(xattrMode);
        data.setIgnoreXattrKeys(true);
        data.setXattrControl(text);
        data.setSettingsFingerprint(read.settingsFingerprint());
        data.setXattrControlFingerprint(read.xattrControlFingerprint());
        data.setKeepSettings(setup.contains("keep settings"));
        data.setKeepXattrControl(setup.contains("keep control"));
        if (setup.contains("changed"))
            QVERIFY(TestSupport::writeFile(settingsReal, "# package\n")
                    && QFile::remove(controlReal));
        const QByteArray settingsBefore = TestSupport::readFile(settingsReal);
        const QByteArray controlBefore = TestSupport::readFile(controlReal);

        QTEST(DigSigConfigManager::instance()->save(data), "errors");
        QCOMPARE(TestSupport::readFile(settingsReal),
                 settings.isNull() ? settingsBefore : settings);
        QCOMPARE(TestSupport::readFile(controlReal), control.isNull() ? controlBefore : control);
        const auto record = [](const QByteArray& written, const QByteArray& read) {
            return written.isNull() ? read : AtomicFile::fingerprint(written);
        };
        QCOMPARE(data.settingsFingerprint(), record(settings, read.settingsFingerprint()));
        QCOMPARE(data.xattrControlFingerprint(), record(control, read.xattrControlFingerprint()));
        // An atomic save leaves nothing beside the files, whatever the outcome.
        const auto all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(QFileInfo(settingsReal).path()).entryList(all).size(),
                 setup.contains("changed") ? 1 : 2);
    }

    void merged_data()
    {
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QByteArrayList>("entries");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QByteArrayList>("tooLong");
        const QByteArray limit(DigSig::controlLineLimit - 1, 'x');
        QTest::newRow("blanks, empty lines, order, duplicates")
            << QByteArray(" /usr/bin/ \n\n/usr/bin/\n")
            << QByteArrayList {XattrControlFile::entry("/usr/lib/x", false), "/usr/bin/"}
            << QByteArray("//usr/lib/x\n/usr/bin/\n") << QByteArrayList();
        QTest::newRow("bytes that are not UTF-8 and a NUL are kept")
            << QByteArray("/caf\xe9/\n/a\0b/\n", 13)
            << QByteArrayList {XattrControlFile::entry("/new\xff", true)}
            << QByteArray("/a\0b/\n/caf\xe9/\n/new\xff/\n", 20) << QByteArrayList();
        QTest::newRow("line limit, also for lines already there")
            << QByteArray(limit + "y\n") << QByteArrayList {limit} << QByteArray(limit + '\n')
            << QByteArrayList {limit + 'y'};
    }

    // How a signing run adds its entries to the control file.
    void merged()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QByteArrayList, entries);
        QByteArrayList left;
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

DIGSIG_SANDBOX_TEST_MAIN(DigSigSettingsTest)
#include "digsigsettingstest.moc"
