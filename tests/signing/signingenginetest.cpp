#include "signingengine.h"
#include "bsignstandin.h"
#include "digsigconstants.h"
#include "gnupghome.h"
#include "keymanager.h"
#include "signatureverifier.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace BsignStandIn;

namespace {

// A run of the engine as its user sees it: the lines and the end.
struct Observed
{
    explicit Observed(const SigningEngine::Options& options)
        : engine(options)
    {
        QObject::connect(&engine, &SigningEngine::logged,
                         [this](const QStringList& l) { lines << l; });
        QObject::connect(&engine, &SigningEngine::ended, [this] { ++ended; });
        engine.start();
    }
    // Waits for a line with this text, or for the end when there is none.
    bool waitFor(const QString& text = QString())
    {
        return QTest::qWaitFor(
            [&] { return text.isNull() ? ended > 0 : lines.join('\n').contains(text); }, 15000);
    }

    SigningEngine engine;
    QStringList lines;
    int ended = 0;
};

QString summary(int signedFiles, int notFound, int failed, int skipped, int notStarted)
{
    return QString::asprintf(
        "Summary: %d signed, %d not found, %d failed, %d skipped, %d not started.", signedFiles,
        notFound, failed, skipped, notStarted);
}

QByteArray controlFile()
{
    return TestSupport::readFile(TestSupport::sandboxPath(DigSig::controlFilePath()));
}

} // namespace

// The engine signs, the verifier checks signatures; both run the same tool through one log.
class SigningEngineTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _work;
    GnupgHome _home {qEnvironmentVariable("GNUPGHOME")};
    QString _keyId;
    QString _exportedKey;
    KeyManager _keyManager;
    std::unique_ptr<Session> _session;
    const QString _signingLog = TestSupport::sandboxPath(DigSig::signingLogPath());
    std::unique_ptr<SignatureVerifier> _verifier;
    QList<SignatureVerifier::Result> _results;
    int _batches = 0;

    QStringList makeFiles(const QString& folder, const QStringList& names)
    {
        QStringList paths;
        for (const QString& name : names) {
            paths << QDir(_work.path()).filePath(folder + QLatin1Char('/') + name);
            TestSupport::writeElf(paths.last());
        }
        return paths;
    }

    // The log is saved when a path is given.
    SigningEngine::Options options(const QStringList& paths, int jobs = 2, bool keepGoing = false,
                                   const QString& log = QString())
    {
        return {&_keyManager, _keyId, paths, Bsign::XattrOnly, keepGoing, !log.isNull(), log, jobs};
    }

    QByteArray gate() const { return _session->gatePath().toUtf8(); }

    // Signing and verifying yield the processors to the interface: the call that started last,
    // held at the gate, runs with a nice value of at least 10.
    bool lastStartedYields() const
    {
        const auto pid = id_t(_session->lines().last().first().toInt());
        return ::getpriority(PRIO_PROCESS, pid) == std::max(10, ::getpriority(PRIO_PROCESS, 0));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!_home.makeKey("Engine <engine@example.org>", "ed25519").isEmpty());
        QVERIFY(_keyManager.init(QString()) && !_keyManager.signingKeys().isEmpty());
        _keyId = _keyManager.signingKeys().first().second;
        _exportedKey = TestSupport::sandboxPath(DigSig::xattrKeysDirectory() + _keyId + ".gpg");
        QVERIFY(QDir().mkpath(TestSupport::sandboxPath(DigSig::xattrKeysDirectory())));
    }

    void init()
    {
        _session = std::make_unique<Session>();
        _verifier = std::make_unique<SignatureVerifier>(2);
        connect(_verifier.get(), &SignatureVerifier::verified, this,
                [this](const QList<SignatureVerifier::Result>& batch) {
                    ++_batches;
                    _results << batch;
                });
        _batches = 0;
        _results.clear();
        QVERIFY(TestSupport::writeFile(TestSupport::sandboxPath(DigSig::controlFilePath()),
                                       "//kept\n"));
        QVERIFY(TestSupport::writeFile(_signingLog, "earlier run\n"));
        QFile::remove(_exportedKey);
    }

    void cleanup() { _session.reset(); }

    // All calls are held until three have started: had the bound been broken, more would run
    // at once. In a sandbox the files signed are the real ones; what the administrator reads
    // and what the kernel will read is the path of the system being shown. A file name is data:
    // it can neither start a log line of its own nor be dropped unseen. The tool must never be
    // pointed through a link that replaced a file or a folder on its path after the listing.
    void wholeRun()
    {
        const QString folder = TestSupport::sandboxPath(QStringLiteral("/data"));
        makeFiles(folder, {"f1", "f2", "f3", "f4", "evil\n/etc/shadow"});
        const QByteArray odd = QFile::encodeName(folder) + "/caf\xe9";
        ::close(::open(odd.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        // The sandbox cannot remove a name it cannot decode.
        const auto removeOdd = qScopeGuard([odd] { ::unlink(odd.constData()); });
        const QStringList victims
            = makeFiles(TestSupport::sandboxPath("/swap"), {"link", "gone", "dir/file"});
        const QString elsewhere = makeFiles(QStringLiteral("elsewhere"), {"file"}).first();
        const ScopedEnv held("DIGSIG_BSIGN_WAIT_FOR", gate());
        const QString log = _session->path("run.log");
        Observed run(options(QStringList {folder} + victims, 3, false, log));
        QTRY_VERIFY(_session->started().size() == 3 && run.engine.isListingComplete());
        QVERIFY(lastStartedYields());
        QVERIFY(QFile::remove(victims[0]) && QFile::link(elsewhere, victims[0]));
        QVERIFY(QFile::remove(victims[1])
                && QDir(TestSupport::sandboxPath("/swap/dir")).removeRecursively());
        QVERIFY(QFile::link(QFileInfo(elsewhere).path(), TestSupport::sandboxPath("/swap/dir")));
        _session->openGate();
        QVERIFY(run.waitFor());

        QCOMPARE(_session->mostAtOnce(), 3);
        QVERIFY(_session->calls().value(0).args.value(4).startsWith(folder + QLatin1Char('/')));
        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::Finished);
        QStringList expected {
            "Create a list of files to sign...",
            "Warning: skipping /data/caf\ufffd, its name cannot be represented.",
            "Warning: skipping /swap/link, it became a symbolic link after it was listed.",
            "Warning: skipping /swap/gone, it vanished after it was listed.",
            "Warning: skipping /swap/dir/file, a folder on its path was replaced after it was "
            "listed.",
            "Signing completed.",
            QStringLiteral("Key with ID %1 successfully exported to /etc/digsig/xattr_keys/%1.gpg")
                .arg(_keyId),
            "Writing selected directories and files to " + DigSig::controlFilePath()};
        for (const char* name : {"f1", "f2", "f3", "f4", "evil\\n/etc/shadow"})
            expected << QStringLiteral("/data/%1 signed successfully").arg(QLatin1String(name));
        // Only the closing lines have their place.
        QStringList seen = run.lines;
        std::sort(seen.begin(), seen.end() - 2);
        expected.sort();
        QCOMPARE(seen, expected << "Finished." << summary(5, 0, 0, 4, 0));
        // The log goes where the command line tells it.
        QCOMPARE(TestSupport::readLog(log), run.lines);
        QCOMPARE(controlFile(),
                 QByteArray("//kept\n//swap/dir/file\n//swap/gone\n//swap/link\n/data/\n"));
        QVERIFY(run.engine.doneCount() == 8 && run.engine.listedCount() == 8);
        QCoreApplication::processEvents();
        QCOMPARE(run.ended, 1);
    }

    // The failing file is listed first and fails at once; every other call is held until the
    // failure is known, so no order of the workers can let another file start after it. What
    // the verifier, then the run, says; without the tool every file fails, and
    // without gpg-connect-agent the agent's times cannot be set either.
    void toolFailures_data()
    {
        QTest::addColumn<bool>("keepGoing");
        QTest::addColumn<QByteArray>("knob");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("no verdict, stop")
            << false << QByteArray("DIGSIG_BSIGN_EXIT=70")
            << QStringList {"The signing tool reported: Rewrite failed",
                            "signing error: Rewrite failed"};
        QTest::newRow("crash, keep going")
            << true << QByteArray("DIGSIG_BSIGN_CRASH=1")
            << QStringList {"the tool crashed", "signing error: Unknown error"};
        QTest::newRow("tool missing, keep going")
            << true << QByteArray("PATH=/nonexistent")
            << QStringList {
                   "The signing tool \"bsign\" could not be started: No such file or directory",
                   "Process error occurred when sigsing file",
                   "Check that it is installed and that its folder is in the search",
                   "Can not set gpg-agent options:", "Can not set default gpg-agent options:"};
    }

    void toolFailures()
    {
        QFETCH(bool, keepGoing);
        QFETCH(QByteArray, knob);
        QFETCH(QStringList, said);
        const QStringList files
            = makeFiles(QStringLiteral("first"), {"fail", "g1", "g2", "g3", "g4", "g5", "g6"});
        const QList<QByteArray> setting = knob.split('=');
        const ScopedEnv env(setting[0].constData(), setting[1]);
        _verifier->request(files.first());
        QTRY_COMPARE(_results.size(), 1);
        QVERIFY(!_results[0].verified);
        QCOMPARE(_results[0].failure, said.takeFirst());
        // The failure is the first file's alone.
        const ScopedEnv match("DIGSIG_BSIGN_MATCH", "/fail"), held("DIGSIG_BSIGN_WAIT_FOR", gate()),
            only("DIGSIG_BSIGN_WAIT_MATCH", "/g");
        Observed run(options(files, 3, keepGoing));
        QVERIFY(run.waitFor(said.first()));
        _session->openGate();
        QVERIFY(run.waitFor());

        for (const QString& part : said)
            QVERIFY2(run.lines.join('\n').contains(part), qPrintable(part));
        // The other two workers may or may not have started their first file by then.
        const int others = _session->started().filter(QStringLiteral("/g")).size();
        // Going on, every file has a result.
        const int failed = keepGoing ? 7 - others : 1;
        QVERIFY2(keepGoing || others <= 2, qPrintable(QString::number(others)));
        QCOMPARE(run.lines.last(), summary(others, 0, failed, 0, 7 - failed - others));
        QVERIFY(controlFile() == "//kept\n" && !QFile::exists(_exportedKey));
    }

    // Running tools get a grace period; one that never ends (a pass phrase nobody enters) is
    // asked to end, then killed.
    void cancelStartsNothingMore_data()
    {
        QTest::addColumn<int>("hang"); // 1: the tools hang and ignore the request to end
        QTest::newRow("before the first file starts") << -1; // held at the agent
        QTest::newRow("while files are signed") << 0;
        QTest::newRow("tools that hang and ignore the request") << 1;
    }

    void cancelStartsNothingMore()
    {
        QFETCH(int, hang);
        const QString agentLog = _session->path(QStringLiteral("agent.log"));
        const ScopedEnv agentCalls("DIGSIG_GPG_CONNECT_AGENT_LOG", agentLog.toUtf8());
        const ScopedEnv held(
            hang < 0 ? "DIGSIG_GPG_CONNECT_AGENT_WAIT_FOR" : "DIGSIG_BSIGN_WAIT_FOR", gate());
        const ScopedEnv hung("DIGSIG_BSIGN_HANG", hang > 0 ? "1" : QByteArray());
        const ScopedEnv ignore("DIGSIG_BSIGN_IGNORE_TERM", hang > 0 ? "1" : QByteArray());
        Observed run(options(makeFiles(QStringLiteral("cancel"), {"1", "2", "3", "4", "5", "6"})));
        const int started = hang < 0 ? 0 : 2;
        QTRY_COMPARE(started ? _session->started().size() : TestSupport::readLog(agentLog).size(),
                     qMax(started, 1));
        const QDeadlineTimer grace(SigningEngine::cancelGracePeriod);
        run.engine.cancel();
        // A tool stopped without grace would be stopped by the time this line arrives.
        QVERIFY(run.waitFor("Cancelling..."));
        _session->openGate();
        QVERIFY(run.waitFor());

        QCOMPARE(_session->started().size(), started);
        // Held tools that went on at once ended within the grace period, unless this thread
        // itself was held up that long.
        const int ended = run.lines.filter(QStringLiteral("was ended by Cancel.")).size();
        if (hang > 0 || !grace.hasExpired())
            QCOMPARE(ended, hang > 0 ? 2 : 0);
        const int notStarted = int(run.engine.listedCount()) - started;
        QCOMPARE(run.lines.mid(run.lines.size() - 2),
                 (QStringList {"Cancelled.", summary(started - ended, 0, ended, 0, notStarted)}));
        QCOMPARE(controlFile(), QByteArray("//kept\n"));
        // The agent's times were raised and are restored.
        QCOMPARE(TestSupport::readLog(agentLog).size(), 2);
    }

    // Every file was signed, but what makes the signatures count was not written: the key is
    // unknown, and links stand in place of the control file and of the log, which the run
    // never writes through; the signing log is left alone.
    void failedCompletionIsNotFinished()
    {
        const QString control = TestSupport::sandboxPath(DigSig::controlFilePath());
        const QString target = makeFiles(QStringLiteral("targets"), {"target"}).first();
        SigningEngine::Options settings = options(makeFiles(QStringLiteral("completion"), {"one"}),
                                                  2, false, _session->path("linked.log"));
        settings.keyId = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
        QVERIFY(QFile::remove(control) && QFile::link(target, control)
                && QFile::link(target, settings.logPath));
        Observed run(settings);
        QVERIFY(run.waitFor());
        QVERIFY(QFile::remove(control));

        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::CompletionFailed);
        QCOMPARE(run.lines.mid(run.lines.size() - 3),
                 (QStringList {"The run did not finish: the public key was not exported.",
                               "The run did not finish: the control file was not updated.",
                               summary(1, 0, 0, 0, 0)}));
        // The key export and the merge were both tried, whatever the other gave.
        for (const QString& line :
             {"Can not open " + settings.logPath, "No public key matches " + settings.keyId,
              "file " + DigSig::controlFilePath() + " can not be saved"})
            QVERIFY2(run.lines.contains(line), qPrintable(line));
        QCOMPARE(TestSupport::readFile(target), elfBytes());
        QCOMPARE(TestSupport::readFile(_signingLog), QByteArray("earlier run\n"));
    }

    // Every call is held until two have started: those two must be the first two requested.
    // Results that are in when the owner's thread gets to them arrive together. Destruction
    // drops the waiting requests and kills the running tools.
    void verifierKeepsRequestOrderWithinTheBound()
    {
        const QStringList files = makeFiles(QStringLiteral("verify"), {"0", "1", "2", "3", "4"});
        QCOMPARE(sign(files[3], QStringLiteral("--elf-only")), 0);
        const ScopedEnv held("DIGSIG_BSIGN_WAIT_FOR", gate());
        QList<quint64> tickets;
        for (const QString& file : files)
            tickets << _verifier->request(file);
        const quint64 signedTicket = tickets[3];
        // After the signing call, two verifications.
        QTRY_COMPARE(_session->started().size(), 3);
        QVERIFY(_session->started().contains(files[0]) && _session->started().contains(files[1]));
        QVERIFY(lastStartedYields());
        _session->openGate();
        // Deliberately without handling events, so that every result is waiting.
        const QDeadlineTimer deadline(30000);
        while (_verifier->outstanding() > 0 && !deadline.hasExpired())
            std::this_thread::yield();
        QTRY_COMPARE(_results.size(), 5);
        QCOMPARE(_batches, 1);
        QCOMPARE(_session->mostAtOnce(), 2);
        // Each request is answered once.
        for (const SignatureVerifier::Result& result : _results) {
            QVERIFY(result.verified && !result.signatures.xattrGood);
            QCOMPARE(result.signatures.elfGood, result.ticket == signedTicket);
            QVERIFY(tickets.removeOne(result.ticket));
        }

        const ScopedEnv hang("DIGSIG_BSIGN_HANG", "1");
        for (int i = 0; i < 3; ++i)
            _verifier->request(files[0]);
        QTRY_COMPARE(_session->calls().size(), 8);
        _verifier.reset();
        for (const Call& call : _session->calls().mid(6))
            QCOMPARE(::kill(pid_t(call.pid), 0), -1);
        QCoreApplication::processEvents();
        QVERIFY(_batches == 1 && _session->started().size() == 8);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SigningEngineTest)
#include "signingenginetest.moc"
