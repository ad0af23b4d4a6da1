#include "atomicfile.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// The rules of the one writer of the system's files, each once, as a row per target found.
class AtomicFileTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QDir(_folder).removeRecursively();
        QDir().mkpath(_folder);
        // Under 077 a new file that merely inherits the umask shows, whatever mode was asked.
        _umask = ::umask(077);
    }
    void cleanup()
    {
        TestSupport::unmount(_folder);
        ::umask(_umask);
    }

    void writes_data()
    {
        QTest::addColumn<QString>("operation"); // replace[:fingerprint taken], append[ truncate]
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error"); // start of the message, %1 the path; "": success
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("mode"); // asked for a new file; expected of an existing one
        const QString changed = "%1 has changed since it was read; it was not written.";
        const QString link = "%1 is a symbolic link; it was not written.";
        const QString notRegular = "%1 is not a regular file; it was not written.";
        const auto row = [](const char* name, const char* operation, const char* kind,
                            const QString& error, const QByteArray& after, int mode) {
            QTest::newRow(name) << operation << kind << error << after << mode;
        };
        row("new file, mode as asked", "replace", "absent", "", "new\n", 0644);
        row("new private file", "replace", "absent", "", "new\n", 0600);
        row("existing file keeps mode, owner", "replace", "file", "", "new\n", 0640);
        row("unchanged since read", "replace:same", "file", "", "new\n", 0640);
        row("still absent", "replace:absent", "absent", "", "new\n", 0644);
        row("changed since read", "replace:other", "file", changed, "", 0);
        row("removed since read", "replace:same", "absent", changed, "", 0);
        row("created since read", "replace:absent", "file", changed, "", 0);
        row("link", "replace", "link", link, "", 0);
        row("dangling link", "replace", "dangling", link, "", 0);
        row("directory", "replace", "directory", notRegular, "", 0);
        row("full file system", "replace", "full", "Can not write %1: ", "", 0);
        row("new log", "append", "absent", "", "line\n", 0644);
        row("log appended to", "append", "file", "", _old + "line\n", 0640);
        row("log emptied first", "append truncate", "file", "", "line\n", 0640);
        row("log is a link", "append", "link", link, "", 0);
        row("log is a FIFO nobody reads", "append", "fifo", notRegular, "", 0);
        row("log is a directory", "append", "directory", notRegular, "", 0);
    }

    // A refusal or failure leaves everything as it was, temporaries included.
    void writes()
    {
        QFETCH(QString, operation);
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QFETCH(QByteArray, after);
        QFETCH(int, mode);
        QString message;
        if (kind == QLatin1String("full") && !TestSupport::mountTmpfs(_folder, 64, &message))
            QSKIP(qPrintable(message));
        QVERIFY(prepare(kind));
        const QByteArray before = contents(_target);
        const QByteArray aside = contents(_elsewhere);
        const QStringList found = entries();
        const mode_t asked = kind == QLatin1String("absent") ? mode_t(mode) : 0600;
        if (operation.startsWith(QLatin1String("append"))) {
            const int fd = AtomicFile::openForAppend(_target, asked, operation.endsWith("truncate"),
                                                     &message);
            QCOMPARE(fd >= 0, error.isEmpty());
            QVERIFY(fd < 0 || (::write(fd, "line\n", 5) == 5 && ::close(fd) == 0));
        } else {
            const QString taken = operation.section(QLatin1Char(':'), 1);
            const QByteArray fingerprint = taken.isEmpty() ? QByteArray()
                : taken == QLatin1String("absent")
                ? AtomicFile::absentFingerprint()
                : AtomicFile::fingerprint(taken == QLatin1String("same") ? _old : "other");
            message = AtomicFile::replace(_target,
                                          kind == "full" ? QByteArray(200 * 1024, 'n') : "new\n",
                                          asked, fingerprint);
        }
        QVERIFY2(error.isEmpty() ? message.isEmpty() : message.startsWith(error.arg(_shown)),
                 qPrintable(message));
        if (!error.isEmpty()) {
            QCOMPARE(contents(_target), before);
            QCOMPARE(contents(_elsewhere), aside);
            QCOMPARE(entries(), found);
            return;
        }
        struct stat status = {};
        QCOMPARE(::lstat(QFile::encodeName(_target).constData(), &status), 0);
        QCOMPARE(contents(_target), after);
        QCOMPARE(int(status.st_mode & 07777), mode);
        QCOMPARE(status.st_uid, kind == "file" && ::geteuid() == 0 ? 65534 : ::geteuid());
        QCOMPARE(entries(), QStringList {QStringLiteral("test.conf")});
    }

    void reads_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<int>("status");
        using C = AtomicFile::Contents;
        QTest::newRow("exactly the limit") << "file" << qint64(_old.size()) << int(C::Read);
        QTest::newRow("over the limit") << "file" << qint64(4) << int(C::TooLarge);
        QTest::newRow("through a link") << "link" << qint64(100) << int(C::Read);
        QTest::newRow("absent") << "absent" << qint64(100) << int(C::Absent);
        QTest::newRow("FIFO, nobody writing") << "fifo" << qint64(100) << int(C::Failed);
    }

    // Whatever was kept, the fingerprint is that of the whole file, as a later check sees it.
    void reads()
    {
        QFETCH(QString, kind);
        QFETCH(qint64, maxBytes);
        QFETCH(int, status);
        QVERIFY(prepare(kind));
        const AtomicFile::Contents read = AtomicFile::read(_target, maxBytes);
        const bool content
            = status == AtomicFile::Contents::Read || status == AtomicFile::Contents::TooLarge;
        QCOMPARE(int(read.status), status);
        QCOMPARE(read.content, content ? _old.left(int(maxBytes)) : QByteArray());
        QCOMPARE(read.error.isEmpty(), status != AtomicFile::Contents::Failed);
        const QByteArray expected = content          ? AtomicFile::fingerprint(_old)
            : status == AtomicFile::Contents::Absent ? AtomicFile::absentFingerprint()
                                                     : QByteArray();
        QCOMPARE(read.fingerprint, expected);
        QCOMPARE(AtomicFile::currentFingerprint(_target), expected);
    }

private:
    // A FIFO is not opened: that would block.
    static QByteArray contents(const QString& path)
    {
        return QFileInfo(path).isFile() ? TestSupport::readFile(path) : QByteArray();
    }
    QStringList entries() const
    {
        return QDir(_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot
                                       | QDir::System);
    }

    // Puts what the writer or reader finds in the target's place: absent, file (mode 0640,
    // owned by nobody when we may), link (to a file), dangling (link), directory, fifo.
    bool prepare(const QString& kind) const
    {
        const QByteArray path = QFile::encodeName(_target);
        if (kind == QLatin1String("file") || kind == QLatin1String("full"))
            return TestSupport::writeFile(_target, _old) && ::chmod(path, 0640) == 0
                && (::geteuid() != 0 || ::chown(path, 65534, 65534) == 0);
        if (kind == QLatin1String("link") && !TestSupport::writeFile(_elsewhere, _old))
            return false;
        if (kind == QLatin1String("link") || kind == QLatin1String("dangling"))
            return QFile::link(_elsewhere, _target);
        if (kind == QLatin1String("directory"))
            return QDir().mkpath(_target);
        return kind == QLatin1String("fifo") ? ::mkfifo(path, 0600) == 0 : kind == "absent";
    }

    const QString _shown = QStringLiteral("/etc/digsig/test.conf");
    const QString _folder = Sysroot::path(QStringLiteral("/etc/digsig"));
    const QString _target = Sysroot::path(_shown);
    const QString _elsewhere = Sysroot::path(QStringLiteral("/etc/digsig/elsewhere"));
    const QByteArray _old = "old content\n";
    mode_t _umask = 0;
};

DIGSIG_SANDBOX_TEST_MAIN(AtomicFileTest)
#include "atomicfiletest.moc"
