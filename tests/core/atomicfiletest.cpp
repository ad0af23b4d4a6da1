#include "atomicfile.h"
#include "digsigconstants.h"
#include "testsupport.h"
#include "translationloader.h"

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
        QTest::addColumn<QString>("error"); // a distinctive part of the message; "": success
        const auto row = [](const char* operation, const char* kind, const char* error = "") {
            QTest::addRow("%s, %s", operation, kind) << operation << kind << error;
        };
        row("replace:same", "file");
        row("replace:absent", "absent");
        row("replace:other", "file", "changed since it was read");
        row("replace:same", "absent", "changed since it was read");
        row("replace", "link", "/etc/digsig/test.conf is a symbolic link; it was not written.");
        row("replace", "directory", "/etc/digsig/test.conf is not a regular file;");
        row("replace", "full", "Can not write /etc/digsig/test.conf: ");
        row("append", "absent");
        row("append", "file");
        row("append truncate", "file");
        row("append", "link", "symbolic link");
        row("append", "fifo", "not a regular file");
        row("append", "directory", "not a regular file");
    }

    // Reading follows links and keeps the fingerprint of the whole file, whatever was kept.
    // Writing sets the mode asked on a new file and keeps an existing one's mode and owner; a
    // refusal or failure leaves everything as it was, temporaries included.
    void writes()
    {
        QFETCH(QString, operation);
        QFETCH(QString, kind);
        QFETCH(QString, error);
        QString message;
        if (kind == "full" && !TestSupport::mountTmpfs(_folder, 64, &message))
            QSKIP(qPrintable(message));
        QVERIFY(prepare(kind));
        using C = AtomicFile::Contents;
        const bool readable = kind == "file" || kind == "full" || kind == "link";
        const bool absent = kind == "absent";
        const QByteArray fingerprint = readable ? AtomicFile::fingerprint(_old)
            : absent                            ? AtomicFile::absentFingerprint()
                                                : QByteArray();
        QCOMPARE(AtomicFile::currentFingerprint(_target), fingerprint);
        for (const int max : {_old.size(), _old.size() - 1}) {
            const C read = AtomicFile::read(_target, max);
            QCOMPARE(int(read.status),
                     readable     ? (max < _old.size() ? C::TooLarge : C::Read)
                         : absent ? C::Absent
                                  : C::Failed);
            QCOMPARE(read.content, readable ? _old.left(max) : QByteArray());
            QCOMPARE(read.error.isEmpty(), readable || absent);
            QCOMPARE(read.fingerprint, fingerprint);
        }
        // A FIFO is not opened: that would block.
        const auto contents = [](const QString& path) {
            return QFileInfo(path).isFile() ? TestSupport::readFile(path) : QByteArray();
        };
        const auto entries = [this] {
            return QDir(_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                           | QDir::NoDotAndDotDot);
        };
        const QByteArray before = contents(_target), aside = contents(_elsewhere);
        const QStringList found = entries();
        const QString taken = operation.section(':', 1);
        if (operation.startsWith("append")) {
            const int fd = AtomicFile::openForAppend(_target, 0644, operation.endsWith("truncate"),
                                                     &message);
            QCOMPARE(fd >= 0, error.isEmpty());
            QVERIFY(fd < 0 || (::write(fd, "line\n", 5) == 5 && ::close(fd) == 0));
        } else {
            message = AtomicFile::replace(
                _target, kind == "full" ? QByteArray(200 * 1024, 'n') : "new\n", 0644,
                taken.isEmpty() ? QByteArray()
                    : taken == "absent"
                    ? AtomicFile::absentFingerprint()
                    : AtomicFile::fingerprint(taken == "same" ? _old : "other"));
        }
        QVERIFY2(error.isEmpty() ? message.isEmpty() : message.contains(error),
                 qPrintable(message));
        const bool kept = kind == "file" && operation != "append truncate";
        QCOMPARE(contents(_target),
                 !error.isEmpty()                     ? before
                     : operation.startsWith("append") ? (kept ? _old : "") + "line\n"
                                                      : QByteArray("new\n"));
        QCOMPARE(contents(_elsewhere), aside);
        QCOMPARE(entries(), error.isEmpty() ? QStringList {QStringLiteral("test.conf")} : found);
        if (!error.isEmpty())
            return;
        struct stat status = {};
        QCOMPARE(::lstat(QFile::encodeName(_target).constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 07777), kind == "file" ? 0640 : 0644);
        QCOMPARE(status.st_uid, kind == "file" && ::geteuid() == 0 ? 65534 : ::geteuid());
    }

    // The catalogue of the system's language is installed on the application's thread, whichever
    // thread asks for it; without one the texts stay English.
    void loadsTranslations()
    {
        QCOMPARE(QLocale::system().name(), QStringLiteral("ru_RU")); // set by CTest
        const QString catalogue = TestSupport::sandboxPath(DigSig::translationsDirectory()) + "/"
            + DigSig::translationCatalogue() + "_ru.qm";
        const QString source = QFileInfo(catalogue).absolutePath() + "/catalogue.ts";
        QVERIFY(TestSupport::writeFile(source, R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS><TS version="2.1" language="ru_RU"><context><name>DigSigPlugin</name>
<message><source>Keys</source><translation>Ключи</translation></message></context></TS>)"));
        loadTranslations();
        QCOMPARE(QCoreApplication::translate("DigSigPlugin", "Keys"), QStringLiteral("Keys"));
        QCOMPARE(QProcess::execute(LRELEASE_PROGRAM, {"-silent", source, "-qm", catalogue}), 0);
        QScopedPointer<QThread> thread(QThread::create(loadTranslations));
        thread->start();
        QVERIFY(thread->wait(10000));
        QCOMPARE(QCoreApplication::translate("DigSigPlugin", "Keys"), QStringLiteral("Keys"));
        QTRY_COMPARE(QCoreApplication::translate("DigSigPlugin", "Keys"),
                     QString::fromUtf8("Ключи"));
    }

private:
    // Puts what the writer or reader finds in the target's place: absent, file (mode 0640,
    // owned by nobody when we may), link (to a file), directory, fifo.
    bool prepare(const QString& kind) const
    {
        const QByteArray path = QFile::encodeName(_target);
        if (kind == "file" || kind == "full")
            return TestSupport::writeFile(_target, _old) && ::chmod(path, 0640) == 0
                && (::geteuid() != 0 || ::chown(path, 65534, 65534) == 0);
        if (kind == "link")
            return TestSupport::writeFile(_elsewhere, _old) && QFile::link(_elsewhere, _target);
        if (kind == "directory")
            return QDir().mkpath(_target);
        return kind == "fifo" ? ::mkfifo(path, 0600) == 0 : kind == "absent";
    }

    const QString _folder = TestSupport::sandboxPath(QStringLiteral("/etc/digsig"));
    const QString _target = TestSupport::sandboxPath(QStringLiteral("/etc/digsig/test.conf"));
    const QString _elsewhere = TestSupport::sandboxPath(QStringLiteral("/etc/digsig/elsewhere"));
    const QByteArray _old = "old content\n";
    mode_t _umask = 0;
};

DIGSIG_SANDBOX_TEST_MAIN(AtomicFileTest)
#include "atomicfiletest.moc"
