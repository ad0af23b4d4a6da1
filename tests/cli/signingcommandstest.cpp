// cova-digsig's signing side: sign, verify and the check before ELF verification is switched to
// On, run as the real program against the stand-ins in a sandbox root.
#include "bsignstandin.h"
#include "cliprocess.h"
#include "gnupghome.h"
#include "testsupport.h"

#include <QJsonArray>

#include <csignal>
#include <memory>

using namespace BsignStandIn;

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QByteArray elfDebug = "DIGSIG_ELF_MODE=3\nDIGSIG_XATTR_MODE=2\n"
                            "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n";
const QByteArray elfOn = "DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=2\n"
                         "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n";

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}

// "NAME=value" pairs for the stand-ins.
QProcessEnvironment knobs(const QStringList& pairs)
{
    QProcessEnvironment environment;
    for (const QString& pair : pairs)
        environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
    return environment;
}

} // namespace

class SigningCommandsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DIGSIG_TOOLS_DIR"), "run through CTest");
        GnupgHome home(qEnvironmentVariable("GNUPGHOME"));
        _fingerprint = home.makeKey(QStringLiteral("CLI Signer <cli@example.org>"),
                                    QStringLiteral("ed25519"))
                           .value(0);
        QVERIFY(!_fingerprint.isEmpty());
    }

    void init()
    {
        // The old session puts back the environment it found: it goes first.
        _session.reset();
        _session = std::make_unique<Session>();
        for (const char* folder : {"/opt", "/usr", "/etc/digsig/keys", "/etc/digsig/xattr_keys"})
            QDir(sandboxed(folder)).removeRecursively();
        QVERIFY(QDir().mkpath(sandboxed("/etc/digsig/keys")));
        QVERIFY(QDir().mkpath(sandboxed("/etc/digsig/xattr_keys")));
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), elfDebug));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "/srv/\n"));
        QVERIFY(TestSupport::writeFile(sandboxed("/etc/mtab"), "/dev/sda1 /boot ext4 rw 0 2\n"));
        for (const char* file : {"/opt/app/one", "/opt/app/two", "/opt/app/three", "/usr/bin/tool"})
            QVERIFY(TestSupport::writeFile(sandboxed(file), elfBytes()));
        QVERIFY(TestSupport::writeFile(sandboxed("/usr/bin/notes"), "not a program\n"));
    }

    void environmentErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("toolMissing");
        QTest::addColumn<QString>("error");
        const QString noTool = "cova-digsig: The signing tool \"bsign\" is not in the search path";
        QTest::newRow("unknown key")
            << QStringList {"sign", "--key", "DEADBEEF", "/opt/app"} << false
            << "cova-digsig: No usable signing key matches DEADBEEF";
        QTest::newRow("sign") << QStringList {"sign", "--key", _fingerprint, "/opt/app"} << true
                              << noTool;
        QTest::newRow("verify") << QStringList {"verify", "/opt/app"} << true << noTool;
        QTest::newRow("set --elf on") << QStringList {"set", "--elf", "on"} << true << noTool;
    }

    // A missing tool or key stops the command before it changes anything.
    void environmentErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, toolMissing);
        QFETCH(QString, error);
        const CliRun run = runCli(
            arguments, knobs(toolMissing ? QStringList {"PATH=/usr/bin:/bin"} : QStringList()));
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.errors.value(0).startsWith(error), qPrintable(run.errors.join('\n')));
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), elfDebug);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), QByteArray("/srv/\n"));
        QVERIFY(_session->calls().isEmpty());
    }

    void sign_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("knobs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QJsonObject>("counts"); // a part of the summary
        QTest::addColumn<QByteArray>("control");

        const QStringList failTwo {"DIGSIG_BSIGN_EXIT=67", "DIGSIG_BSIGN_MATCH=two"};
        QTest::newRow("every file")
            << QStringList {"/opt/app"} << QStringList() << 0 << "finished"
            << QJsonObject {{"signed", 3}, {"failed", 0}} << QByteArray("/opt/app/\n/srv/\n");
        QTest::newRow("the first failure stops the run")
            << QStringList {"--jobs", "1", "/opt/app"} << failTwo << 1 << "failed"
            << QJsonObject {{"failed", 1}} << QByteArray("/srv/\n");
        QTest::newRow("--keep-going")
            << QStringList {"--keep-going", "/opt/app"} << failTwo << 1 << "failed"
            << QJsonObject {{"signed", 2}, {"failed", 1}, {"notStarted", 0}}
            << QByteArray("/srv/\n");
        QTest::newRow("ELF only, a missing path")
            << QStringList {"--mode", "elf", "/opt/app/one", "/opt/none"} << QStringList() << 1
            << "finished" << QJsonObject {{"signed", 1}, {"skipped", 1}} << QByteArray("/srv/\n");
    }

    // Only a run that signed every file exports the key and merges the control file.
    void sign()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, knobs);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QFETCH(QJsonObject, counts);
        QFETCH(QByteArray, control);
        const CliRun run = runCli(QStringList {"sign", "--key", _fingerprint, "--json"} + arguments,
                                  ::knobs(knobs));
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors.join('\n')));
        const QJsonObject json = run.json();
        QCOMPARE(json.value("outcome").toString(), outcome);
        const QJsonObject summary = json.value("summary").toObject();
        for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
            QVERIFY2(summary.value(it.key()) == it.value(), qPrintable(it.key()));
        int total = 0;
        for (const QJsonValue& count : summary)
            total += count.toInt();
        QCOMPARE(total, arguments.contains("/opt/app") ? 3 : 2);
        QVERIFY(json.value("log").toArray().last().toString().startsWith("Summary: "));
        const bool finished = outcome == QLatin1String("finished");
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), control);
        QCOMPARE(QFile::exists(sandboxed("/etc/digsig/keys/" + _fingerprint + ".gpg")), finished);
        // The plain form: the log on standard output, ending with the summary line.
        if (!finished)
            return;
        const CliRun again = runCli(QStringList {"sign", "--key", _fingerprint} + arguments);
        QCOMPARE(again.exitCode, exitCode);
        QCOMPARE(again.lines().last(), json.value("log").toArray().last().toString());
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), control);
    }

    // An interrupt stops starting files, lets the running one end and restores the agent.
    void interruptCancelsTheRun()
    {
        const QString agentConf = sandboxed("/root/.gnupg/gpg-agent.conf");
        QVERIFY(TestSupport::writeFile(agentConf, "# mine\n"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath());
        process.setProcessEnvironment(environment);
        process.start(CLI_PROGRAM,
                      {"sign", "--key", _fingerprint, "--jobs", "1", "--json", "/opt/app"});
        QTRY_COMPARE_WITH_TIMEOUT(_session->started().size(), 1, 30000);
        QVERIFY(TestSupport::readFile(agentConf).contains("max-cache-ttl 2592000"));
        ::kill(pid_t(process.processId()), SIGINT);
        _session->openGate();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        const QJsonObject json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        QCOMPARE(json.value("outcome").toString(), QString("cancelled"));
        QCOMPARE(json.value("summary").toObject().value("notStarted").toInt(), 2);
        QCOMPARE(_session->started().size(), 1);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), QByteArray("/srv/\n"));
        QCOMPARE(TestSupport::readFile(agentConf), QByteArray("# mine\n"));
    }

    void verify_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QJsonObject>("summary");

        const auto summary = [](int files, int good, int bad, int failed, int skipped) {
            return QJsonObject {{"files", files},
                                {"signed", good},
                                {"unsigned", bad},
                                {"failed", failed},
                                {"skipped", skipped}};
        };
        QTest::newRow("every file")
            << QStringList {"/opt/app"} << 1
            << QStringList {"/opt/app/one", "/opt/app/three", "/opt/app/two"}
            << summary(3, 1, 2, 0, 0);
        QTest::newRow("--unsigned")
            << QStringList {"--unsigned", "/opt/app", "/opt/none"} << 1
            << QStringList {"/opt/app/three", "/opt/app/two"} << summary(3, 1, 2, 0, 1);
        QTest::newRow("signed") << QStringList {"/opt/app/one"} << 0 << QStringList {"/opt/app/one"}
                                << summary(1, 1, 0, 0, 0);
        QTest::newRow("ELF signature, extended attributes asked")
            << QStringList {"--mode", "xattr", "--unsigned", "/opt/app/one"} << 1
            << QStringList {"/opt/app/one"} << summary(1, 0, 1, 0, 0);
        QTest::newRow("ELF mode lists ELF files only")
            << QStringList {"--mode", "elf", "/usr/bin"} << 1 << QStringList {"/usr/bin/tool"}
            << summary(1, 0, 1, 0, 0);
    }

    void verify()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, listed);
        QFETCH(QJsonObject, summary);
        QCOMPARE(BsignStandIn::sign(sandboxed("/opt/app/one"), "--elf-only"), 0);
        const CliRun run = runCli(QStringList {"verify", "--json"} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        const QJsonObject json = run.json();
        QCOMPARE(json.value("summary").toObject(), summary);
        QStringList paths;
        for (const QJsonValue& file : json.value("files").toArray()) {
            const QJsonObject object = file.toObject();
            paths << object.value("path").toString();
            QCOMPARE(object.value("elf").toBool(), paths.last() == QLatin1String("/opt/app/one"));
            QCOMPARE(object.value("xattr").toBool(), false);
        }
        QCOMPARE(paths, listed);
        const CliRun text = runCli(QStringList {"verify"} + arguments);
        QCOMPARE(text.exitCode, exitCode);
        QCOMPARE(text.lines().size(), listed.size() + 1);
        QVERIFY(text.lines().first().startsWith(listed.first() + ": ELF signature "));
        QCOMPARE(text.lines().last(),
                 QString("Summary: %1 files verified, %2 signed, %3 unsigned, %4 not verified, %5 "
                         "skipped.")
                     .arg(summary.value("files").toInt())
                     .arg(summary.value("signed").toInt())
                     .arg(summary.value("unsigned").toInt())
                     .arg(summary.value("failed").toInt())
                     .arg(summary.value("skipped").toInt()));
    }

    void checkBeforeOn_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("signFirst");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("checked");
        QTest::addColumn<QStringList>("lacking");

        const QStringList none;
        const QStringList programs {"/opt/app/one", "/opt/app/three", "/opt/app/two",
                                    "/usr/bin/tool"};
        QTest::newRow("unsigned programs") << elfDebug << none << QStringList {"/opt/app/one"} << 1
                                           << 4 << QStringList(programs.mid(1));
        QTest::newRow("--force") << elfDebug << QStringList {"--force"} << none << 0 << 0 << none;
        QTest::newRow("signed programs") << elfDebug << none << programs << 0 << 4 << none;
        QTest::newRow("--audit elsewhere, signed")
            << elfDebug << QStringList {"--audit", "/opt/app/one"} << QStringList {"/opt/app/one"}
            << 0 << 1 << none;
        QTest::newRow("--audit elsewhere, unsigned and missing")
            << elfDebug << QStringList {"--audit", "/opt/app", "--audit", "/opt/none"}
            << QStringList {"/opt/app/one"} << 1 << 4
            << QStringList {"/opt/app/three", "/opt/app/two", "/opt/none"};
        QTest::newRow("already On") << elfOn << none << none << 0 << 0 << none;
    }

    // Nothing is written while an ELF file of the program folders lacks a good signature.
    void checkBeforeOn()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, signFirst);
        QFETCH(int, exitCode);
        QFETCH(int, checked);
        QFETCH(QStringList, lacking);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), before));
        for (const QString& file : signFirst)
            QCOMPARE(BsignStandIn::sign(sandboxed(file), "--elf-only"), 0);
        const CliRun run
            = runCli(QStringList {"set", "--elf", "on", "--no-rebuild", "--json"} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(_session->verifiedFiles().size(),
                 checked - (arguments.contains("/opt/none") ? 1 : 0));
        if (exitCode == 0 && checked > 0)
            QCOMPARE(run.json().value("checkedExecutables").toInt(), checked);
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), exitCode == 0 ? elfOn : before);
        if (exitCode == 0) {
            QCOMPARE(run.json().value("changed").toBool(), before != elfOn);
            return;
        }
        QCOMPARE(run.out, QByteArray());
        QStringList expected {QString("cova-digsig: ELF files without a good signature: %1 of %2; "
                                      "under ELF verification On they would not run:")
                                  .arg(lacking.size())
                                  .arg(checked)};
        for (const QString& path : lacking)
            expected << "cova-digsig: " + path;
        expected << "cova-digsig: Nothing was written; add --force to switch ELF verification to "
                    "On anyway.";
        QCOMPARE(run.errors.mid(run.errors.size() - expected.size()), expected);
    }

    // The settings file changed while the check ran: the write is refused and the change kept.
    void settingsChangedDuringTheCheck()
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath());
        environment.insert("LANG", "C.UTF-8");
        process.setProcessEnvironment(environment);
        process.start(CLI_PROGRAM, {"set", "--elf", "on", "--audit", "/usr/bin", "--no-rebuild"});
        QTRY_COMPARE_WITH_TIMEOUT(_session->started().size(), 1, 30000);
        QCOMPARE(BsignStandIn::sign(sandboxed("/usr/bin/tool"), "--elf-only"), 0);
        const QByteArray byHand = elfDebug + "# changed by hand\n";
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), byHand));
        _session->openGate();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 3);
        QVERIFY(process.readAllStandardError().contains("/etc/digsig/digsig_initramfs.conf"));
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), byHand);
    }

private:
    std::unique_ptr<Session> _session;
    QString _fingerprint;
};

DIGSIG_SANDBOX_TEST_MAIN(SigningCommandsTest)
#include "signingcommandstest.moc"
