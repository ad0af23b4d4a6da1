// cova-digsig run as the real program against the stand-ins in a sandbox root: its usage and
// environment errors, and one flow per command.
#include "bsignstandin.h"
#include "testsupport.h"

#include <csignal>
#include <functional>
#include <memory>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QString pendingPath = QStringLiteral("/var/lib/cova-digsig-plugin/initramfs-rebuild-pending");
const QString agentConf = QStringLiteral("/root/.gnupg/gpg-agent.conf");
const QByteArray controlFile = "//bin/dash\n  /usr/bin/ \n";
const QString programs = QStringLiteral("/opt/app/one /opt/app/three /opt/app/two /usr/bin/tool");

// The four values in file order, such as "2201"; a line kept by hand first when asked.
QByteArray settings(const char* values, bool comment = false)
{
    return QByteArray(comment ? "# kept by hand\n" : "") + "DIGSIG_ELF_MODE=" + values[0]
        + "\nDIGSIG_XATTR_MODE=" + values[1] + "\nDIGSIG_IGNORE_XATTR_KEYS=" + values[2]
        + "\nDIGSIG_IGNORE_GOST2001=" + values[3] + '\n';
}
const QByteArray debugDebug = settings("2201", true);

QByteArray file(const QString& systemPath)
{
    return TestSupport::readFile(TestSupport::sandboxPath(systemPath));
}
bool write(const QString& systemPath, const QByteArray& bytes)
{
    return TestSupport::writeFile(TestSupport::sandboxPath(systemPath), bytes);
}
// Writes the /file=content words of a command line.
bool writeFiles(const QString& commandLine)
{
    bool written = true;
    for (const QString& word : commandLine.split(' ').filter(QRegularExpression("^/.*=")))
        written = written && write(word.section('=', 0, 0), word.section('=', 1).toUtf8());
    return written;
}
int signElf(const QString& files)
{
    int failures = 0;
    for (const QString& path : files.split(' ', Qt::SkipEmptyParts))
        failures += BsignStandIn::sign(TestSupport::sandboxPath(path), "--elf-only") != 0;
    return failures;
}
// JSON written compactly in a table, with single quotes for double ones.
QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text).replace('\'', '"')).object();
}

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QStringList errors;
    const QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
    QStringList lines() const { return QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts); }
};

// The real cova-digsig in the environment of the test (its sandbox root, GnuPG home and the
// stand-ins first on PATH). The words of the command line are its arguments, but for NAME=value
// words, which go into its environment; meanwhile runs once the program has started.
CliRun runCli(const QString& commandLine, const std::function<void(QProcess&)>& meanwhile = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    QStringList arguments;
    for (const QString& word : commandLine.split(' ', Qt::SkipEmptyParts)) {
        if (word.contains('='))
            environment.insert(word.section('=', 0, 0), word.section('=', 1));
        else
            arguments << word;
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CLI_PROGRAM), arguments);
    if (meanwhile)
        meanwhile(process);
    if (QTest::currentTestFailed())
        process.kill();
    const bool ended
        = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts)};
}

} // namespace

class CovaDigsigTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        GnupgHome home(qEnvironmentVariable("GNUPGHOME"));
        _fingerprint = home.makeKey("CLI Signer <cli@example.org>", "ed25519").value(0);
        QCOMPARE(home.gpg({"--export", _fingerprint}, &_key), 0);
    }

    void init()
    {
        _session.reset(); // it puts back the environment it found
        _session = std::make_unique<BsignStandIn::Session>();
        for (const char* folder : {"/opt", "/usr", "/etc/digsig/keys", "/etc/digsig/xattr_keys"})
            QDir(TestSupport::sandboxPath(folder)).removeRecursively();
        QVERIFY(QDir().mkpath(TestSupport::sandboxPath("/etc/digsig/keys")));
        QVERIFY(write(settingsPath, debugDebug) && write(controlPath, controlFile));
        QVERIFY(write("/etc/mtab", "/dev/sda1 /boot ext4 ro,relatime 0 2\n"));
        QVERIFY(write("/etc/digsig/xattr_keys/cli.gpg", _key) && write("/usr/bin/notes", "text"));
        for (const QString& program : programs.split(' '))
            QVERIFY(TestSupport::writeElf(TestSupport::sandboxPath(program)));
        QFile::remove(TestSupport::sandboxPath(pendingPath));
        QFile::remove(_log);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("commandLine"); // and /file=content words, written first
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line"); // standard output's first, else part of the errors
        const auto row = [](const QString& commandLine, int code, const char* line) {
            QTest::addRow("cova-digsig %s", qPrintable(commandLine.left(50)))
                << commandLine << code << QString::fromUtf8(line);
        };
        const char* noTool = "The signing tool \"bsign\" is not in the search path";
        row("--version", 0, "cova-digsig 1.0.0");
        row("--help", 0, "Usage: cova-digsig [--sysroot DIR] COMMAND [OPTIONS] [ARGUMENTS]");
        row("--help-all", 0, "Usage: cova-digsig [--sysroot DIR] COMMAND [OPTIONS] [ARGUMENTS]");
        row("set -h", 0, "Usage:");
        row("", 2, "No command given.");
        row("frob", 2, "Unknown command \"frob\".");
        row("--frob status", 2, "Unknown option 'frob'.");
        row("--sysroot /nonexistent status", 2, "The sandbox root /nonexistent is not a folder.");
        row("status x", 2, "\"status\" takes no arguments.");
        row("set --json", 2, "Nothing to set: give --elf, --xattr");
        row("set --elf strict", 2, "--elf takes off, debug or on, not \"strict\".");
        row("set --ignore-gost2001 1", 2, "--ignore-gost2001 takes yes or no, not \"1\".");
        row("set --elf on now", 2, "\"set\" takes options only, not \"now\".");
        row("set --elf", 2, "Missing value after '--elf'.");
        row("control", 2, "\"control\" needs an action: list, add or remove.");
        row("control add", 2, "\"control add\" needs at least one PATH.");
        row("control add /opt/ opt/x", 2, "\"opt/x\" is not an absolute path, so it names no");
        row("control add /a\n/b", 2, "\"/a\\n/b\" holds a line break");
        row("control remove //", 2, "\"/\" names the whole file system");
        row("control add /no/such", 2, "/no/such does not exist; write ///no/such for a file or");
        row("control add /" + QString(4094, 'x') + "/", 2, "Line /xxx");
        row("sign /opt", 2, "\"sign\" needs --key ID.");
        row("sign --key ABCDEF12 --jobs 0 /opt", 2, "--jobs takes a number from 1 to 256, not");
        row("sign --mode all /opt", 2, "--mode takes elf, xattr or both, not \"all\".");
        row("sign --key xyz /opt", 2, "--key takes a fingerprint or a key ID");
        row("sign --key ABCDEF12 /usr/bin /usrx", 2, "outside the trusted system folders: /usrx");
        row("verify --json", 2, "\"verify\" needs at least one PATH.");
        row("sign --key ABCDEF12 /opt PATH=/usr/bin:/bin", 3, noTool);
        row("verify /opt PATH=/usr/bin:/bin", 3, noTool);
        row("set --elf on PATH=/usr/bin:/bin", 3, noTool);
        row("set --elf on --audit /opt --audit /opt/x", 1, "without a good signature: 4 of 4;");
        row("sign --key DEADBEEF /opt", 3, "No usable signing key matches DEADBEEF");
        row("set --elf debug " + settingsPath + "=DIGSIG_ELF_MODE=1\n", 3,
            "no valid DIGSIG_XATTR_MODE");
        row("control add /srv/ " + controlPath + "=/srv/\r\n", 3, "bytes that cannot");
    }

    // An error changes nothing and prints nothing on standard output; a usage error says what to
    // run for help.
    void errors()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        QVERIFY(writeFiles(commandLine));
        const QByteArray before = file(settingsPath) + file(controlPath);
        const CliRun run = runCli(commandLine);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0) {
            QCOMPARE(run.errors, QStringList());
            QCOMPARE(run.lines().value(0), line);
            // The full help, for the manual page, has a section for every command.
            QCOMPARE(run.lines().filter(QRegularExpression("^Command \\w+:$")).size(),
                     commandLine == "--help-all" ? 5 : 0);
            return;
        }
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.errors.join('\n').contains(line), qPrintable(run.errors.join('\n')));
        QCOMPARE(run.errors.filter(QRegularExpression("^cova-digsig: ")), run.errors);
        QCOMPARE(run.errors.last().contains("--help\" for"), exitCode == 2);
        QCOMPARE(file(settingsPath) + file(controlPath), before);
        QCOMPARE(rebuilds() + _session->calls().size(), _session->verifiedFiles().size());
    }

    // What cannot be read is a message and exit status 3; the text form tells the same.
    void status()
    {
        CliRun run = runCli("status --json");
        QCOMPARE(run.exitCode, 0);
        QJsonObject all = run.json();
        const QJsonValue keyFile = all.take("keyFiles")[0];
        QCOMPARE(
            all,
            json("{'elf':'debug','xattr':'debug','ignoreXattrKeys':false,'ignoreGost2001':true,"
                 "'control':['//bin/dash','/usr/bin/'],'bootReadOnly':true,"
                 "'rebuildPending':false,'agentTimesRaised':false,'messages':[]}"));
        QCOMPARE(keyFile["signatures"].toString(), "xattr"); // the path is in the text below
        QCOMPARE(keyFile["keys"][0]["fingerprint"].toString(), _fingerprint);

        QVERIFY(write(settingsPath, "DIGSIG_ELF_MODE=7\nDIGSIG_XATTR_MODE=0\n"));
        QVERIFY(QFile::remove(TestSupport::sandboxPath("/etc/mtab")));
        QCOMPARE(runCli("status --json").json().value("elf"), QJsonValue::Null);
        run = runCli("status");
        QCOMPARE(run.exitCode, 3);
        QVERIFY(
            run.out.startsWith("ELF verification: not set\nExtended-attribute verification: Off"));
        QVERIFY(run.out.contains("\n/boot mounted read-only: unknown\n"));
        QVERIFY(
            run.out.contains("\n  /etc/digsig/xattr_keys/cli.gpg (extended-attribute signatures): "
                             "CLI Signer <cli@example.org>, "
                             + _fingerprint.toUtf8() + '\n'));
        QVERIFY(run.out.endsWith("\n  Can't parse /etc/mtab\n"));
    }

    void changes_data()
    {
        QTest::addColumn<QString>("commandLine"); // and /file=content words, written first
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QJsonObject>("expected"); // part of the JSON output
        QTest::addColumn<QByteArray>("after"); // the settings and the control file
        const auto row
            = [](const char* name, const QString& commandLine, int code, const char* expected,
                 const char* settingsAfter, const QByteArray& controlAfter = controlFile) {
                  QTest::newRow(name)
                      << commandLine << code << json(expected)
                      << (settingsAfter ? settings(settingsAfter) : debugDebug) + controlAfter;
              };
        row("set: everything, any case, forced On",
            "set --elf On --xattr DEBUG --ignore-xattr-keys yes --ignore-gost2001 No --force", 0,
            "{}", "1210");
        row("set: ELF On after the check, rebuild left out", "set --elf on --xattr on --no-rebuild",
            0, "{'checkedExecutables':4}", "1101");
        row("set: rebuild failed", "set --elf off DIGSIG_UPDATE_INITRAMFS_EXIT=1", 3, "{}", "0201");
        row("set: damaged, the invalid option given",
            "set --ignore-gost2001 no " + settingsPath + "=" + settings("100x"), 0,
            "{'previous':{'elf':'on','xattr':'off','ignoreXattrKeys':false,'ignoreGost2001':null}}",
            "1000");
        row("control add: templates, plain paths, what is there",
            "control add /usr/bin/notes /opt/app //srv/x /srv/y/ /usr/bin/", 0,
            "{'added':['//usr/bin/notes','/opt/app/','//srv/x','/srv/y/'],'present':['/usr/bin/']}",
            nullptr, controlFile + "//usr/bin/notes\n/opt/app/\n//srv/x\n/srv/y/\n");
        row("control remove: a plain path matches either template",
            "control remove /usr/bin /bin/dash /opt/none", 0,
            "{'removed':['/usr/bin/','//bin/dash'],'absent':['//opt/none'],'entries':[]}", nullptr,
            "\n");
    }

    // A change is written, leaving the other file and unedited lines byte for byte, and rebuilt.
    // A configuration manager runs the same command again: the next run changes nothing and says
    // so, unless a rebuild was left out or failed, which it then does.
    void changes()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, exitCode);
        QFETCH(QJsonObject, expected);
        QFETCH(QByteArray, after);
        QVERIFY(writeFiles(commandLine) && signElf(programs) == 0);
        const CliRun run = runCli(commandLine + " --json");
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.errors.value(0).contains("was not rebuilt;"), exitCode != 0);
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(run.json().value(it.key()), it.value());
        const bool leftOut = commandLine.contains("--no-rebuild"), pending = exitCode || leftOut;
        QCOMPARE(run.json().value("changed").toBool(), exitCode == 0);
        QCOMPARE(run.json().value("rebuilt").toBool(), !pending);
        QCOMPARE(run.json().value("rebuildPending").toBool(), exitCode == 0 && pending);
        QCOMPARE(QFile::exists(TestSupport::sandboxPath(pendingPath)), pending);
        QCOMPARE(rebuilds(), leftOut ? 0 : 1);
        QCOMPARE(file(settingsPath) + file(controlPath), after);

        commandLine.remove(QRegularExpression("--no-rebuild|\\S*=[^ ]*"));
        const QStringList text = runCli(commandLine).lines();
        QVERIFY(text.value(0).contains(
            QRegularExpression("^(The settings already are|Already in|Not in) ")));
        QCOMPARE(text.last().startsWith("The initial RAM file system was rebuilt; "), pending);
        QCOMPARE(runCli(commandLine + " --json").json().value("changed").toBool(), false);
        QVERIFY(!QFile::exists(TestSupport::sandboxPath(pendingPath)));
        QCOMPARE(file(settingsPath) + file(controlPath), after);
        const QStringList entries = runCli("control list").lines();
        QCOMPARE(entries, QString(file(controlPath)).simplified().split(' ', Qt::SkipEmptyParts));
        QCOMPARE(runCli("control list --json").json()["entries"].toVariant().toStringList(),
                 entries);
        // Switching ELF verification to On checks the programs, unless forced or On already.
        QCOMPARE(_session->verifiedFiles().size(), expected.value("checkedExecutables").toInt());
    }

    void signAndVerify_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("detail"); // sign: the outcome; verify: the files, +good kinds
        QTest::addColumn<QString>("summary"); // its numbers in the order of the text form
        const auto row = [](const char* command, int code, const char* detail, const char* sum) {
            QTest::newRow(command) << command << code << detail << sum;
        };
        row("sign /opt/app", 0, "finished", "3 0 0 0 0");
        // Two files fail: without --keep-going the second of them would not start.
        row("sign --keep-going --jobs 1 /opt/app DIGSIG_BSIGN_EXIT=67 DIGSIG_BSIGN_MATCH=app/t", 1,
            "failed", "1 0 2 0 0");
        row("sign --mode elf /opt/app/one /opt/none", 1, "finished", "1 0 0 1 0");
        row("verify /opt/app", 1, "/opt/app/one+elf /opt/app/three /opt/app/two", "3 1 2 0 0");
        row("verify --unsigned /opt/app/one /opt/none", 1, "", "1 1 0 0 1");
        row("verify /opt/app/one", 0, "/opt/app/one+elf", "1 1 0 0 0");
        row("verify --mode xattr /opt/app/one", 1, "/opt/app/one+elf", "1 0 1 0 0");
    }

    // Only a signing run that signed every file exports the key and merges the control file,
    // which is then rebuilt. The plain forms end with the summary.
    void signAndVerify()
    {
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QString, detail);
        QFETCH(QString, summary);
        const bool sign = command.startsWith("sign");
        command += sign ? " --key " + _fingerprint : QString();
        QVERIFY(sign || signElf("/opt/app/one") == 0);
        const CliRun run = runCli(command + " --json");
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors.join('\n')));
        const QJsonObject json = run.json();
        QStringList numbers;
        for (const QString& key : QString(sign ? "signed notFound failed skipped notStarted"
                                               : "files signed unsigned failed skipped")
                                      .split(' '))
            numbers << QString::number(json["summary"][key].toInt(-1));
        QCOMPARE(numbers.join(' '), summary);
        QStringList files;
        for (const QJsonValue& file : json.value("files").toArray())
            files << file["path"].toString() + (file["elf"].toBool() ? "+elf" : "")
                    + (file["xattr"].toBool() ? "+xattr" : "");
        QCOMPARE(sign ? json.value("outcome").toString() : files.join(' '), detail);
        const bool merged = sign && exitCode == 0;
        QCOMPARE(file(controlPath), merged ? "//bin/dash\n/opt/app/\n/usr/bin/\n" : controlFile);
        QCOMPARE(rebuilds(), merged ? 1 : 0);
        const QString exported = "/etc/digsig/keys/" + _fingerprint + ".gpg";
        QCOMPARE(QFile::exists(TestSupport::sandboxPath(exported)), detail == "finished");

        const QStringList text = runCli(command).lines();
        QVERIFY(text.last().startsWith("Summary: "));
        QCOMPARE(QString(text.last()).remove(QRegularExpression("[^0-9 ]")).simplified(), summary);
        // Verification lists every file before the summary.
        QVERIFY(sign || text.size() == files.size() + 1);
        QVERIFY(files.isEmpty() || text.first().startsWith(detail.section('+', 0, 0) + ": ELF "));
    }

    void changeWhileRunning_data()
    {
        QTest::addColumn<bool>("interrupt"); // else the settings file is changed
        QTest::newRow("Ctrl+C while signing") << true;
        QTest::newRow("settings changed during the check before On") << false;
    }

    // Ctrl+C stops the starts of files and ends the running one; the agent's times go back. A
    // settings file changed while the check ran is said once in the command's own words, before
    // any write is tried, and the change kept. Either way nothing is merged or rebuilt.
    void changeWhileRunning()
    {
        QFETCH(bool, interrupt);
        QVERIFY(write(agentConf, "# mine\n") && signElf("/usr/bin/tool") == 0);
        const QByteArray settingsAfter = interrupt ? debugDebug : debugDebug + "# changed\n";
        // The held file never goes on when interrupted: the run ends it after its grace period.
        const CliRun run
            = runCli((interrupt ? "sign --json --jobs 1 --key " + _fingerprint + " /opt/app"
                                : "set --elf on --audit /usr/bin")
                         + " DIGSIG_BSIGN_WAIT_FOR=" + _session->gatePath(),
                     [&](QProcess& process) {
                         QTRY_COMPARE_WITH_TIMEOUT(_session->started().size(), 2, 30000);
                         QCOMPARE(file(agentConf).contains("max-cache-ttl"), interrupt);
                         QVERIFY(interrupt || write(settingsPath, settingsAfter));
                         if (interrupt)
                             ::kill(pid_t(process.processId()), SIGINT);
                         else
                             _session->openGate();
                     });
        QCOMPARE(run.exitCode, interrupt ? 1 : 3);
        const QStringList said = run.errors.filter(interrupt ? "Interrupted" : "changed");
        QCOMPARE(said.size(), 1);
        QVERIFY(
            said[0].contains(interrupt ? "no more files are started" : "Run the command again"));
        QCOMPARE(run.json()["outcome"].toString(), interrupt ? "cancelled" : "");
        QCOMPARE(_session->started().size(), 2);
        QCOMPARE(file(settingsPath) + file(controlPath) + file(agentConf),
                 settingsAfter + controlFile + "# mine\n");
        QCOMPARE(rebuilds(), 0);
    }

private:
    int rebuilds() const
    {
        return TestSupport::readLog(_log).filter("update-initramfs argv").size();
    }

    QTemporaryDir _scratch;
    QString _log = _scratch.filePath(QStringLiteral("tools.log"));
    TestSupport::ScopedEnv _rebuildLog {"DIGSIG_UPDATE_INITRAMFS_LOG", _log.toUtf8()};
    std::unique_ptr<BsignStandIn::Session> _session;
    QString _fingerprint;
    QByteArray _key;
};

DIGSIG_SANDBOX_TEST_MAIN(CovaDigsigTest)
#include "covadigsigtest.moc"
