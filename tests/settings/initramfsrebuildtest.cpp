#include "initramfsrebuild.h"
#include "digsigconstants.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QProcess>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <sys/stat.h>

namespace {

const QString mtabPath = QStringLiteral("/etc/mtab");
const QByteArray bootReadOnly = "/dev/sda1 /boot ext4 ro,relatime 0 2\n";

// One rebuild on a thread of its own, as a task runs it.
class Rebuild
{
public:
    explicit Rebuild(InitramfsRebuild::Options options = {})
    {
        options.whenWaiting = [this] {
            waiting = true;
        };
        _thread.reset(
            QThread::create([this, options] { InitramfsRebuild::run(errors, warnings, options); }));
        _thread->start();
    }

    bool wait() { return _thread->wait(60000); }

    std::atomic<bool> waiting {false};
    QStringList errors;
    QStringList warnings;

private:
    std::unique_ptr<QThread> _thread;
};

} // namespace

// The /boot remount, update-initramfs and remount sequence, one at a time.
class InitramfsRebuildTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void twoRebuildsRunOneAfterTheOther();
    void waitsForARebuildOfAnotherProcess();
    void hungRebuildIsStoppedAndBootRemountedReadOnly();
    void lockThroughALinkIsRefused();
    void lockDirectoryIsRootsOwn();
    void pendingRecordTellsHowTheLastRebuildEnded_data();
    void pendingRecordTellsHowTheLastRebuildEnded();

private:
    QStringList log() const;
    QString release() const { return _scratch->filePath(QStringLiteral("release")); }

    std::unique_ptr<QTemporaryDir> _scratch;
};

void InitramfsRebuildTest::init()
{
    _scratch = std::make_unique<QTemporaryDir>();
    const QByteArray logPath = _scratch->filePath(QStringLiteral("tools.log")).toUtf8();
    qputenv("DIGSIG_UPDATE_INITRAMFS_LOG", logPath);
    qputenv("DIGSIG_MOUNT_LOG", logPath);
    QVERIFY(TestSupport::writeFile(Sysroot::path(mtabPath), bootReadOnly));
}

void InitramfsRebuildTest::cleanup()
{
    qunsetenv("DIGSIG_UPDATE_INITRAMFS_WAIT_FOR");
    qunsetenv("DIGSIG_UPDATE_INITRAMFS_HANG");
    qunsetenv("DIGSIG_UPDATE_INITRAMFS_EXIT");
    QFile::remove(Sysroot::path(DigSig::initramfsLockPath()));
}

QStringList InitramfsRebuildTest::log() const
{
    QStringList steps;
    for (const QString& line :
         TestSupport::readLog(_scratch->filePath(QStringLiteral("tools.log"))))
        if (!line.contains(QLatin1String(" argv ")))
            steps << line.section(QLatin1Char(' '), 0, 1);
    return steps;
}

// The second rebuild waits until the first has remounted /boot read-only; unserialised, it would
// find /boot read-write, skip its own remount and write to a read-only /boot.
void InitramfsRebuildTest::twoRebuildsRunOneAfterTheOther()
{
    qputenv("DIGSIG_UPDATE_INITRAMFS_WAIT_FOR", release().toUtf8());
    Rebuild first;
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("update-initramfs start")), 30000);
    Rebuild second;
    QTRY_VERIFY_WITH_TIMEOUT(second.waiting, 30000);
    QVERIFY(!first.waiting);
    QVERIFY(TestSupport::writeFile(release(), QByteArray()));
    QVERIFY(first.wait());
    QVERIFY(second.wait());

    QCOMPARE(first.errors, QStringList());
    QCOMPARE(second.errors, QStringList());
    const QStringList once {"mount start",          "mount end",   "update-initramfs start",
                            "update-initramfs end", "mount start", "mount end"};
    QCOMPARE(log(), once + once);
    QCOMPARE(TestSupport::readFile(Sysroot::path(mtabPath)), bootReadOnly);
}

void InitramfsRebuildTest::waitsForARebuildOfAnotherProcess()
{
    const QString locked = _scratch->filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(Sysroot::path(DigSig::runDirectory())));
    QProcess other;
    other.start(QStringLiteral("flock"),
                {Sysroot::path(DigSig::initramfsLockPath()), QStringLiteral("sh"),
                 QStringLiteral("-c"),
                 QStringLiteral("touch '%1'; while [ ! -e '%2' ]; do sleep 0.05; done")
                     .arg(locked, release())});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(locked), 30000);
    Rebuild rebuild;
    QTRY_VERIFY_WITH_TIMEOUT(rebuild.waiting, 30000);
    QCOMPARE(log(), QStringList());
    QVERIFY(TestSupport::writeFile(release(), QByteArray()));
    QVERIFY(other.waitForFinished(30000));
    QVERIFY(rebuild.wait());
    QCOMPARE(rebuild.errors, QStringList());
    QCOMPARE(log().size(), 6);
}

void InitramfsRebuildTest::hungRebuildIsStoppedAndBootRemountedReadOnly()
{
    qputenv("DIGSIG_UPDATE_INITRAMFS_HANG", "1");
    InitramfsRebuild::Options options;
    options.initramfsTimeoutMsecs = 200;
    Rebuild rebuild(options);
    QVERIFY(rebuild.wait());
    QCOMPARE(rebuild.errors,
             QStringList {QStringLiteral("Process: \"update-initramfs -u -k all\" did not finish "
                                         "within 0.2 seconds and was stopped.")});
    QCOMPARE(log().first(), QStringLiteral("mount start"));
    QCOMPARE(log().mid(log().size() - 2),
             QStringList({QStringLiteral("mount start"), QStringLiteral("mount end")}));
    QVERIFY(!log().contains(QStringLiteral("update-initramfs end")));
    QCOMPARE(TestSupport::readFile(Sysroot::path(mtabPath)), bootReadOnly);
}

void InitramfsRebuildTest::lockThroughALinkIsRefused()
{
    const QString lock = Sysroot::path(DigSig::initramfsLockPath());
    const QString elsewhere = _scratch->filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(QFileInfo(lock).absolutePath()));
    QVERIFY(QFile::link(elsewhere, lock));
    Rebuild rebuild;
    QVERIFY(rebuild.wait());
    QVERIFY(QFile::remove(lock));
    QCOMPARE(rebuild.errors,
             QStringList {QStringLiteral("Can not lock /run/cova-digsig-plugin/initramfs.lock for "
                                         "the rebuild of the initial RAM file system: Too many "
                                         "levels of symbolic links")});
    QVERIFY(!QFile::exists(elsewhere));
    QCOMPARE(log(), QStringList());
}

void InitramfsRebuildTest::lockDirectoryIsRootsOwn()
{
    const QString directory = Sysroot::path(DigSig::runDirectory());
    QDir(directory).removeRecursively();
    const mode_t old = ::umask(0);
    Rebuild rebuild;
    ::umask(old);
    QVERIFY(rebuild.wait());
    QCOMPARE(rebuild.errors, QStringList());
    QCOMPARE(QFileInfo(directory).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser
                 | QFile::WriteUser | QFile::ExeUser);
}

void InitramfsRebuildTest::pendingRecordTellsHowTheLastRebuildEnded_data()
{
    QTest::addColumn<bool>("leftOut");
    QTest::addColumn<QByteArray>("exitCode");
    QTest::addColumn<bool>("pending");
    QTest::newRow("left out, then rebuilt") << true << QByteArray("0") << false;
    QTest::newRow("rebuild failed") << false << QByteArray("1") << true;
    QTest::newRow("left out, then failed") << true << QByteArray("1") << true;
}

void InitramfsRebuildTest::pendingRecordTellsHowTheLastRebuildEnded()
{
    QFETCH(bool, leftOut);
    QFETCH(QByteArray, exitCode);
    QFETCH(bool, pending);
    QFile::remove(Sysroot::path(DigSig::initramfsRebuildPendingPath()));
    if (leftOut)
        QCOMPARE(InitramfsRebuild::markPending(), QString());
    QCOMPARE(InitramfsRebuild::isPending(), leftOut);
    qputenv("DIGSIG_UPDATE_INITRAMFS_EXIT", exitCode);
    Rebuild rebuild;
    QVERIFY(rebuild.wait());
    QCOMPARE(rebuild.errors.isEmpty(), !pending);
    QCOMPARE(InitramfsRebuild::isPending(), pending);
}

DIGSIG_SANDBOX_TEST_MAIN(InitramfsRebuildTest)
#include "initramfsrebuildtest.moc"
