#include "atomicfile.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class AtomicFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void replacesWithExplicitModes_data();
    void replacesWithExplicitModes();
    void keepsOwnerAndGroup();
    void refusesUnsuitableTargets_data();
    void refusesUnsuitableTargets();
    void refusesFileChangedSinceRead_data();
    void refusesFileChangedSinceRead();
    void fullFileSystemKeepsOldFile();
    void appendsWithoutFollowingLinks();
    void readsRegularFilesOnly_data();
    void readsRegularFilesOnly();

private:
    static QString target() { return Sysroot::path(QStringLiteral("/etc/digsig/test.conf")); }
    static QStringList directoryEntries()
    {
        return QDir(QFileInfo(target()).absolutePath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    }
    static mode_t modeOf(const QString& path)
    {
        struct stat status
        {
        };
        ::lstat(QFile::encodeName(path).constData(), &status);
        return status.st_mode & 07777;
    }
    mode_t _umask = 0;
};

void AtomicFileTest::init()
{
    QDir(Sysroot::path(QStringLiteral("/etc/digsig"))).removeRecursively();
    QDir().mkpath(Sysroot::path(QStringLiteral("/etc/digsig")));
    _umask = ::umask(0);
}

void AtomicFileTest::cleanup()
{
    ::umask(_umask);
}

void AtomicFileTest::replacesWithExplicitModes_data()
{
    QTest::addColumn<int>("existingMode"); // -1: no file yet
    QTest::addColumn<int>("newFileMode");
    QTest::addColumn<int>("expectedMode");
    QTest::newRow("new public file, umask 000") << -1 << 0644 << 0644;
    QTest::newRow("new private file, umask 000") << -1 << 0600 << 0600;
    QTest::newRow("existing file keeps its mode") << 0640 << 0600 << 0640;
}

void AtomicFileTest::replacesWithExplicitModes()
{
    QFETCH(int, existingMode);
    QFETCH(int, newFileMode);
    QFETCH(int, expectedMode);
    if (existingMode >= 0) {
        QVERIFY(TestSupport::writeFile(target(), "old content that is longer\n"));
        QCOMPARE(::chmod(QFile::encodeName(target()).constData(), mode_t(existingMode)), 0);
    }
    QCOMPARE(AtomicFile::replace(target(), "new\n", mode_t(newFileMode)), QString());
    QCOMPARE(TestSupport::readFile(target()), QByteArray("new\n"));
    QCOMPARE(int(modeOf(target())), expectedMode);
    QCOMPARE(directoryEntries(), QStringList {QStringLiteral("test.conf")});
}

void AtomicFileTest::keepsOwnerAndGroup()
{
    if (::geteuid() != 0)
        QSKIP("changing a file's owner needs root");
    QVERIFY(TestSupport::writeFile(target(), "old\n"));
    QCOMPARE(::chown(QFile::encodeName(target()).constData(), 65534, 65534), 0);
    QCOMPARE(AtomicFile::replace(target(), "new\n", AtomicFile::publicMode), QString());
    struct stat status
    {
    };
    QCOMPARE(::stat(QFile::encodeName(target()).constData(), &status), 0);
    QCOMPARE(int(status.st_uid), 65534);
    QCOMPARE(int(status.st_gid), 65534);
}

void AtomicFileTest::refusesUnsuitableTargets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    const QString shown = QStringLiteral("/etc/digsig/test.conf");
    QTest::newRow("link to a file") << "link" << shown + " is a symbolic link; it was not written.";
    QTest::newRow("dangling link")
        << "dangling" << shown + " is a symbolic link; it was not written.";
    QTest::newRow("directory") << "directory"
                               << shown + " is not a regular file; it was not written.";
}

void AtomicFileTest::refusesUnsuitableTargets()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString elsewhere = Sysroot::path(QStringLiteral("/etc/shadow"));
    QFile::remove(elsewhere);
    if (kind == QLatin1String("link"))
        QVERIFY(TestSupport::writeFile(elsewhere, "secret\n"));
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(target()));
    else
        QVERIFY(QFile::link(elsewhere, target()));

    QCOMPARE(AtomicFile::replace(target(), "new\n", AtomicFile::publicMode), message);
    QCOMPARE(TestSupport::readFile(elsewhere), kind == QLatin1String("link") ? "secret\n" : "");
    QCOMPARE(QFileInfo(target()).isSymLink(), kind != QLatin1String("directory"));
    QString error;
    QCOMPARE(AtomicFile::openForAppend(target(), AtomicFile::privateMode, true, &error), -1);
    QCOMPARE(error, message);
    QCOMPARE(TestSupport::readFile(elsewhere), kind == QLatin1String("link") ? "secret\n" : "");
    QCOMPARE(directoryEntries(), QStringList {QStringLiteral("test.conf")});
}

void AtomicFileTest::refusesFileChangedSinceRead_data()
{
    QTest::addColumn<QByteArray>("whenRead"); // "-": no file
    QTest::addColumn<QByteArray>("now");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("unchanged") << QByteArray("a\n") << QByteArray("a\n") << true;
    QTest::newRow("changed") << QByteArray("a\n") << QByteArray("b\n") << false;
    QTest::newRow("emptied") << QByteArray("a\n") << QByteArray() << false;
    QTest::newRow("removed") << QByteArray("a\n") << QByteArray("-") << false;
    QTest::newRow("still absent") << QByteArray("-") << QByteArray("-") << true;
    QTest::newRow("created meanwhile") << QByteArray("-") << QByteArray("a\n") << false;
}

void AtomicFileTest::refusesFileChangedSinceRead()
{
    QFETCH(QByteArray, whenRead);
    QFETCH(QByteArray, now);
    QFETCH(bool, replaced);
    const QByteArray expected
        = whenRead == "-" ? AtomicFile::absentFingerprint() : AtomicFile::fingerprint(whenRead);
    if (now != "-")
        QVERIFY(TestSupport::writeFile(target(), now));
    QCOMPARE(AtomicFile::currentFingerprint(target()) == expected, replaced);

    const QString error = AtomicFile::replace(target(), "new\n", AtomicFile::publicMode, expected);
    QCOMPARE(error.isEmpty(), replaced);
    if (!replaced) {
        QCOMPARE(error,
                 QStringLiteral("/etc/digsig/test.conf has changed since it was read; it "
                                "was not written."));
        QCOMPARE(QFileInfo::exists(target()), now != "-");
    }
    QCOMPARE(TestSupport::readFile(target()),
             replaced ? QByteArray("new\n") : now.replace("-", ""));
}

void AtomicFileTest::fullFileSystemKeepsOldFile()
{
    const QString directory = QFileInfo(target()).absolutePath();
    QString reason;
    if (!TestSupport::mountTmpfs(directory, 64, &reason))
        QSKIP(qPrintable(reason));
    const QByteArray old(1000, 'o');
    QVERIFY(TestSupport::writeFile(target(), old));

    const QString error
        = AtomicFile::replace(target(), QByteArray(200 * 1024, 'n'), AtomicFile::publicMode);
    const QStringList left = directoryEntries();
    TestSupport::unmount(directory);
    QVERIFY2(error.startsWith(QStringLiteral("Can not write /etc/digsig/test.conf: ")),
             qPrintable(error));
    QCOMPARE(left, QStringList {QStringLiteral("test.conf")});
}

void AtomicFileTest::appendsWithoutFollowingLinks()
{
    QString error;
    int fd = AtomicFile::openForAppend(target(), AtomicFile::privateMode, false, &error);
    QVERIFY2(fd >= 0, qPrintable(error));
    QCOMPARE(::write(fd, "one\n", 4), ssize_t(4));
    ::close(fd);
    QCOMPARE(int(modeOf(target())), 0600);

    QCOMPARE(::chmod(QFile::encodeName(target()).constData(), 0640), 0);
    fd = AtomicFile::openForAppend(target(), AtomicFile::privateMode, false, &error);
    QCOMPARE(::write(fd, "two\n", 4), ssize_t(4));
    ::close(fd);
    QCOMPARE(TestSupport::readFile(target()), QByteArray("one\ntwo\n"));
    QCOMPARE(int(modeOf(target())), 0640);

    fd = AtomicFile::openForAppend(target(), AtomicFile::privateMode, true, &error);
    ::close(fd);
    QCOMPARE(TestSupport::readFile(target()), QByteArray());

    // A FIFO in the log's place must neither block the opener nor be written to.
    QFile::remove(target());
    QCOMPARE(::mkfifo(QFile::encodeName(target()).constData(), 0600), 0);
    QCOMPARE(AtomicFile::openForAppend(target(), AtomicFile::privateMode, false, &error), -1);
    QCOMPARE(error,
             QStringLiteral("/etc/digsig/test.conf is not a regular file; it was not "
                            "written."));
}

void AtomicFileTest::readsRegularFilesOnly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("content");
    using Contents = AtomicFile::Contents;
    QTest::newRow("whole file") << "file" << qint64(100) << int(Contents::Read)
                                << QByteArray("0123456789");
    QTest::newRow("exactly the limit")
        << "file" << qint64(10) << int(Contents::Read) << QByteArray("0123456789");
    QTest::newRow("over the limit")
        << "file" << qint64(4) << int(Contents::TooLarge) << QByteArray("0123");
    QTest::newRow("through a link")
        << "link" << qint64(100) << int(Contents::Read) << QByteArray("0123456789");
    QTest::newRow("absent") << "absent" << qint64(100) << int(Contents::Absent) << QByteArray();
    QTest::newRow("FIFO, nobody writing")
        << "fifo" << qint64(100) << int(Contents::Failed) << QByteArray();
    QTest::newRow("directory") << "directory" << qint64(100) << int(Contents::Failed)
                               << QByteArray();
}

// Whatever was kept, the fingerprint is that of the whole file, as currentFingerprint() sees it.
void AtomicFileTest::readsRegularFilesOnly()
{
    QFETCH(QString, kind);
    QFETCH(qint64, maxBytes);
    QFETCH(int, status);
    QFETCH(QByteArray, content);
    const QString real = Sysroot::path(QStringLiteral("/etc/digsig/real"));
    QVERIFY(TestSupport::writeFile(real, "0123456789"));
    if (kind == QLatin1String("file"))
        QVERIFY(TestSupport::writeFile(target(), "0123456789"));
    else if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(real, target()));
    else if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(target()).constData(), 0600), 0);
    else if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(target()));

    const AtomicFile::Contents read = AtomicFile::read(target(), maxBytes);
    QCOMPARE(int(read.status), status);
    QCOMPARE(read.content, content);
    QCOMPARE(read.error.isEmpty(), status != AtomicFile::Contents::Failed);
    const QByteArray expected = status == AtomicFile::Contents::Absent
        ? AtomicFile::absentFingerprint()
        : status == AtomicFile::Contents::Failed ? QByteArray()
                                                 : AtomicFile::fingerprint("0123456789");
    QCOMPARE(read.fingerprint, expected);
    QCOMPARE(AtomicFile::currentFingerprint(target()), expected);
}

DIGSIG_SANDBOX_TEST_MAIN(AtomicFileTest)
#include "atomicfiletest.moc"
