#include "bsignrunner.h"
#include "bsignstandin.h"
#include "testsupport.h"

#include <QApplication>
#include <QThread>
#include <QThreadPool>
#include <QtTest>

using namespace BsignStandIn;

// What one runner reported, as seen in the GUI thread.
struct Outcome
{
    QStringList finishedFiles;
    QList<Bsign::ReturnValue> values;
    QStringList errorFiles;
    QList<QProcess::ProcessError> errors;
    QList<QThread*> deliveryThreads;
    int count() const { return finishedFiles.size() + errorFiles.size(); }
};

class BsignRunnerTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;

    QString makeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = _dir.filePath(name);
        TestSupport::writeFile(path, bytes);
        return path;
    }

    // Connected the way the signing dialog connects: queued, to an object of the GUI thread.
    void startRunner(const QString& file, const QString& key, Bsign::SignMode mode,
                     Outcome& outcome)
    {
        auto* runner = new BsignRunner(file, key, mode);
        connect(
            runner, &BsignRunner::finished, this,
            [&outcome](const QString& f, Bsign::ReturnValue value) {
                outcome.finishedFiles << f;
                outcome.values << value;
                outcome.deliveryThreads << QThread::currentThread();
            },
            Qt::QueuedConnection);
        connect(
            runner, &BsignRunner::errorOccured, this,
            [&outcome](const QString& f, QProcess::ProcessError error) {
                outcome.errorFiles << f;
                outcome.errors << error;
                outcome.deliveryThreads << QThread::currentThread();
            },
            Qt::QueuedConnection);
        QThreadPool::globalInstance()->start(runner, 0);
    }

    static void waitForOutcome(const Outcome& outcome)
    {
        QVERIFY(QThreadPool::globalInstance()->waitForDone(-1));
        QTRY_VERIFY(outcome.count() > 0);
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void cleanup() { QThreadPool::globalInstance()->waitForDone(-1); }

    void finishedWithResult_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Bsign::SignMode>("mode");
        QTest::addColumn<QByteArray>("forcedExit");
        QTest::addColumn<Bsign::ReturnValue>("expected");
        QTest::newRow("signed") << "prog" << Bsign::ElfOnly << QByteArray() << Bsign::NoError;
        QTest::newRow("missing file")
            << "missing" << Bsign::ElfAndXattr << QByteArray() << Bsign::FileNotFound;
        QTest::newRow("directory") << "" << Bsign::XattrOnly << QByteArray() << Bsign::IsDirectory;
        QTest::newRow("script, ELF only")
            << "script" << Bsign::ElfOnly << QByteArray() << Bsign::UnsupportedFileType;
        const QList<Bsign::ReturnValue> forced {
            Bsign::PermissionDenied, Bsign::NoMemory,          Bsign::InvalidArgument,
            Bsign::TooManyOpenFiles, Bsign::FileBusy,          Bsign::NoSpaceOnDevice,
            Bsign::NameTooLong,      Bsign::NoHashFound,       Bsign::NoSignatureFound,
            Bsign::BadHashFound,     Bsign::BadSignatureFound, Bsign::BadPassPhrase,
            Bsign::RewriteFailed};
        for (Bsign::ReturnValue value : forced)
            QTest::addRow("exit %d", int(value))
                << "prog" << Bsign::ElfAndXattr << QByteArray::number(int(value)) << value;
        QTest::newRow("exit 3") << "prog" << Bsign::ElfAndXattr << QByteArray("3")
                                << Bsign::UnknownError;
        QTest::newRow("exit 71") << "prog" << Bsign::ElfAndXattr << QByteArray("71")
                                 << Bsign::UnknownError;
    }

    void finishedWithResult()
    {
        QFETCH(QString, name);
        QFETCH(Bsign::SignMode, mode);
        QFETCH(QByteArray, forcedExit);
        QFETCH(Bsign::ReturnValue, expected);
        Session session;
        makeFile(QStringLiteral("prog"), elfBytes());
        makeFile(QStringLiteral("script"), "#!/bin/sh\n");
        std::unique_ptr<ScopedEnv> exitCode;
        if (!forcedExit.isEmpty())
            exitCode = std::make_unique<ScopedEnv>("DIGSIG_BSIGN_EXIT", forcedExit);
        const QString file = _dir.path() + QLatin1Char('/') + name;

        Outcome outcome;
        startRunner(file, QStringLiteral("KEY1"), mode, outcome);
        waitForOutcome(outcome);
        QCOMPARE(outcome.finishedFiles, QStringList {file});
        QCOMPARE(outcome.values, QList<Bsign::ReturnValue> {expected});
        QVERIFY(outcome.errorFiles.isEmpty());
        QCOMPARE(outcome.deliveryThreads, QList<QThread*> {thread()});
        QCOMPARE(session.calls().size(), 1);
    }

    void crashGivesUnknownError()
    {
        Session session;
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        ScopedEnv crash("DIGSIG_BSIGN_CRASH", "1");
        Outcome outcome;
        startRunner(file, QString(), Bsign::ElfAndXattr, outcome);
        waitForOutcome(outcome);
        QCOMPARE(outcome.values, QList<Bsign::ReturnValue> {Bsign::UnknownError});
        QVERIFY(outcome.errors.isEmpty());
    }

    void missingToolGivesFailedToStart()
    {
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        QTemporaryDir emptyDir;
        ScopedEnv path("PATH", emptyDir.path().toUtf8());
        Outcome outcome;
        startRunner(file, QString(), Bsign::ElfAndXattr, outcome);
        waitForOutcome(outcome);
        QCOMPARE(outcome.errorFiles, QStringList {file});
        QCOMPARE(outcome.errors, QList<QProcess::ProcessError> {QProcess::FailedToStart});
        QVERIFY(outcome.finishedFiles.isEmpty());
        QCOMPARE(outcome.deliveryThreads, QList<QThread*> {thread()});
    }

    // The path goes to the tool and back into the signal exactly as given, and the runner
    // passes its key and mode but no home directory.
    void fileAndKeyPassedUnchanged()
    {
        Session session;
        const QString file = makeFile(QStringLiteral("my prog \u00fc \"q\" 'a'"), elfBytes());
        Outcome outcome;
        startRunner(file, QStringLiteral("0xABCDEF"), Bsign::XattrOnly, outcome);
        waitForOutcome(outcome);
        QCOMPARE(outcome.finishedFiles, QStringList {file});
        QCOMPARE(outcome.values, QList<Bsign::ReturnValue> {Bsign::NoError});
        const QStringList expected {
            QStringLiteral("--sign"), QStringLiteral("--xattr"), QStringLiteral("--nopass"),
            QStringLiteral("-p\"\"--default-key 0xABCDEF --pinentry-mode ask\"\""), file};
        QCOMPARE(session.calls().first().args, expected);
    }

    // The signal leaves a pool thread, and the pool deletes the runner after its run.
    void runsOnThePoolAndDeletesItself()
    {
        Session session;
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        Outcome outcome;
        startRunnerWatched(file, outcome);
        waitForOutcome(outcome);
        QTRY_VERIFY(_runnerDestroyed);
        QVERIFY(_emittingThread != nullptr);
        QVERIFY(_emittingThread != thread());
    }

private:
    QThread* _emittingThread = nullptr;
    bool _runnerDestroyed = false;

    void startRunnerWatched(const QString& file, Outcome& outcome)
    {
        auto* runner = new BsignRunner(file, QString(), Bsign::ElfOnly);
        QThread** emittingThread = &_emittingThread;
        connect(
            runner, &BsignRunner::finished, runner,
            [emittingThread] { *emittingThread = QThread::currentThread(); }, Qt::DirectConnection);
        connect(
            runner, &BsignRunner::finished, this,
            [&outcome](const QString& f, Bsign::ReturnValue value) {
                outcome.finishedFiles << f;
                outcome.values << value;
            },
            Qt::QueuedConnection);
        connect(
            runner, &QObject::destroyed, this, [this] { _runnerDestroyed = true; },
            Qt::QueuedConnection);
        QThreadPool::globalInstance()->start(runner, 0);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(BsignRunnerTest)
#include "bsignrunnertest.moc"
