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

// Writes the file, or removes it for a null content.
bool place(const QString& path, const QByteArray& content)
{
    const QString real = TestSupport::sandboxPath(path);
    QFile::remove(real);
    return content.isNull() || TestSupport::writeFile(real, content);
}

QByteArray fingerprintOf(const QByteArray& content)
{
    return content.isNull() ? AtomicFile::absentFingerprint() : AtomicFile::fingerprint(content);
}

QString modeName(int mode)
{
    static const char* const names[] = {"invalid", "on", "off", "debug"};
    return QString::fromLatin1(names[mode]);
}

} // namespace

class DigSigSettingsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsSettings_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QStringList>("invalid");
        const auto row = [](const char* name, const QByteArray& content, const QStringList& errors,
                            const char* values, const QStringList& invalid) {
            QTest::newRow(name) << content << errors << QString::fromLatin1(values) << invalid;
        };
        const QString noValue = QStringLiteral("does not contain the required option ");
        const QString badLine = QStringLiteral("has invalid line: ");
        row("byte order mark, CR, blanks, comments, key twice, no final newline",
            "\xef\xbb\xbf# settings\r\n\n \t \n  # x = 5\n DIGSIG_ELF_MODE=0 "
            "\t\nDIGSIG_ELF_MODE=1\r\n"
            "\tDIGSIG_XATTR_MODE=2\nDIGSIG_IGNORE_XATTR_KEYS=1 \nDIGSIG_IGNORE_GOST2001=0",
            {}, "on debug keys", {});
        row("other values, an unknown key invalidates no option",
            "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=1\nFOO=1\nDIGSIG_IGNORE_XATTR_KEYS=0\n"
            "DIGSIG_IGNORE_GOST2001=1\n",
            {problem("contains invalid key: ", "FOO")}, "off on gost", {});
        row("values compared as text",
            "DIGSIG_ELF_MODE=01\nDIGSIG_XATTR_MODE=3\nDIGSIG_IGNORE_XATTR_KEYS=2\n"
            "DIGSIG_IGNORE_GOST2001=10\n",
            {invalidValue(allKeys[0], "01"), invalidValue(allKeys[1], "3"),
             invalidValue(allKeys[2], "2"), invalidValue(allKeys[3], "10")},
            "invalid invalid", allKeys);
        row("lines in reading order, then missing options, then values",
            "X=1\nDIGSIG_ELF_MODE = 1\nDIGSIG_XATTR_MODE=1 # on\ndigsig_elf_mode=1\n"
            "bad %2 %1 line\nDIGSIG_IGNORE_XATTR_KEYS=7\nDIGSIG_IGNORE_GOST2001=1\n",
            {problem("contains invalid key: ", "X"), problem(badLine, "DIGSIG_ELF_MODE = 1"),
             problem(badLine, "DIGSIG_XATTR_MODE=1 # on"), problem(badLine, "digsig_elf_mode=1"),
             problem(badLine, "bad %2 %1 line"), problem(noValue, allKeys[0]),
             problem(noValue, allKeys[1]), invalidValue(allKeys[0], ""),
             invalidValue(allKeys[1], ""), invalidValue(allKeys[2], "7")},
            "invalid invalid gost", allKeys.mid(0, 3));
        QStringList listed;
        for (int i = 0; i < DigSigSettings::listedProblemLimit; ++i)
            listed << problem(badLine, "x");
        row("problems listed up to the limit", QByteArray("x\n").repeated(60),
            listed << problem("has 18 more problems that are not listed.", ""), "invalid invalid",
            allKeys);
        row("quoted line cut", validFile + QByteArray(5000, 'x') + '\n',
            {problem(badLine, QString(200, 'x') + " (truncated)")}, "on debug keys", {});
        const int limit = DigSigSettings::settingsFileSizeLimit;
        const QByteArray largest = validFile + QByteArray(limit - validFile.size() - 1, '#') + '\n';
        row("largest file read", largest, {}, "on debug keys", {});
        row("one byte more, not read", largest + '\n',
            {problem("is larger than 1048576 bytes, far larger than any settings file; it was "
                     "not read.",
                     "")},
            "invalid invalid", allKeys);
        row("no file", QByteArray(), {"Can't open file " + settingsPath}, "invalid invalid",
            allKeys);
    }

    void readsSettings()
    {
        QFETCH(QByteArray, content);
        QVERIFY(place(settingsPath, content));
        QVERIFY(place(controlPath, "/usr/\n"));

        const DigSigSettings settings(nullptr);
        QFETCH(QStringList, errors);
        QCOMPARE(settings.errors(), errors);
        QString values = modeName(settings.elfMode()) + ' ' + modeName(settings.xattrMode());
        if (settings.ignoreXattrKeys())
            values += " keys";
        if (settings.ignoreGost2001())
            values += " gost";
        QTEST(values, "values");
        QCOMPARE(settings.isElfEnabled(), values.startsWith("on") || values.startsWith("debug"));
        QCOMPARE(settings.isXattrEnabled(), values.contains(" on") || values.contains(" debug"));
        QTEST(settings.invalidOptions(), "invalid");
        // A file too large to read still has a fingerprint, so that a change to it is noticed.
        QCOMPARE(settings.settingsFingerprint(), fingerprintOf(content));
    }

    // The text the editor shows; only a file it carries byte for byte counts as text.
    void readsControlFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isText");
        QTest::newRow("UTF-8, blanks kept")
            << QByteArray("//bin/dash\n  /usr/  \n\n/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/")
            << QString::fromUtf8("//bin/dash\n  /usr/  \n\n/opt/прог/") << true;
        QTest::newRow("carriage returns") << QByteArray("/a\r\n") << "/a\n" << false;
        QTest::newRow("not UTF-8") << QByteArray("/caf\xe9/") << "/caf\ufffd/" << false;
        QTest::newRow("no file") << QByteArray() << QString() << true;
    }

    void readsControlFile()
    {
        QFETCH(QByteArray, content);
        QVERIFY(place(settingsPath, validFile));
        QVERIFY(place(controlPath, content));

        const DigSigSettings settings(nullptr);
        QCOMPARE(settings.errors(),
                 content.isNull()
                     ? QStringList {QStringLiteral("file %1 can not be opened").arg(controlPath)}
                     : QStringList());
        QTEST(settings.xattrControl(), "text");
        QCOMPARE(settings.xattrControlBytes(), content);
        QTEST(settings.isXattrControlText(), "isText");
        QCOMPARE(settings.xattrControlFingerprint(), fingerprintOf(content));
        QCOMPARE(settings.elfMode(), int(On));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigSettingsTest)
#include "digsigsettingstest.moc"
