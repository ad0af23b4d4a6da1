#include "digsigsettings.h"
#include "atomicfile.h"
#include "testsupport.h"

#include <QFile>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QStringList allKeys {"DIGSIG_ELF_MODE", "DIGSIG_XATTR_MODE", "DIGSIG_IGNORE_XATTR_KEYS",
                           "DIGSIG_IGNORE_GOST2001"};
const QByteArray validFile = "DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=2\n"
                             "DIGSIG_IGNORE_XATTR_KEYS=1\nDIGSIG_IGNORE_GOST2001=0\n";

// One problem of the settings file as the reader words it.
QString problem(const QString& kind, const QString& text)
{
    return QStringLiteral("file ") + settingsPath + QLatin1Char(' ') + kind + text;
}

QString invalidValue(const QString& key, const QString& value)
{
    return key + QStringLiteral(" value \"") + value + QStringLiteral("\" is invalid");
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
            QByteArray(withNul, sizeof withNul - 1), {problem("contains invalid key: ", "FOO")},
            "off on gost", {}, false);
        row("values compared as text; not UTF-8",
            "DIGSIG_ELF_MODE=01\nDIGSIG_XATTR_MODE=3\nDIGSIG_IGNORE_XATTR_KEYS=2\n"
            "DIGSIG_IGNORE_GOST2001=10\n\x1e/caf\xe9/",
            {invalidValue(allKeys[0], "01"), invalidValue(allKeys[1], "3"),
             invalidValue(allKeys[2], "2"), invalidValue(allKeys[3], "10")},
            "invalid invalid", allKeys, false);
        row("lines in reading order, then missing options, then values",
            "X=1\nDIGSIG_ELF_MODE = 1\nDIGSIG_XATTR_MODE=1 # on\ndigsig_elf_mode=1\n"
            "bad %2 %1 line\nDIGSIG_IGNORE_XATTR_KEYS=7\nDIGSIG_IGNORE_GOST2001=1\n",
            {problem("contains invalid key: ", "X"), problem(badLine, "DIGSIG_ELF_MODE = 1"),
             problem(badLine, "DIGSIG_XATTR_MODE=1 # on"), problem(badLine, "digsig_elf_mode=1"),
             problem(badLine, "bad %2 %1 line"), problem(noValue, allKeys[0]),
             problem(noValue, allKeys[1]), invalidValue(allKeys[0], ""),
             invalidValue(allKeys[1], ""), invalidValue(allKeys[2], "7")},
            "invalid invalid gost", allKeys.mid(0, 3), true);
        QStringList listed;
        for (int i = 0; i < DigSigSettings::listedProblemLimit; ++i)
            listed << problem(badLine, "x");
        row("problems listed up to the limit", QByteArray("x\n").repeated(60),
            listed << problem("has 18 more problems that are not listed.", ""), "invalid invalid",
            allKeys, true);
        row("quoted line cut", validFile + QByteArray(5000, 'x') + '\n',
            {problem(badLine, QString(200, 'x') + " (truncated)")}, "on debug keys", {}, true);
        const int limit = DigSigSettings::settingsFileSizeLimit;
        const QByteArray largest = validFile + QByteArray(limit - validFile.size() - 1, '#') + '\n';
        row("largest file read", largest, {}, "on debug keys", {}, true);
        row("one byte more, not read", largest + '\n',
            {problem("is larger than 1048576 bytes, far larger than any settings file; it was "
                     "not read.",
                     "")},
            "invalid invalid", allKeys, true);
        row("no files", QByteArray(),
            {"Can't open file " + settingsPath, "file " + controlPath + " can not be opened"},
            "invalid invalid", allKeys, true);
    }

    void reads()
    {
        QFETCH(QByteArray, files);
        const int separator = files.indexOf('\x1e');
        const QByteArray settingsFile = separator < 0 ? files : files.left(separator);
        const QByteArray control = files.isNull() ? QByteArray()
            : separator < 0                       ? QByteArray("")
                                                  : files.mid(separator + 1);
        for (const auto& [path, content] :
             {std::pair(settingsPath, settingsFile), {controlPath, control}}) {
            QFile::remove(TestSupport::sandboxPath(path));
            QVERIFY(content.isNull()
                    || TestSupport::writeFile(TestSupport::sandboxPath(path), content));
        }

        const DigSigSettings settings(nullptr);
        QTEST(settings.errors(), "errors");
        const char* const modes[] = {"invalid", "on", "off", "debug"};
        QString values = QString(modes[settings.elfMode()]) + ' ' + modes[settings.xattrMode()];
        if (settings.ignoreXattrKeys())
            values += " keys";
        if (settings.ignoreGost2001())
            values += " gost";
        QTEST(values, "values");
        QCOMPARE(settings.isElfEnabled(), values.startsWith("on") || values.startsWith("debug"));
        QTEST(settings.invalidOptions(), "invalid");
        QCOMPARE(settings.xattrControlBytes(), control);
        QTEST(settings.isXattrControlText(), "isText");
        // A file too large to read still has a fingerprint, so that a change to it is noticed.
        const auto fingerprint = [](const QByteArray& content) {
            return content.isNull() ? AtomicFile::absentFingerprint()
                                    : AtomicFile::fingerprint(content);
        };
        QCOMPARE(settings.settingsFingerprint(), fingerprint(settingsFile));
        QCOMPARE(settings.xattrControlFingerprint(), fingerprint(control));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigSettingsTest)
#include "digsigsettingstest.moc"
