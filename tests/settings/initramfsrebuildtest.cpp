#include "initramfsrebuild.h"
#include "atomicfile.h"
#include "digsigconstants.h"
#include "taskdescription.h"
#include "testsupport.h"

#include <atomic>
#include <list>
#include <sys/file.h>
#include <sys/stat.h>

namespace {

const QString mtabPath = QStringLiteral("/etc/mtab");
const QByteArray bootReadOnly = "/dev/sda1 /boot ext4 ro,relatime 0 2\n";
const QByteArray bootReadWrite = "/dev/sda1 /boot ext4 rw,relatime 0 2\n";
const QString mountRw = QStringLiteral("mount argv -o remount,rw /boot");
const QString rebuild = QStringLiteral("update-initramfs argv -u -k all");
const QStringList remounted {mountRw, rebuild, QStringLiteral("mount argv -o remount,ro /boot")};
const QString process = QStringLiteral("Process: \"update-initramfs -u -k all\"");
using TestSupport::sandboxPath;

} // namespace

// The /boot remount, update-initramfs and remount sequence, one at a time.
class InitramfsRebuildTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        _scratch = std::make_unique<QTemporaryDir>();
        qputenv("DIGSIG_UPDATE_INITRAMFS_LOG", QFile::encodeName(logPath()));
        qputenv("DIGSIG_MOUNT_LOG", QFile::encodeName(logPath()));
        QVERIFY(TestSupport::writeFile(sandboxPath(mtabPath), bootReadOnly));
        for (const QString& path : {DigSig::runDirectory(), DigSig::stateDirectory()})
            QDir(sandboxPath(path)).removeRecursively();
    }

    // The stand-in update-initramfs fails on a read-only /boot, so a /boot taken for read-write
    // shows as a failed rebuild; one taken for read-only shows as remounts.
    void task_data()
    {
        QTest::addColumn<QByteArray>("mtab"); // null: no table
        QTest::addColumn<QByteArrayList>("environment");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("calls");
        const auto row
            = [](const char* name, const QByteArray& mtab, const QByteArrayList& environment,
                 int status, const QString& message, const QStringList& calls) {
                  QTest::newRow(name) << mtab << environment << status << message << calls;
              };
        const QByteArray stderrIs = "DIGSIG_UPDATE_INITRAMFS_STDERR=";
        const QByteArray warning = "cryptsetup: WARNING: %2 %1\nother line\n";
        const QString failed = process + " finished with errors:\n";
        // Other entries and options that only name "ro" or "/boot" are not a read-only /boot.
        row("/boot read-write",
            "/dev/sda1 /boot ext4 rw,errors=remount-ro 0 2\n/dev/sda3 /boot/efi vfat ro 0 0\n", {},
            2, {}, {rebuild});
        row("/boot read-only: ro last, on the second of stacked entries",
            bootReadWrite + "/dev/sda1 /boot ext4 relatime,nodev,ro 0 2\n", {}, 2, {}, remounted);
        row("no mount table", QByteArray(), {}, 1, "Can't parse /etc/mtab", {});
        row("warnings; standard output left out", bootReadOnly,
            {stderrIs + warning, "DIGSIG_UPDATE_INITRAMFS_STDOUT=noise\n"}, 3,
            process + " finished with warnings:\n" + warning, remounted);
        row("other output, exit code 0", bootReadWrite, {stderrIs + "E: %2 %1\n"}, 1,
            failed + "E: %2 %1\n", {rebuild});
        row("a warning, but an exit code; error text capped", bootReadWrite,
            {stderrIs + warning + QByteArray(40000, 'e'), "DIGSIG_UPDATE_INITRAMFS_EXIT=4"}, 1,
            failed + warning + QString(16 * 1024 - warning.size(), 'e')
                + "\n(truncated)\nExit code: 4",
            {rebuild});
        row("rebuild crashes: /boot still remounted read-only", bootReadOnly,
            {"DIGSIG_UPDATE_INITRAMFS_CRASH=1"}, 1, process + ". Error: 1.\n\"Not finished\"",
            remounted);
        row("rebuild not found", bootReadWrite, {"PATH=/nonexistent"}, 1,
            process + ". Error: 0.\n\"Not started\"", {});
        row("hung rebuild stopped: /boot still remounted read-only", bootReadOnly,
            {"DIGSIG_UPDATE_INITRAMFS_HANG=1"}, 1,
            process + " did not finish within 0.2 seconds and was stopped.", remounted);
        row("read-write remount fails: nothing rebuilt", bootReadOnly, {"DIGSIG_MOUNT_EXIT=32"}, 1,
            "Can't remount /boot read write", {mountRw});
        row("lock file is a link: not followed, nothing run", bootReadOnly, {}, 1,
            "Can not lock /run/cova-digsig-plugin/initramfs.lock for the rebuild of the initial "
            "RAM file system: Too many levels of symbolic links",
            {});
    }

    // The rebuild task and the settings update share these steps. The record of a pending
    // rebuild is set up as the opposite of how the run ends, so that the run has to change it.
    // It and the lock lie in directories of root's own, whatever the umask.
    void task()
    {
        QFETCH(QByteArray, mtab);
        QFETCH(QByteArrayList, environment);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFile::remove(sandboxPath(mtabPath));
        QVERIFY(mtab.isNull() || TestSupport::writeFile(sandboxPath(mtabPath), mtab));
        std::list<TestSupport::ScopedEnv> scoped;
        for (const QByteArray& assignment : environment)
            scoped.emplace_back(assignment.split('=').at(0).constData(),
                                assignment.mid(assignment.indexOf('=') + 1));
        // The limit is an option, so that a rebuild that never ends is stopped at once here.
        InitramfsRebuild::Options options;
        if (environment.contains("DIGSIG_UPDATE_INITRAMFS_HANG=1"))
            options.initramfsTimeoutMsecs = 200;
        const QString pending = sandboxPath(DigSig::initramfsRebuildPendingPath());
        const QStringList directories {sandboxPath(DigSig::runDirectory()),
                                       QFileInfo(pending).absolutePath()};
        // A link left in the lock's place: the lock is not taken through it.
        if (message.contains("symbolic links"))
            QVERIFY(AtomicFile::ensurePrivateDirectory(directories[0])
                    && QFile::link(_scratch->filePath(QStringLiteral("elsewhere")),
                                   sandboxPath(DigSig::initramfsLockPath())));
        const mode_t oldUmask = ::umask(0);
        if (status != TaskDescription::Failed)
            QCOMPARE(InitramfsRebuild::markPending(), QString());
        QStringList errors, warnings;
        InitramfsRebuild::run(errors, warnings, options);
        ::umask(oldUmask);

        TaskDescription description;
        InitramfsRebuild::report(description, errors, warnings);
        QCOMPARE(description.status(), status);
        QCOMPARE(description.message(), message);
        QTEST(argvLines(), "calls");
        QCOMPARE(InitramfsRebuild::isPending(), status == TaskDescription::Failed);
        QVERIFY(!QFile::exists(pending)
                || QFileInfo(pending).permissions() == QFile::Permissions(0x6644));
        for (const QString& directory : directories)
            QCOMPARE(QFileInfo(directory).permissions(), QFile::Permissions(0x7700));
    }

    // Only these lines of update-initramfs's standard error are harmless.
    void initramfsWarning()
    {
        QVERIFY(DigSigConfigManager::isInitramfsWarning("LDCONFIG:  INPUT\tFILE /lib/a NOT FOUND"));
        QVERIFY(DigSigConfigManager::isInitramfsWarning("W: first\nCryptSetup: warning: second\n"));
        QVERIFY(!DigSigConfigManager::isInitramfsWarning("note ldconfig: input file a not found"));
    }

    // The second rebuild waits until the first has remounted /boot read-only; unserialised, it
    // would find /boot read-write, skip its own remount and write to a read-only /boot. The
    // second run reports its wait before it blocks, so a run that does not wait shows at once.
    void twoRebuildsRunOneAfterTheOther()
    {
        const QString release = _scratch->filePath(QStringLiteral("release"));
        const QString second = _scratch->filePath(QStringLiteral("second"));
        const TestSupport::ScopedEnv gate("DIGSIG_UPDATE_INITRAMFS_WAIT_FOR",
                                          QFile::encodeName(release));
        QStringList errors[2], warnings[2];
        std::atomic<int> waits {0};
        InitramfsRebuild::Options options;
        options.whenWaiting = [&waits] {
            ++waits;
        };
        std::unique_ptr<QThread> threads[2];
        // Whatever fails, the gate opens and both runs end before their results go out of scope.
        const auto open = [&] {
            TestSupport::writeFile(release, QByteArray());
            TestSupport::writeFile(second, QByteArray());
            for (const std::unique_ptr<QThread>& thread : threads)
                if (thread)
                    thread->wait();
        };
        const auto opened = qScopeGuard(open);
        for (int i : {0, 1}) {
            threads[i].reset(QThread::create([&errors, &warnings, i, options] {
                InitramfsRebuild::run(errors[i], warnings[i], options);
            }));
            threads[i]->start();
            // The first run is in update-initramfs without a wait; the second waits for it.
            // Polled rather than QTRY, which doubles its wait on failure to report the delay.
            const QDeadlineTimer deadline(10000);
            while (!(argvLines().contains(rebuild) && waits == i) && !deadline.hasExpired())
                QTest::qWait(10);
            QCOMPARE(waits.load(), i);
            QVERIFY(argvLines().contains(rebuild));
        }
        // The second run holds its own gate: it took the lock after waiting, and takes it alone.
        qputenv("DIGSIG_UPDATE_INITRAMFS_WAIT_FOR", QFile::encodeName(second));
        TestSupport::writeFile(release, QByteArray());
        QTRY_COMPARE_WITH_TIMEOUT(argvLines().count(rebuild), 2, 10000);
        QFile lock(sandboxPath(DigSig::initramfsLockPath()));
        QVERIFY(lock.open(QIODevice::ReadOnly));
        QVERIFY2(::flock(lock.handle(), LOCK_SH | LOCK_NB) != 0,
                 "a shared lock would let others in");
        open();
        QCOMPARE(errors[0] + errors[1], QStringList());
        QCOMPARE(argvLines(), remounted + remounted);
    }

private:
    QString logPath() const { return _scratch->filePath(QStringLiteral("tools.log")); }

    QStringList argvLines() const { return TestSupport::readLog(logPath()).filter(" argv "); }

    std::unique_ptr<QTemporaryDir> _scratch;
};

DIGSIG_SANDBOX_TEST_MAIN(InitramfsRebuildTest)
#include "initramfsrebuildtest.moc"
