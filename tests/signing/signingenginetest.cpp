#include "signingengine.h"
#include "bsignstandin.h"
#include "digsigconstants.h"
#include "keymanager.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

using namespace BsignStandIn;

Q_DECLARE_METATYPE(SigningEngine::Outcome)

namespace {

// A run of the engine as its user sees it: the lines and the end.
class Observed : public QObject
{
public:
    explicit Observed(const SigningEngine::Options& options)
        : engine(options)
    {
        connect(&engine, &SigningEngine::logged, this,
                [this](const QStringList& batch) { lines << batch; });
        connect(&engine, &SigningEngine::ended, this, [this] { ++ended; });
        engine.start();
    }
    bool waitForEnd(int timeout = 60000)
    {
        return QTest::qWaitFor([this] { return ended > 0; }, timeout);
    }
    bool waitForLine(const QString& line)
    {
        return QTest::qWaitFor([&] { return lines.contains(line); }, 30000);
    }

    SigningEngine engine;
    QStringList lines;
    int ended = 0;
};

QString summary(int signedFiles, int notFound, int failed, int skipped, int notStarted)
{
    return QStringLiteral(
               "Summary: %1 signed, %2 not found, %3 failed, %4 skipped, %5 not started.")
        .arg(signedFiles)
        .arg(notFound)
        .arg(failed)
        .arg(skipped)
        .arg(notStarted);
}

int callsOf(const QList<Call>& calls, const QString& text)
{
    return int(std::count_if(calls.cbegin(), calls.cend(), [&text](const Call& call) {
        return call.args.last().contains(text);
    }));
}

} // namespace

class SigningEngineTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _work;
    QString _keyId;
    KeyManager _keyManager;
    std::unique_ptr<Session> _session;

    QStringList makeFiles(const QString& folder, const QStringList& names,
                          const QByteArray& content = "data\n")
    {
        QStringList paths;
        for (const QString& name : names) {
            paths << _work.filePath(folder + QLatin1Char('/') + name);
            TestSupport::writeFile(paths.last(), content);
        }
        return paths;
    }

    SigningEngine::Options options(const QStringList& paths, int jobs,
                                   Bsign::SignMode mode = Bsign::XattrOnly)
    {
        SigningEngine::Options options;
        options.keyManager = &_keyManager;
        options.keyId = _keyId;
        options.paths = paths;
        options.mode = mode;
        options.jobs = jobs;
        return options;
    }

    QByteArray controlFile() const
    {
        return TestSupport::readFile(Sysroot::path(DigSig::controlFilePath()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QProcess::execute(QStringLiteral("gpg"),
                                   {QStringLiteral("--batch"), QStringLiteral("--passphrase"),
                                    QString(), QStringLiteral("--quick-gen-key"),
                                    QStringLiteral("Engine <engine@example.org>"),
                                    QStringLiteral("ed25519"), QStringLiteral("sign"),
                                    QStringLiteral("never")}),
                 0);
        QVERIFY(_keyManager.init(QString()));
        QVERIFY(!_keyManager.signingKeys().isEmpty());
        _keyId = _keyManager.signingKeys().first().second;
        QVERIFY(QDir().mkpath(Sysroot::path(DigSig::keysDirectory())));
        QVERIFY(QDir().mkpath(Sysroot::path(DigSig::xattrKeysDirectory())));
    }

    void init()
    {
        _session = std::make_unique<Session>();
        QVERIFY(TestSupport::writeFile(Sysroot::path(DigSig::controlFilePath()), "//kept\n"));
        for (const QString& folder : {DigSig::keysDirectory(), DigSig::xattrKeysDirectory()})
            QFile::remove(Sysroot::path(folder + _keyId + QStringLiteral(".gpg")));
    }

    void cleanup()
    {
        for (const char* name :
             {"DIGSIG_BSIGN_EXIT", "DIGSIG_BSIGN_MATCH", "DIGSIG_BSIGN_WAIT_FOR",
              "DIGSIG_BSIGN_WAIT_MATCH", "DIGSIG_BSIGN_HANG", "DIGSIG_BSIGN_IGNORE_TERM"})
            qunsetenv(name);
        _session.reset();
    }

    // All calls are held until three have started: had the bound been broken, more would run
    // at once.
    void jobsAreBoundedAndTheRunCompletesOnce()
    {
        const QStringList files = makeFiles(QStringLiteral("bounded"),
                                            {"f1", "f2", "f3", "f4", "f5", "f6", "f7", "f8"});
        ScopedEnv gate("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath().toUtf8());
        Observed run(options({_work.filePath(QStringLiteral("bounded"))}, 3));
        QTRY_COMPARE(_session->started().size(), 3);
        // Signing yields the processors to the interface.
        QCOMPARE(_session->lowestNiceOfStarted(), std::max(10, ::getpriority(PRIO_PROCESS, 0)));
        _session->openGate();
        QVERIFY(run.waitForEnd());

        const QList<Call> calls = _session->calls();
        QCOMPARE(calls.size(), 8);
        QCOMPARE(mostAtOnce(calls), 3);
        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::Finished);
        QCOMPARE(run.lines.count(QStringLiteral("Signing completed.")), 1);
        QCOMPARE(run.lines.filter(QStringLiteral(" signed successfully")).size(), 8);
        QCOMPARE(run.lines.mid(run.lines.size() - 2),
                 (QStringList {"Finished.", summary(8, 0, 0, 0, 0)}));
        QCOMPARE(run.engine.doneCount(), 8);
        QCOMPARE(run.engine.listedCount(), 8);
        QVERIFY(run.engine.isListingComplete());
        QVERIFY(QFile::exists(
            Sysroot::path(DigSig::xattrKeysDirectory() + _keyId + QStringLiteral(".gpg"))));
        QCoreApplication::processEvents();
        QCOMPARE(run.ended, 1);
    }

    // The failing file is listed first and fails at once; every other call is held until the
    // failure is known, so no order of the workers can let another file start after it.
    void firstFailureStopsNewStarts_data()
    {
        QTest::addColumn<bool>("keepGoing");
        QTest::newRow("stop") << false;
        QTest::newRow("keep going") << true;
    }

    void firstFailureStopsNewStarts()
    {
        QFETCH(bool, keepGoing);
        const QStringList files
            = makeFiles(QStringLiteral("stopping"), {"fail", "g1", "g2", "g3", "g4", "g5", "g6"});
        ScopedEnv match("DIGSIG_BSIGN_MATCH", "/fail");
        ScopedEnv exit("DIGSIG_BSIGN_EXIT", "70");
        ScopedEnv gate("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath().toUtf8());
        ScopedEnv held("DIGSIG_BSIGN_WAIT_MATCH", "/g");
        SigningEngine::Options settings = options(files, 3);
        settings.keepGoing = keepGoing;
        Observed run(settings);
        QVERIFY(run.waitForLine(files.first() + QStringLiteral(" signing error: Rewrite failed")));
        _session->openGate();
        QVERIFY(run.waitForEnd());

        const int others = callsOf(_session->calls(), QStringLiteral("/g"));
        if (keepGoing)
            QCOMPARE(others, 6);
        else
            QVERIFY2(others <= 2, "only files started before the failure are signed");
        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::Failed);
        QVERIFY(!run.lines.contains(QStringLiteral("Signing completed.")));
        QCOMPARE(run.lines.last(), summary(others, 0, 1, 0, 6 - others));
        QCOMPARE(controlFile(), QByteArray("//kept\n"));
        QVERIFY(!QFile::exists(
            Sysroot::path(DigSig::xattrKeysDirectory() + _keyId + QStringLiteral(".gpg"))));
    }

    void cancelStartsNothingMore_data()
    {
        QTest::addColumn<bool>("duringSigning");
        QTest::newRow("while files are signed") << true;
        QTest::newRow("before the first file starts") << false;
    }

    void cancelStartsNothingMore()
    {
        QFETCH(bool, duringSigning);
        const QStringList files
            = makeFiles(QStringLiteral("cancelled"), {"c1", "c2", "c3", "c4", "c5", "c6"});
        const QString agentLog = _work.filePath(QStringLiteral("agent.log"));
        QFile::remove(agentLog);
        ScopedEnv agentCalls("DIGSIG_GPG_CONNECT_AGENT_LOG", agentLog.toUtf8());
        ScopedEnv gate(duringSigning ? "DIGSIG_BSIGN_WAIT_FOR"
                                     : "DIGSIG_GPG_CONNECT_AGENT_WAIT_FOR",
                       _session->gatePath().toUtf8());
        Observed run(options(files, 2));
        if (duringSigning)
            QTRY_COMPARE(_session->started().size(), 2);
        else
            QTRY_COMPARE(TestSupport::readLog(agentLog).size(), 1);
        run.engine.cancel();
        QVERIFY(run.engine.isRunning());
        _session->openGate();
        QVERIFY(run.waitForEnd());

        const int started = duringSigning ? 2 : 0;
        QCOMPARE(_session->calls().size(), started);
        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::Cancelled);
        QVERIFY(run.lines.contains(QStringLiteral("Cancelling...")));
        QCOMPARE(run.lines.mid(run.lines.size() - 2),
                 (QStringList {"Cancelled.",
                               summary(started, 0, 0, 0, run.engine.listedCount() - started)}));
        QCOMPARE(controlFile(), QByteArray("//kept\n"));
        QCOMPARE(TestSupport::readLog(agentLog).size(), 2);
    }

    // A tool that never ends (a pass phrase nobody enters) must not keep the run from ending.
    void hungToolsAreEndedAfterTheGracePeriod_data()
    {
        QTest::addColumn<bool>("ignoresRequest");
        QTest::newRow("ends when asked") << false;
        QTest::newRow("ignores the request to end") << true;
    }

    void hungToolsAreEndedAfterTheGracePeriod()
    {
        QFETCH(bool, ignoresRequest);
        const QStringList files = makeFiles(QStringLiteral("hung"), {"h1", "h2", "h3"});
        ScopedEnv hang("DIGSIG_BSIGN_HANG", "1");
        std::unique_ptr<ScopedEnv> ignore;
        if (ignoresRequest)
            ignore = std::make_unique<ScopedEnv>("DIGSIG_BSIGN_IGNORE_TERM", "1");
        Observed run(options(files, 2));
        QTRY_COMPARE(_session->calls().size(), 2);
        QElapsedTimer sinceCancel;
        sinceCancel.start();
        run.engine.cancel();
        const QList<Call> hung = _session->calls();
        if (sinceCancel.elapsed() < SigningEngine::cancelGracePeriod / 2) {
            for (const Call& call : hung)
                QVERIFY2(::kill(pid_t(call.pid), 0) == 0, "running tools get a grace period");
        }
        QVERIFY(run.waitForEnd(30000));
        for (const Call& call : hung)
            QVERIFY(::kill(pid_t(call.pid), 0) != 0);
        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::Cancelled);
        QCOMPARE(run.lines.filter(QStringLiteral("was ended by Cancel.")).size(), 2);
        QCOMPARE(run.lines.last(), summary(0, 0, 2, 0, 1));
    }

    // The tool must never be pointed through a link that replaced the file or a folder on its
    // path after the listing. Two held files keep both workers busy while the path changes.
    void pathChangedAfterListingIsSkipped_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("warning");
        QTest::newRow("file replaced by a link")
            << "link"
            << "%1, it became a symbolic link after it was listed.";
        QTest::newRow("file removed") << "remove"
                                      << "%1, it vanished after it was listed.";
        QTest::newRow("folder replaced by a link")
            << "folder"
            << "%1, a folder on its path was replaced after it was listed.";
    }

    void pathChangedAfterListingIsSkipped()
    {
        QFETCH(QString, change);
        QFETCH(QString, warning);
        const QString root = _work.filePath(QStringLiteral("swap-") + change);
        const QStringList blockers
            = makeFiles(root.mid(_work.path().size() + 1), {"blocker1", "blocker2"});
        const QString folder = root + QStringLiteral("/folder");
        const QString victim = folder + QStringLiteral("/victim");
        const QString secret = root + QStringLiteral("/elsewhere/victim");
        QVERIFY(TestSupport::writeFile(victim, "victim\n"));
        QVERIFY(TestSupport::writeFile(secret, "secret\n"));
        ScopedEnv gate("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath().toUtf8());
        ScopedEnv held("DIGSIG_BSIGN_WAIT_MATCH", "/blocker");
        Observed run(options(blockers + QStringList {victim}, 2));
        QTRY_COMPARE(_session->started().size(), 2);
        if (change == QLatin1String("link")) {
            QVERIFY(QFile::remove(victim));
            QVERIFY(QFile::link(secret, victim));
        } else if (change == QLatin1String("remove")) {
            QVERIFY(QFile::remove(victim));
        } else {
            QVERIFY(QDir(folder).removeRecursively());
            QVERIFY(QFile::link(root + QStringLiteral("/elsewhere"), folder));
        }
        _session->openGate();
        QVERIFY(run.waitForEnd());

        QCOMPARE(_session->calls().size(), 2);
        QCOMPARE(callsOf(_session->calls(), QStringLiteral("victim")), 0);
        QVERIFY2(run.lines.contains(QStringLiteral("Warning: skipping ") + warning.arg(victim)),
                 qPrintable(run.lines.join(QLatin1Char('\n'))));
        QCOMPARE(run.lines.last(), summary(2, 0, 0, 1, 0));
    }

    // A file name is data: it can neither start a log line of its own nor be dropped unseen.
    void fileNamesCannotForgeOrHideLines()
    {
        const QString folder = _work.filePath(QStringLiteral("names"));
        const QString evil = makeFiles(QStringLiteral("names"), {"evil\n/etc/shadow"}).first();
        const QByteArray odd = QFile::encodeName(folder) + "/caf\xe9";
        const int fd = ::open(odd.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        // QTemporaryDir cannot remove a name it cannot decode.
        const auto removeOdd = qScopeGuard([odd] { ::unlink(odd.constData()); });
        SigningEngine::Options settings = options({folder}, 2);
        settings.saveLog = true;
        QVERIFY(QDir().mkpath(Sysroot::path(QStringLiteral("/var/log"))));
        Observed run(settings);
        QVERIFY(run.waitForEnd());

        const QStringList written = TestSupport::readLog(Sysroot::path(DigSig::signingLogPath()));
        QCOMPARE(written, run.lines);
        QVERIFY(!written.contains(QStringLiteral("/etc/shadow signed successfully")));
        QVERIFY(
            written.contains(folder + QStringLiteral("/evil\\n/etc/shadow signed successfully")));
        QVERIFY(written.contains(QStringLiteral("Warning: skipping %1/caf\ufffd, its name "
                                                "cannot be represented.")
                                     .arg(folder)));
        QCOMPARE(callsOf(_session->calls(), evil), 1);
        QCOMPARE(run.lines.last(), summary(1, 0, 0, 1, 0));
    }

    void logGoesToTheChosenFile_data()
    {
        QTest::addColumn<QString>("chosen"); // "link": a link to another file in its place
        QTest::addColumn<bool>("written");
        QTest::newRow("the signing log") << QString() << true;
        QTest::newRow("a file of the administrator's choosing") << "run.log" << true;
        QTest::newRow("a link in its place") << "link" << false;
    }

    // The command line writes its log where it is told; the signing log is then left alone.
    void logGoesToTheChosenFile()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, written);
        const QString signingLog = Sysroot::path(DigSig::signingLogPath());
        QVERIFY(TestSupport::writeFile(signingLog, "earlier run\n"));
        const QString elsewhere = _work.filePath(QStringLiteral("elsewhere.log"));
        QVERIFY(TestSupport::writeFile(elsewhere, "kept\n"));
        const QString path = _work.filePath(QStringLiteral("chosen.log"));
        QFile::remove(path);
        if (chosen == QLatin1String("link"))
            QVERIFY(QFile::link(elsewhere, path));
        SigningEngine::Options settings = options(makeFiles(QStringLiteral("log"), {"one"}), 2);
        settings.saveLog = true;
        settings.logPath = chosen.isEmpty() ? QString() : path;
        Observed run(settings);
        QVERIFY(run.waitForEnd());

        const QString target = chosen.isEmpty() ? signingLog : path;
        if (written)
            QCOMPARE(TestSupport::readLog(target), run.lines);
        if (!chosen.isEmpty())
            QCOMPARE(TestSupport::readFile(signingLog), QByteArray("earlier run\n"));
        QCOMPARE(TestSupport::readFile(elsewhere), QByteArray("kept\n"));
        QCOMPARE(run.lines.contains(QStringLiteral("Can not open %1").arg(path)), !written);
        QVERIFY(run.engine.isFinished());
    }

    // Every file was signed, but what makes the signatures count was not written.
    void failedCompletionIsNotFinished_data()
    {
        QTest::addColumn<bool>("unknownKey");
        QTest::addColumn<QString>("closing");
        QTest::newRow("control file is a link")
            << false << "The run did not finish: the control file was not updated.";
        QTest::newRow("key unknown")
            << true << "The run did not finish: the public key was not exported.";
    }

    void failedCompletionIsNotFinished()
    {
        QFETCH(bool, unknownKey);
        QFETCH(QString, closing);
        const QString control = Sysroot::path(DigSig::controlFilePath());
        const QString target = _work.filePath(QStringLiteral("control-target"));
        QVERIFY(TestSupport::writeFile(target, "//target\n"));
        if (!unknownKey) {
            QVERIFY(QFile::remove(control));
            QVERIFY(QFile::link(target, control));
        }
        SigningEngine::Options settings
            = options(makeFiles(QStringLiteral("completion"), {"one"}), 2);
        if (unknownKey)
            settings.keyId = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
        Observed run(settings);
        QVERIFY(run.waitForEnd());
        QFile::remove(control);

        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::CompletionFailed);
        QVERIFY(!run.engine.isFinished());
        QVERIFY(!run.lines.contains(QStringLiteral("Finished.")));
        QCOMPARE(run.lines.mid(run.lines.size() - 2),
                 (QStringList {closing, summary(1, 0, 0, 0, 0)}));
        QCOMPARE(TestSupport::readFile(target), QByteArray("//target\n"));
    }

    // In a sandbox the files signed are the real ones; what the administrator reads and what
    // the kernel will read is the path of the system being shown.
    void sandboxPathsAreShownAsSystemPaths()
    {
        const QString data = Sysroot::path(QStringLiteral("/data"));
        QVERIFY(TestSupport::writeFile(data + QStringLiteral("/prog"), "p\n"));
        Observed run(options({data}, 2));
        QVERIFY(run.waitForEnd());
        QCOMPARE(_session->calls().first().args.last(), data + QStringLiteral("/prog"));
        QVERIFY(run.lines.contains(QStringLiteral("/data/prog signed successfully")));
        QCOMPARE(controlFile(), QByteArray("//kept\n/data/\n"));
        QVERIFY(run.lines.contains(
            QStringLiteral("Key with ID %1 successfully exported to /etc/digsig/xattr_keys/%1.gpg")
                .arg(_keyId)));
        QVERIFY(run.engine.isFinished());
    }

    void toolThatCannotStartIsNamed()
    {
        const QString file = makeFiles(QStringLiteral("notool"), {"x"}).first();
        QTemporaryDir empty;
        ScopedEnv path("PATH", empty.path().toUtf8());
        Observed run(options({file}, 2));
        QVERIFY(run.waitForEnd());
        const int error = run.lines.indexOf(
            QStringLiteral("Process error occurred when sigsing file %1: 0").arg(file));
        QVERIFY2(error >= 0, qPrintable(run.lines.join(QLatin1Char('\n'))));
        QCOMPARE(run.lines.value(error + 1),
                 QStringLiteral("The signing tool \"bsign\" could not be started: No such file "
                                "or directory. Check that it is installed and that its folder "
                                "is in the search path (PATH)."));
        QCOMPARE(run.engine.outcome(), SigningEngine::Outcome::Failed);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SigningEngineTest)
#include "signingenginetest.moc"
