#include "signatureverifier.h"
#include "bsignstandin.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>
#include <thread>

using namespace BsignStandIn;

class SignatureVerifierTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;
    std::unique_ptr<Session> _session;
    QList<QList<SignatureVerifier::Result>> _batches;
    QList<SignatureVerifier::Result> _results;
    QStringList _files;

    // A verifier whose results are collected, and as many files for it.
    std::unique_ptr<SignatureVerifier> verifier(int jobs, int files)
    {
        for (int i = 0; i < files; ++i) {
            _files << _dir.filePath(QString::number(i));
            TestSupport::writeFile(_files.last(), elfBytes());
        }
        auto verifier = std::make_unique<SignatureVerifier>(jobs);
        connect(verifier.get(), &SignatureVerifier::verified, this,
                [this](const QList<SignatureVerifier::Result>& batch) {
                    _batches << batch;
                    _results << batch;
                });
        return verifier;
    }

private Q_SLOTS:
    void init()
    {
        _session = std::make_unique<Session>();
        _batches.clear();
        _results.clear();
        _files.clear();
    }

    void cleanup() { _session.reset(); }

    // Every call is held until two have started: those two must be the first two requested.
    // Results that are in when the owner's thread gets to them arrive together.
    void verifiesInRequestOrderWithinTheBound()
    {
        const auto verifying = verifier(2, 5);
        QCOMPARE(sign(_files[3], QStringLiteral("--elf-only")), 0);
        const ScopedEnv gate("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath().toUtf8());
        QList<quint64> tickets;
        for (const QString& file : qAsConst(_files))
            tickets << verifying->request(file);
        // After the signing call, two verifications.
        QTRY_COMPARE(_session->started().size(), 3);
        const QStringList started = _session->started().mid(1);
        QCOMPARE(QSet<QString>(started.cbegin(), started.cend()),
                 (QSet<QString> {_files[0], _files[1]}));
        // Verifications yield the processors to the interface.
        QCOMPARE(_session->lowestNiceOfStarted(), std::max(10, ::getpriority(PRIO_PROCESS, 0)));
        _session->openGate();
        // Deliberately without handling events, so that every result is waiting.
        const QDeadlineTimer deadline(60000);
        while (verifying->outstanding() > 0 && !deadline.hasExpired())
            std::this_thread::yield();
        QTRY_COMPARE(_results.size(), 5);
        QCOMPARE(_batches.size(), 1);
        QCOMPARE(_session->mostAtOnce(), 2);
        QSet<quint64> answered;
        for (const SignatureVerifier::Result& result : qAsConst(_results)) {
            QVERIFY(result.verified && !result.signatures.xattrGood);
            QCOMPARE(result.signatures.elfGood, result.ticket == tickets[3]);
            answered << result.ticket;
        }
        QCOMPARE(answered, QSet<quint64>(tickets.cbegin(), tickets.cend()));
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
        const auto verifying = verifier(1, 1);
        const ScopedEnv env(knob.constData(), value);
        verifying->request(_files[0]);
        QTRY_COMPARE(_results.size(), 1);
        QVERIFY(!_results[0].verified);
        QCOMPARE(_results[0].failure, failure);
    }

    // Destruction drops the waiting requests and kills the running tools.
    void destructionEndsRunningTools()
    {
        auto verifying = verifier(1, 1);
        const ScopedEnv hang("DIGSIG_BSIGN_HANG", "1");
        verifying->request(_files[0]);
        verifying->request(_files[0]);
        QTRY_COMPARE(_session->calls().size(), 1);
        verifying.reset();
        QCOMPARE(::kill(pid_t(_session->calls()[0].pid), 0), -1);
        QCoreApplication::processEvents();
        QVERIFY(_batches.isEmpty());
        QCOMPARE(_session->started().size(), 1);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SignatureVerifierTest)
#include "signatureverifiertest.moc"
