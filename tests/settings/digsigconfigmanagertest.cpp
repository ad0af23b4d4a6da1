#include "digsigconfigmanager.h"
#include "atomicfile.h"
#include "digsigelementdata.h"
#include "digsigsettings.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QString mtabPath = QStringLiteral("/etc/mtab");

const QByteArray oldSettings = "# the administrator's comment\n"
                               "DIGSIG_ELF_MODE=1\n"
                               "DIGSIG_XATTR_MODE=1\n"
                               "OTHER_KEY=5\n"
                               "DIGSIG_IGNORE_XATTR_KEYS=0\n"
                               "DIGSIG_IGNORE_GOST2001=0\n";
const QByteArray oldControl = "//bin/old\n/usr/old/\n";

const char* const standInVariables[] = {"DIGSIG_UPDATE_INITRAMFS_LOG",
                                        "DIGSIG_UPDATE_INITRAMFS_STDERR",
                                        "DIGSIG_UPDATE_INITRAMFS_STDOUT",
                                        "DIGSIG_UPDATE_INITRAMFS_EXIT",
                                        "DIGSIG_UPDATE_INITRAMFS_CRASH",
                                        "DIGSIG_MOUNT_LOG",
                                        "DIGSIG_MOUNT_EXIT",
                                        "DIGSIG_MOUNT_CRASH",
                                        "DIGSIG_MOUNT_FAIL_ON"};

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}

DigSigElementData& record(int elfMode, int xattrMode, bool ignoreXattrKeys, bool ignoreGost2001,
                          const QString& control)
{
    static DigSigElementData data;
    data.setElfMode(elfMode);
    data.setXattrMode(xattrMode);
    data.setIgnoreXattrKeys(ignoreXattrKeys);
    data.setIgnoreGost2001(ignoreGost2001);
    data.setXattrControl(control);
    // save() leaves the fingerprints of what it wrote in the record.
    data.setSettingsFingerprint(QByteArray());
    data.setXattrControlFingerprint(QByteArray());
    data.setKeepXattrControl(false);
    data.setKeepSettings(false);
    return data;
}

QString sizeLimitMessage(const QString& part)
{
    return QStringLiteral("Line ") + part + QStringLiteral(" exceeds the size limit.");
}

QStringList digsigDirectoryEntries()
{
    return QDir(sandboxed(QStringLiteral("/etc/digsig")))
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Writes beyond `bytes` fail with EFBIG while this lives: a save file cannot be written out,
// so its commit fails.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &_old);
        rlimit limit = _old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &_old); }

private:
    rlimit _old {};
};

// No new file descriptor can be opened while this lives: a save file cannot be opened.
class NoFreeDescriptors
{
public:
    NoFreeDescriptors()
    {
        getrlimit(RLIMIT_NOFILE, &_old);
        const int lowestFree = ::open("/dev/null", O_RDONLY);
        ::close(lowestFree);
        rlimit limit = _old;
        limit.rlim_cur = rlim_t(lowestFree);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    ~NoFreeDescriptors() { setrlimit(RLIMIT_NOFILE, &_old); }

private:
    rlimit _old {};
};

QString processMessage(const QString& tail)
{
    return QStringLiteral("Process: \"update-initramfs -u -k all\"") + tail;
}

} // namespace

class DigSigConfigManagerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        _logPath = _scratch.filePath(QStringLiteral("tools.log"));
        if (!qEnvironmentVariableIsEmpty("DIGSIG_TOOLS_DIR")) {
            qputenv("PATH", qgetenv("DIGSIG_TOOLS_DIR") + ':' + qgetenv("PATH"));
        }
        _path = qgetenv("PATH");
    }

    void init()
    {
        QDir(sandboxed(QStringLiteral("/etc"))).removeRecursively();
        QVERIFY(QDir().mkpath(sandboxed(QStringLiteral("/etc/digsig"))));
        QFile::remove(_logPath);
        for (const char* name : standInVariables)
            qunsetenv(name);
        qputenv("DIGSIG_UPDATE_INITRAMFS_LOG", _logPath.toUtf8());
        qputenv("DIGSIG_MOUNT_LOG", _logPath.toUtf8());
        qputenv("PATH", _path);
    }

    void instanceIsOneObjectUnderConcurrentFirstUse()
    {
        QList<QThread*> threads;
        QVector<DigSigConfigManager*> seen(8, nullptr);
        for (int i = 0; i < seen.size(); ++i)
            threads << QThread::create([&seen, i] { seen[i] = DigSigConfigManager::instance(); });
        for (QThread* thread : threads)
            thread->start();
        for (QThread* thread : threads) {
            QVERIFY(thread->wait(10000));
            delete thread;
        }
        for (DigSigConfigManager* manager : seen)
            QCOMPARE(manager, DigSigConfigManager::instance());
    }

    void savesSettings_data()
    {
        QTest::addColumn<int>("elfMode");
        QTest::addColumn<int>("xattrMode");
        QTest::addColumn<bool>("ignoreXattrKeys");
        QTest::addColumn<bool>("ignoreGost2001");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("debug, invalid, flags set")
            << int(Debug) << int(Invalid) << true << true
            << QByteArray("DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=1\nDIGSIG_IGNORE_GOST2001=1\n");
        QTest::newRow("on, off, flags clear")
            << int(On) << int(Off) << false << false
            << QByteArray("DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=0\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n");
        QTest::newRow("off, debug, out-of-range mode")
            << int(Off) << 42 << false << true
            << QByteArray("DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n");
        QTest::newRow("invalid, debug")
            << int(Invalid) << int(Debug) << true << false
            << QByteArray("DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=2\n"
                          "DIGSIG_IGNORE_XATTR_KEYS=1\nDIGSIG_IGNORE_GOST2001=0\n");
    }

    void savesSettings()
    {
        QFETCH(int, elfMode);
        QFETCH(int, xattrMode);
        QFETCH(bool, ignoreXattrKeys);
        QFETCH(bool, ignoreGost2001);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), oldSettings));

        const QStringList errors = DigSigConfigManager::instance()->save(
            record(elfMode, xattrMode, ignoreXattrKeys, ignoreGost2001, QStringLiteral("/usr/")));
        QCOMPARE(errors, QStringList());
        QFETCH(QByteArray, expected);
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), expected);

        // What save writes reads back cleanly, with Invalid (and any other value) as Off.
        const DigSigSettings settings(DigSigConfigManager::instance());
        QCOMPARE(settings.errors(), QStringList());
        const auto readBack = [](int mode) {
            return mode == On || mode == Debug ? mode : int(Off);
        };
        QCOMPARE(settings.elfMode(), readBack(elfMode));
        QCOMPARE(settings.xattrMode(), readBack(xattrMode));
        QCOMPARE(settings.ignoreXattrKeys(), ignoreXattrKeys);
        QCOMPARE(settings.ignoreGost2001(), ignoreGost2001);
        QCOMPARE(settings.xattrControl(), QStringLiteral("/usr/\n"));
        QCOMPARE(digsigDirectoryEntries(),
                 QStringList(
                     {QStringLiteral("digsig_initramfs.conf"), QStringLiteral("xattr_control")}));
    }

    void savesControl_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");

        const auto repeat = [](const QString& piece, int times) {
            return piece.repeated(times);
        };
        QTest::newRow("two templates, no final newline")
            << QStringLiteral("//bin/dash\n/usr/") << QByteArray("//bin/dash\n/usr/\n");
        QTest::newRow("final newline ends the last line")
            << QStringLiteral("//bin/dash\n/usr/\n") << QByteArray("//bin/dash\n/usr/\n");
        QTest::newRow("empty line before the final newline kept")
            << QStringLiteral("//bin/dash\n\n") << QByteArray("//bin/dash\n\n");
        QTest::newRow("white space trimmed") << QStringLiteral("  //bin/dash\t\n \t \n\t/usr/  ")
                                             << QByteArray("//bin/dash\n\n/usr/\n");
        QTest::newRow("empty text") << QString() << QByteArray("\n");
        QTest::newRow("empty lines kept")
            << QStringLiteral("/a/\n\n\n/b/") << QByteArray("/a/\n\n\n/b/\n");
        QTest::newRow("UTF-8") << QString::fromUtf8("/opt/прог/")
                               << QByteArray("/opt/\xd0\xbf\xd1\x80\xd0\xbe\xd0\xb3/\n");
        QTest::newRow("4095 bytes, ASCII")
            << repeat(QStringLiteral("a"), 4094) << QByteArray(4094, 'a') + '\n';
        QTest::newRow("4095 bytes, two-byte characters")
            << repeat(QString::fromUtf8("ж"), 2047)
            << QString::fromUtf8("ж").repeated(2047).toUtf8() + '\n';
        QTest::newRow("4095 bytes, three-byte characters") << repeat(QString::fromUtf8("€"), 1364)
                + QStringLiteral("ab") << QString::fromUtf8("€").repeated(1364).toUtf8() + "ab\n";
        QTest::newRow("4095 bytes, four-byte characters") << repeat(QString::fromUtf8("😀"), 1023)
                + QStringLiteral("ab") << QString::fromUtf8("😀").repeated(1023).toUtf8() + "ab\n";
        QTest::newRow("over the limit only before trimming")
            << QStringLiteral("   ") + repeat(QStringLiteral("a"), 4094) + QStringLiteral("\t ")
            << QByteArray(4094, 'a') + '\n';
    }

    void savesControl()
    {
        QFETCH(QString, text);
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), oldControl));
        QCOMPARE(DigSigConfigManager::instance()->save(record(Off, Off, false, false, text)),
                 QStringList());
        QFETCH(QByteArray, expected);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), expected);
    }

    // What was saved reads back as the editor's text; saving that again must not change the file.
    void savingWhatWasReadKeepsTheFile()
    {
        DigSigConfigManager* manager = DigSigConfigManager::instance();
        QCOMPARE(
            manager->save(record(Off, Off, false, false, QStringLiteral("//bin/dash\n/usr/\n"))),
            QStringList());
        const QByteArray first = TestSupport::readFile(sandboxed(controlPath));
        for (int round = 0; round < 3; ++round) {
            const QString text = DigSigSettings(manager).xattrControl();
            QCOMPARE(manager->save(record(Off, Off, false, false, text)), QStringList());
            QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), first);
        }
    }

    void rejectsLongControlLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("offender");

        const QString ascii = QString(4095, QLatin1Char('a'));
        const QString twoByte = QString::fromUtf8("ж").repeated(2047) + QLatin1Char('a');
        const QString threeByte = QString::fromUtf8("€").repeated(1365);
        const QString fourByte = QString::fromUtf8("😀").repeated(1023) + QStringLiteral("abc");
        QTest::newRow("4096 bytes, ASCII") << ascii << ascii;
        QTest::newRow("4096 bytes, two-byte characters") << twoByte << twoByte;
        QTest::newRow("4096 bytes, three-byte characters") << threeByte << threeByte;
        QTest::newRow("4096 bytes, four-byte characters") << fourByte << fourByte;
        QTest::newRow("message names the untrimmed line, later lines not examined")
            << QStringLiteral("//bin/dash\n  ") + ascii + QStringLiteral(" \n") + ascii
                + QLatin1Char('b')
            << QStringLiteral("  ") + ascii + QLatin1Char(' ');
        QTest::newRow("100 000 bytes")
            << QString(100000, QLatin1Char('x')) << QString(100000, QLatin1Char('x'));
        QTest::newRow("placeholders in the line stay as written")
            << QStringLiteral("%2 %1 ") + QString(4093, QLatin1Char('%'))
            << QStringLiteral("%2 %1 ") + QString(4093, QLatin1Char('%'));
    }

    void rejectsLongControlLine()
    {
        QFETCH(QString, text);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), oldSettings));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), oldControl));

        const QStringList errors
            = DigSigConfigManager::instance()->save(record(Debug, Off, false, true, text));
        QFETCH(QString, offender);
        QCOMPARE(errors, QStringList {sizeLimitMessage(offender)});
        // Checked before anything is written: both files are left byte for byte.
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), oldSettings);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), oldControl);
        QCOMPARE(digsigDirectoryEntries(),
                 QStringList(
                     {QStringLiteral("digsig_initramfs.conf"), QStringLiteral("xattr_control")}));
    }

    void failedSaveKeepsFiles_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<bool>("settingsWritten");

        const auto failed = [](const QString& path, const QString& reason) {
            return QStringList {QStringLiteral("file %1 can not be saved").arg(path),
                                reason.arg(path)};
        };
        const QString beside = QStringLiteral("Can not create a new file beside %1: ");
        QTest::newRow("directory missing")
            << "no directory" << failed(settingsPath, beside + "No such file or directory")
            << false;
        QTest::newRow("no free descriptor")
            << "no descriptor" << failed(settingsPath, beside + "Too many open files") << false;
        QTest::newRow("settings file over the size limit")
            << "size 10" << failed(settingsPath, "Can not write %1: File too large") << false;
        QTest::newRow("control file over the size limit")
            << "size 200" << failed(controlPath, "Can not write %1: File too large") << true;
        QTest::newRow("full file system")
            << "tmpfs" << failed(settingsPath, "Can not write %1: No space left on device")
            << false;
        QTest::newRow("control path is a directory")
            << "control directory"
            << failed(controlPath, "%1 is not a regular file; it was not written.") << true;
        QTest::newRow("settings file is a link")
            << "settings link" << failed(settingsPath, "%1 is a symbolic link; it was not written.")
            << false;
        QTest::newRow("control file is a link")
            << "control link" << failed(controlPath, "%1 is a symbolic link; it was not written.")
            << true;
    }

    // Whatever fails, the old files stay byte for byte, nothing is written through a link and
    // no temporary file is left behind.
    void failedSaveKeepsFiles()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, errors);
        QFETCH(bool, settingsWritten);
        const QString directory = sandboxed(QStringLiteral("/etc/digsig"));
        const QString elsewhere = sandboxed(QStringLiteral("/etc/elsewhere"));
        QString skip;
        if (fault == QLatin1String("tmpfs") && !TestSupport::mountTmpfs(directory, 64, &skip))
            QSKIP(qPrintable(skip));
        QByteArray control;
        for (int i = 0; i < 20; ++i)
            control += "/usr/share/some/long/directory/" + QByteArray::number(i) + "/\n";
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), oldSettings));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), oldControl));
        QVERIFY(TestSupport::writeFile(elsewhere, "elsewhere\n"));
        if (fault == QLatin1String("tmpfs"))
            QVERIFY(TestSupport::writeFile(directory + QStringLiteral("/filler"),
                                           QByteArray(64 * 1024 - 8192, 'f')));
        if (fault == QLatin1String("control directory"))
            QVERIFY(QFile::remove(sandboxed(controlPath)) && QDir().mkpath(sandboxed(controlPath)));
        if (fault.endsWith(QLatin1String(" link"))) {
            const QString path
                = fault.startsWith(QLatin1String("settings")) ? settingsPath : controlPath;
            QVERIFY(QFile::remove(sandboxed(path)) && QFile::link(elsewhere, sandboxed(path)));
        }

        QStringList result;
        {
            DigSigElementData& data = record(Off, Debug, true, false, QString::fromUtf8(control));
            std::unique_ptr<NoFreeDescriptors> noDescriptors;
            std::unique_ptr<FileSizeLimit> sizeLimit;
            if (fault == QLatin1String("no descriptor"))
                noDescriptors = std::make_unique<NoFreeDescriptors>();
            if (fault.startsWith(QLatin1String("size ")))
                sizeLimit = std::make_unique<FileSizeLimit>(fault.mid(5).toInt());
            if (fault == QLatin1String("no directory"))
                QVERIFY(QDir(directory).removeRecursively());
            result = DigSigConfigManager::instance()->save(data);
        }
        const QByteArray settingsNow = TestSupport::readFile(sandboxed(settingsPath));
        const QByteArray controlNow = TestSupport::readFile(sandboxed(controlPath));
        QStringList entries = digsigDirectoryEntries();
        entries.removeAll(QStringLiteral("filler"));
        if (fault == QLatin1String("tmpfs"))
            TestSupport::unmount(directory);

        QCOMPARE(result, errors);
        QCOMPARE(TestSupport::readFile(elsewhere), QByteArray("elsewhere\n"));
        if (fault == QLatin1String("no directory")) {
            QCOMPARE(entries, QStringList());
            return;
        }
        QCOMPARE(settingsNow,
                 settingsWritten
                     ? QByteArray("DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=2\n"
                                  "DIGSIG_IGNORE_XATTR_KEYS=1\nDIGSIG_IGNORE_GOST2001=0\n")
                     : fault == QLatin1String("settings link") ? QByteArray("elsewhere\n")
                                                               : oldSettings);
        if (fault != QLatin1String("control directory"))
            QCOMPARE(controlNow,
                     fault == QLatin1String("control link") ? QByteArray("elsewhere\n")
                                                            : oldControl);
        QStringList expectedEntries {QStringLiteral("digsig_initramfs.conf")};
        if (fault != QLatin1String("control directory"))
            expectedEntries << QStringLiteral("xattr_control");
        QCOMPARE(entries, expectedEntries);
    }

    void refusesFilesChangedSinceRead_data()
    {
        QTest::addColumn<QByteArray>("settingsNow");
        QTest::addColumn<QByteArray>("controlNow"); // "-": removed
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<bool>("keepSettings");

        QTest::newRow("unchanged") << oldSettings << oldControl << QStringList() << false;
        QTest::newRow("settings file changed") << QByteArray(oldSettings + "# package\n")
                                               << oldControl << QStringList {settingsPath} << false;
        QTest::newRow("control file merged into")
            << oldSettings << QByteArray(oldControl + "/opt/\n") << QStringList {controlPath}
            << false;
        QTest::newRow("both changed")
            << QByteArray() << QByteArray("-") << QStringList {settingsPath, controlPath} << false;
        QTest::newRow("settings kept byte for byte")
            << oldSettings << oldControl << QStringList() << true;
        QTest::newRow("settings kept, but changed")
            << QByteArray(oldSettings + "# package\n") << oldControl << QStringList {settingsPath}
            << true;
    }

    // Another administrator, a signing run's merge or a package changed a file after the widget
    // read it: neither file is written, and the message names the changed one.
    void refusesFilesChangedSinceRead()
    {
        QFETCH(QByteArray, settingsNow);
        QFETCH(QByteArray, controlNow);
        QFETCH(QStringList, changed);
        QFETCH(bool, keepSettings);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), oldSettings));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), oldControl));
        const DigSigSettings read(DigSigConfigManager::instance());
        DigSigElementData& data = record(On, On, false, false, QStringLiteral("/srv/"));
        data.setKeepSettings(keepSettings);
        data.setSettingsFingerprint(read.settingsFingerprint());
        data.setXattrControlFingerprint(read.xattrControlFingerprint());
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsNow));
        if (controlNow == "-")
            QVERIFY(QFile::remove(sandboxed(controlPath)));
        else
            QVERIFY(TestSupport::writeFile(sandboxed(controlPath), controlNow));

        const QStringList errors = DigSigConfigManager::instance()->save(data);
        QStringList expected;
        for (const QString& path : changed)
            expected << path
                    + QStringLiteral(" has changed on disk since it was read; nothing was saved. "
                                     "Press Refresh to see what it holds now, then make your "
                                     "changes again.");
        QCOMPARE(errors, expected);
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)),
                 changed.isEmpty() && !keepSettings
                     ? QByteArray("DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=1\n"
                                  "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n")
                     : settingsNow);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)),
                 changed.isEmpty() ? QByteArray("/srv/\n") : controlNow.replace("-", ""));
        // The record now describes the files as written, or still the files as read.
        QCOMPARE(data.settingsFingerprint(),
                 changed.isEmpty() ? AtomicFile::currentFingerprint(sandboxed(settingsPath))
                                   : read.settingsFingerprint());
        QCOMPARE(data.xattrControlFingerprint(),
                 changed.isEmpty() ? AtomicFile::currentFingerprint(sandboxed(controlPath))
                                   : read.xattrControlFingerprint());
    }

    void keepsUneditedControlLines_data()
    {
        QTest::addColumn<QByteArray>("before"); // "-": no file
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("blanks of unedited lines kept, new line trimmed")
            << QByteArray("  //bin/dash \t\n/opt/\n")
            << QStringLiteral("  //bin/dash \t\n/opt/\n /srv/ ") << false
            << QByteArray("  //bin/dash \t\n/opt/\n/srv/\n");
        QTest::newRow("control file kept: bytes that are not UTF-8, NUL, CR")
            << QByteArray("/caf\xe9/\n/a\0b/\r\n", 14) << QStringLiteral("anything") << true
            << QByteArray("/caf\xe9/\n/a\0b/\r\n", 14);
        QTest::newRow("control file kept: none there")
            << QByteArray("-") << QString() << true << QByteArray("-");
    }

    void keepsUneditedControlLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, text);
        QFETCH(bool, keep);
        QFETCH(QByteArray, after);
        QFile::remove(sandboxed(controlPath));
        if (before != "-")
            QVERIFY(TestSupport::writeFile(sandboxed(controlPath), before));
        DigSigElementData& data = record(Debug, Off, false, false, text);
        data.setKeepXattrControl(keep);
        const QStringList errors = DigSigConfigManager::instance()->save(data);
        QCOMPARE(errors, QStringList());
        QVERIFY(TestSupport::readFile(sandboxed(settingsPath)).startsWith("DIGSIG_ELF_MODE=2\n"));
        QCOMPARE(QFile::exists(sandboxed(controlPath)), after != "-");
        if (after != "-")
            QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), after);
    }

    void newFilesArePublicWhateverTheUmask()
    {
        const mode_t old = ::umask(0);
        const QStringList errors = DigSigConfigManager::instance()->save(
            record(On, On, false, false, QStringLiteral("/usr/")));
        ::umask(old);
        QCOMPARE(errors, QStringList());
        for (const QString& path : {settingsPath, controlPath}) {
            struct stat status
            {
            };
            QCOMPARE(::stat(QFile::encodeName(sandboxed(path)).constData(), &status), 0);
            QCOMPARE(status.st_mode & 07777, mode_t(0644));
        }
    }

    void bootReadOnly_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<bool>("readOnly");

        const QByteArray root = "/dev/sda2 / ext4 rw,relatime,errors=remount-ro 0 1\n";
        QTest::newRow("rw") << root + "/dev/sda1 /boot ext4 rw,relatime 0 2\n" << false;
        QTest::newRow("ro") << root + "/dev/sda1 /boot ext4 ro,relatime 0 2\n" << true;
        QTest::newRow("ro last") << root + "/dev/sda1 /boot ext4 relatime,nodev,ro 0 2\n" << true;
        QTest::newRow("only /boot/efi is ro")
            << root + "/dev/sda1 /boot ext4 rw 0 2\n/dev/sda3 /boot/efi vfat ro,fmask=0077 0 0\n"
            << false;
        QTest::newRow("errors=remount-ro is not ro")
            << QByteArray("/dev/sda1 /boot ext4 rw,errors=remount-ro 0 2\n") << false;
        QTest::newRow("RO is not ro") << QByteArray("/dev/sda1 /boot ext4 RO 0 2\n") << false;
        QTest::newRow("stacked: rw then ro")
            << root + "/dev/sda1 /boot ext4 rw 0 2\n/dev/sdb1 /boot ext4 ro,noatime 0 2\n"
            << true;
        QTest::newRow("stacked: ro then rw")
            << root + "/dev/sda1 /boot ext4 ro 0 2\n/dev/sdb1 /boot ext4 rw 0 2\n"
            << true;
        QTest::newRow("no /boot entry") << root << false;
        QTest::newRow("/boot/ is not /boot")
            << QByteArray("/dev/sda1 /boot/ ext4 ro 0 2\n") << false;
        QTest::newRow("empty table") << QByteArray() << false;
        QTest::newRow("comments and tabs")
            << QByteArray("# comment\n/dev/sda1\t/boot\text4\tro\t0\t2\n") << true;
    }

    void bootReadOnly()
    {
        QFETCH(QByteArray, table);
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), table));
        QFETCH(bool, readOnly);
        QCOMPARE(DigSigConfigManager::instance()->isBootReadOnly(), readOnly);
    }

    void unreadableMountTableThrows()
    {
        QFile::remove(sandboxed(mtabPath));
        try {
            DigSigConfigManager::instance()->isBootReadOnly();
            QFAIL("no exception");
        } catch (const std::runtime_error& error) {
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Can't parse /etc/mtab"));
        }
    }

    void remountsBoot()
    {
        QVERIFY(
            TestSupport::writeFile(sandboxed(mtabPath), "/dev/sda1 /boot ext4 ro,relatime 0 2\n"));
        DigSigConfigManager* manager = DigSigConfigManager::instance();
        QVERIFY(manager->remountBootReadWrite());
        QVERIFY(!manager->isBootReadOnly());
        manager->remountBootReadOnly();
        QVERIFY(manager->isBootReadOnly());
        QCOMPARE(argvLines(),
                 QStringList({QStringLiteral("mount argv -o remount,rw /boot"),
                              QStringLiteral("mount argv -o remount,ro /boot")}));
    }

    void failedRemount_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("exit code 32") << QByteArray("DIGSIG_MOUNT_EXIT") << QByteArray("32");
        QTest::newRow("crash") << QByteArray("DIGSIG_MOUNT_CRASH") << QByteArray("1");
        QTest::newRow("not found") << QByteArray("PATH") << _scratch.path().toUtf8();
    }

    void failedRemount()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), "/dev/sda1 /boot ext4 ro 0 2\n"));
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        qputenv(variable.constData(), value);
        DigSigConfigManager* manager = DigSigConfigManager::instance();
        QVERIFY(!manager->remountBootReadWrite());
        manager->remountBootReadOnly();
        QVERIFY(manager->isBootReadOnly());
    }

    void updateInitramfs_data()
    {
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<QByteArray>("exitCode");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QString>("error");

        QTest::newRow("clean") << QByteArray() << QByteArray() << QStringList() << QString();
        const QByteArray ldconfig = "ldconfig: Input file /lib/x.so not found.\n";
        QTest::newRow("ldconfig warning")
            << ldconfig << QByteArray()
            << QStringList {processMessage(" finished with warnings:\n") + ldconfig} << QString();
        const QByteArray shouting = "LDCONFIG:  INPUT\tFILE /lib/libfoo.so.1 NOT FOUND";
        QTest::newRow("ldconfig warning, other case")
            << shouting << QByteArray()
            << QStringList {processMessage(" finished with warnings:\n") + shouting} << QString();
        const QByteArray cryptsetup = "cryptsetup: WARNING: target 'sda5_crypt' not found\n"
                                      "E: something unrelated\n";
        QTest::newRow("cryptsetup warning then unrelated line")
            << cryptsetup << QByteArray()
            << QStringList {processMessage(" finished with warnings:\n") + cryptsetup} << QString();
        const QByteArray later = "W: first line\nCryptSetup: warning: on the second line\n";
        QTest::newRow("warning on a later line")
            << later << QByteArray()
            << QStringList {processMessage(" finished with warnings:\n") + later} << QString();
        const QByteArray placeholders = "ldconfig: input file %2 %1 %3 %4 not found\n";
        QTest::newRow("warning with placeholders")
            << placeholders << QByteArray()
            << QStringList {processMessage(" finished with warnings:\n") + placeholders}
            << QString();
        QTest::newRow("unrelated output, exit 0")
            << QByteArray("E: something broke\n") << QByteArray() << QStringList()
            << processMessage(" finished with errors:\nE: something broke\n");
        QTest::newRow("not a warning: text before ldconfig on the line")
            << QByteArray("note ldconfig: input file a not found") << QByteArray() << QStringList()
            << processMessage(" finished with errors:\nnote ldconfig: input file a not found");
        QTest::newRow("exit code 1 despite warning pattern")
            << ldconfig << QByteArray("1") << QStringList()
            << processMessage(" finished with errors:\n") + ldconfig
                + QStringLiteral("\nExit code: 1");
        QTest::newRow("exit code without output")
            << QByteArray() << QByteArray("3") << QStringList()
            << processMessage(" finished with errors:\n\nExit code: 3");
        const QByteArray allPlaceholders = "E: %1 %2 %3 %4 %%4\n";
        QTest::newRow("errors with placeholders, exit code")
            << allPlaceholders << QByteArray("7") << QStringList()
            << processMessage(" finished with errors:\n") + allPlaceholders
                + QStringLiteral("\nExit code: 7");
        QTest::newRow("errors with placeholders, exit 0")
            << allPlaceholders << QByteArray() << QStringList()
            << processMessage(" finished with errors:\n") + allPlaceholders;
        QTest::newRow("error text capped")
            << QByteArray(40000, 'e') << QByteArray("1") << QStringList()
            << processMessage(" finished with errors:\n") + QString(16 * 1024, QLatin1Char('e'))
                + QStringLiteral("\n(truncated)\nExit code: 1");
    }

    void updateInitramfs()
    {
        QFETCH(QByteArray, standardError);
        QFETCH(QByteArray, exitCode);
        QFETCH(QStringList, warnings);
        QFETCH(QString, error);
        if (!standardError.isEmpty())
            qputenv("DIGSIG_UPDATE_INITRAMFS_STDERR", standardError);
        if (!exitCode.isEmpty())
            qputenv("DIGSIG_UPDATE_INITRAMFS_EXIT", exitCode);
        qputenv("DIGSIG_UPDATE_INITRAMFS_STDOUT", "noise on standard output %1\n");

        TestSupport::ProcessWarningCounter processWarnings;
        QString thrown;
        QStringList returned;
        try {
            returned = DigSigConfigManager::instance()->updateInitramfs();
        } catch (const std::runtime_error& exception) {
            thrown = QString::fromUtf8(exception.what());
        }
        QCOMPARE(thrown, error);
        QCOMPARE(returned, warnings);
        QCOMPARE(argvLines(), QStringList {QStringLiteral("update-initramfs argv -u -k all")});
        QCOMPARE(processWarnings.count(), 0);
    }

    void updateInitramfsCrash()
    {
        qputenv("DIGSIG_UPDATE_INITRAMFS_CRASH", "1");
        QCOMPARE(thrownByUpdate(), processMessage(". Error: 1.\n\"Not finished\""));
    }

    void updateInitramfsMissing()
    {
        qputenv("PATH", _scratch.path().toUtf8());
        QCOMPARE(thrownByUpdate(), processMessage(". Error: 0.\n\"Not started\""));
    }

    void hungToolIsStopped_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::newRow("mount") << QByteArray("DIGSIG_MOUNT_HANG");
        QTest::newRow("update-initramfs") << QByteArray("DIGSIG_UPDATE_INITRAMFS_HANG");
    }

    // The limits are parameters, so that a tool that never ends is stopped at once here.
    void hungToolIsStopped()
    {
        QFETCH(QByteArray, variable);
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), "/dev/sda1 /boot ext4 ro 0 2\n"));
        qputenv(variable.constData(), "1");
        TestSupport::ProcessWarningCounter processWarnings;
        DigSigConfigManager* manager = DigSigConfigManager::instance();
        if (variable.startsWith("DIGSIG_MOUNT")) {
            QVERIFY(!manager->remountBootReadWrite(200));
        } else {
            try {
                manager->updateInitramfs(200);
                QFAIL("no exception");
            } catch (const std::runtime_error& error) {
                QCOMPARE(QString::fromUtf8(error.what()),
                         processMessage(" did not finish within 0.2 seconds and was stopped."));
            }
        }
        // Stopped, however far it got: it never reached its end.
        for (const QString& line : TestSupport::readLog(_logPath))
            QVERIFY2(!line.contains(QLatin1String(" end ")), qPrintable(line));
        QCOMPARE(processWarnings.count(), 0);
    }

private:
    QString thrownByUpdate()
    {
        try {
            DigSigConfigManager::instance()->updateInitramfs();
        } catch (const std::runtime_error& exception) {
            return QString::fromUtf8(exception.what());
        }
        return QString();
    }

    QStringList argvLines() const
    {
        QStringList lines;
        for (const QString& line : TestSupport::readLog(_logPath)) {
            if (line.contains(QLatin1String(" argv ")))
                lines << line;
        }
        return lines;
    }

    QTemporaryDir _scratch;
    QString _logPath;
    QByteArray _path;
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigConfigManagerTest)
#include "digsigconfigmanagertest.moc"
