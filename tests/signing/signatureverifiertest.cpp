#include "signatureverifier.h"
#include "bsignstandin.h"
#include "testsupport.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <thread>

using namespace BsignStandIn;

class SignatureVerifierTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;
    std::unique_ptr<Session> _session;
    QList<QList<SignatureVerifier::Result>> _batches;

    QStringList makeFiles(int count)
    {
        QStringList files;
        for (int i = 0; i < count; ++i) {
            files << _dir.filePath(QStringLiteral("file%1").arg(i));
            TestSupport::writeFile(files.last(), elfBytes());
        }
        return files;
    }

    void watch(SignatureVerifier& verifier)
    {
        connect(&verifier, &SignatureVerifier::verified, this,
                [this](const QList<SignatureVerifier::Result>& batch) { _batches << batch; });
    }

    QList<SignatureVerifier::Result> results() const
    {
        QList<SignatureVerifier::Result> all;
        for (const auto& batch : _batches)
            all << batch;
        return all;
    }

private Q_SLOTS:
    void init()
    {
        _session = std::make_unique<Session>();
        _batches.clear();
    }

    void cleanup() { _session.reset(); }

    // Every call is held until two have started: those two must be the first two requested.
    void startsInRequestOrderWithinTheBound()
    {
        const QStringList files = makeFiles(5);
        ScopedEnv gate("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath().toUtf8());
        SignatureVerifier verifier(2);
        watch(verifier);
        QList<quint64> tickets;
        for (const QString& file : files)
            tickets << verifier.request(file);
        QTRY_COMPARE(_session->started().size(), 2);
        const QStringList started = _session->started();
        QCOMPARE(QSet<QString>(started.cbegin(), started.cend()),
                 (QSet<QString> {files[0], files[1]}));
        // Verifications yield the processors to the interface.
        QCOMPARE(_session->lowestNiceOfStarted(), std::max(10, ::getpriority(PRIO_PROCESS, 0)));
        _session->openGate();
        QTRY_COMPARE(results().size(), 5);

        QSet<quint64> answered;
        for (const SignatureVerifier::Result& result : results()) {
            QVERIFY(result.verified);
            QVERIFY(!result.signatures.elfGood && !result.signatures.xattrGood);
            answered << result.ticket;
        }
        QCOMPARE(answered, QSet<quint64>(tickets.cbegin(), tickets.cend()));
        QCOMPARE(_session->calls().size(), 5);
        QCOMPARE(mostAtOnce(_session->calls()), 2);
    }

    // Results that are in when the owner's thread gets to them arrive together.
    void resultsArriveInBatches()
    {
        const QStringList files = makeFiles(8);
        SignatureVerifier verifier(4);
        watch(verifier);
        for (const QString& file : files)
            verifier.request(file);
        // Deliberately without handling events, so that every result is waiting.
        QElapsedTimer waited;
        waited.start();
        while (verifier.outstanding() > 0 && waited.elapsed() < 60000)
            std::this_thread::yield();
        QTRY_COMPARE(results().size(), 8);
        QCOMPARE(_batches.size(), 1);
    }

    void failuresSayWhy_data()
    {
        QTest::addColumn<QByteArray>("knob");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("failure");
        QTest::newRow("tool missing")
            << QByteArray("PATH") << QByteArray("/nonexistent")
            << "The signing tool \"bsign\" could not be started: No such file or directory";
        QTest::newRow("crash") << QByteArray("DIGSIG_BSIGN_CRASH") << QByteArray("1")
                               << "the tool crashed";
        QTest::newRow("no verdict") << QByteArray("DIGSIG_BSIGN_EXIT") << QByteArray("1")
                                    << "The signing tool reported: Permission denied";
    }

    void failuresSayWhy()
    {
        QFETCH(QByteArray, knob);
        QFETCH(QByteArray, value);
        QFETCH(QString, failure);
        const QString file = makeFiles(1).first();
        ScopedEnv env(knob.constData(), value);
        SignatureVerifier verifier(1);
        watch(verifier);
        verifier.request(file);
        QTRY_COMPARE(results().size(), 1);
        QVERIFY(!results().first().verified);
        QCOMPARE(results().first().failure, failure);
    }

    void destructionEndsRunningTools()
    {
        const QString file = makeFiles(1).first();
        ScopedEnv hang("DIGSIG_BSIGN_HANG", "1");
        auto verifier = std::make_unique<SignatureVerifier>(1);
        watch(*verifier);
        verifier->request(file);
        verifier->request(file);
        QTRY_COMPARE(_session->calls().size(), 1);
        const auto pid = pid_t(_session->calls().first().pid);
        verifier.reset();
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(errno, ESRCH);
        QCoreApplication::processEvents();
        QVERIFY(_batches.isEmpty());
        QCOMPARE(_session->started().size(), 1);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SignatureVerifierTest)
#include "signatureverifiertest.moc"
