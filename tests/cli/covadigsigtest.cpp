// cova-digsig run as the real program against the stand-ins in a sandbox root: its usage and
// environment errors, and one flow per command.
#include "bsignstandin.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <functional>
#include <memory>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QString pendingPath = QStringLiteral("/var/lib/cova-digsig-plugin/initramfs-rebuild-pending");
const QString agentConf = QStringLiteral("/root/.gnupg/gpg-agent.conf");
const QByteArray controlFile = "//bin/dash\n  /usr/bin/ \n";

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
    CliRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.errors = QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    return run;
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
        for (const char* program :
             {"/opt/app/one", "/opt/app/three", "/opt/app/two", "/usr/bin/tool"})
            QVERIFY(TestSupport::writeElf(TestSupport::sandboxPath(program)));
        QFile::remove(TestSupport::sandboxPath(pendingPath));
        QFile::remove(_log);
    }

    void errors_data()
    {
        QTest::addColumn<QString>("commandLine"); // and /file=content words, written first
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("firstLine"); // of standard output when 0, else of errors
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
        row("sign --key DEADBEEF /opt", 3, "No usable signing key matches DEADBEEF");
        row("set --elf debug /etc/digsig/digsig_initramfs.conf=DIGSIG_ELF_MODE=1\n", 3,
            "/etc/digsig/digsig_initramfs.conf holds no valid DIGSIG_XATTR_MODE; give --xattr");
        row("control add /srv/ /etc/digsig/xattr_control=/srv/\r\n", 3,
            "/etc/digsig/xattr_control holds bytes that cannot be edited as text");
    }

    // An error changes nothing and prints nothing on standard output; a usage error says what to
    // run for help.
    void errors()
    {
        QFETCH(QString, commandLine);
        QFETCH(int, exitCode);
        QFETCH(QString, firstLine);
        for (const QString& word : commandLine.split(' ').filter(QRegularExpression("^/.*=")))
            QVERIFY(write(word.section('=', 0, 0), word.section('=', 1).toUtf8()));
        const QByteArray before = file(settingsPath) + file(controlPath);
        const CliRun run = runCli(commandLine);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0) {
            QCOMPARE(run.errors, QStringList());
            QCOMPARE(run.lines().value(0), firstLine);
            // The full help, for the manual page, has a section for every command.
            if (commandLine == "--help-all")
                QCOMPARE(run.lines().filter(QRegularExpression("^Command \\w+:$")).size(), 5);
            return;
        }
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.errors.value(0).startsWith("cova-digsig: " + firstLine),
                 qPrintable(run.errors.join('\n')));
        QCOMPARE(run.errors.filter(QRegularExpression("^cova-digsig: ")), run.errors);
        QCOMPARE(run.errors.last().contains("--help\" for"), exitCode == 2);
        QCOMPARE(file(settingsPath) + file(controlPath), before);
        QCOMPARE(rebuilds() + _session->calls().size(), 0);
    }

    // What cannot be read is a message and exit status 3; the text form tells the same.
    void status()
    {
        CliRun run = runCli("status --json");
        QCOMPARE(run.exitCode, 0);
        const QJsonObject expected = json(
            "{'elf':'debug','xattr':'debug','ignoreXattrKeys':false,'ignoreGost2001':true,"
            "'control':['//bin/dash','/usr/bin/'],'bootReadOnly':true,'rebuildPending':false,"
            "'agentTimesRaised':false,'messages':[]}");
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(run.json().value(it.key()), it.value());
        const QJsonValue keyFile = run.json()["keyFiles"][0];
        QCOMPARE(keyFile["path"].toString(), "/etc/digsig/xattr_keys/cli.gpg");
        QCOMPARE(keyFile["signatures"].toString(), "xattr");
        QCOMPARE(keyFile["keys"][0]["fingerprint"].toString(), _fingerprint);

        QVERIFY(write(settingsPath, "DIGSIG_ELF_MODE=7\nDIGSIG_XATTR_MODE=0\n"));
        QVERIFY(QFile::remove(TestSupport::sandboxPath("/etc/mtab")));
        run = runCli("status --json");
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.json().value("messages").toArray().last().toString(), "Can't parse /etc/mtab");
        QCOMPARE(run.json().value("elf"), QJsonValue::Null);
        QCOMPARE(run.json().value("bootReadOnly"), QJsonValue::Null);
        run = runCli("status");
        QCOMPARE(run.exitCode, 3);
        for (const QString& line :
             QStringList {"ELF verification: not set", "Extended-attribute verification: Off",
                          "/boot mounted read-only: unknown", "  Can't parse /etc/mtab",
                          "  /etc/digsig/xattr_keys/cli.gpg (extended-attribute signatures): CLI "
                          "Signer <cli@example.org>, "
                              + _fingerprint})
            QVERIFY2(run.lines().contains(line), qPrintable(line));
    }

    void set_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("after");
        const auto row = [](const char* name, const char* options, int code, const char* after,
                            const QByteArray& before = debugDebug) {
            QTest::newRow(name) << before << options << code << settings(after);
        };
        row("everything, any case, forced On",
            "--elf On --xattr DEBUG --ignore-xattr-keys yes --ignore-gost2001 No --force", 0,
            "1210");
        row("rebuild left out", "--xattr on --no-rebuild", 0, "2101");
        row("rebuild failed", "--elf off DIGSIG_UPDATE_INITRAMFS_EXIT=1", 3, "0201");
        row("damaged, the invalid option given", "--ignore-gost2001 no", 0, "1000",
            "DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=0\nDIGSIG_IGNORE_XATTR_KEYS=0\n");
    }

    // A configuration manager runs the same command again: the next run changes nothing and says
    // so, unless a rebuild was left out or failed, which it then does.
    void set()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, options);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, after);
        QVERIFY(write(settingsPath, before));
        CliRun run = runCli("set --json " + options);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(file(settingsPath), after);
        const bool pending = exitCode != 0 || options.contains("--no-rebuild");
        QCOMPARE(QFile::exists(TestSupport::sandboxPath(pendingPath)), pending);
        QCOMPARE(rebuilds(), options.contains("--no-rebuild") ? 0 : 1);
        QCOMPARE(run.json().value("changed").toBool(), exitCode == 0);
        QCOMPARE(run.json().value("rebuilt").toBool(), !pending);
        QCOMPARE(run.json().value("rebuildPending").toBool(), exitCode == 0 && pending);
        QVERIFY(exitCode == 0 ? run.errors.isEmpty() : run.errors[0].contains("was not rebuilt;"));
        if (options.contains("gost2001 no"))
            QCOMPARE(run.json()["previous"]["ignoreGost2001"], QJsonValue::Null);

        options.remove(QRegularExpression("--no-rebuild|\\S*=\\S*"));
        const QStringList lines = runCli("set " + options).lines();
        QVERIFY(lines.value(0).startsWith("The settings already are as asked; "));
        QCOMPARE(lines.value(1).startsWith("The initial RAM file system was rebuilt; "), pending);
        QCOMPARE(runCli("set --json " + options).json().value("changed").toBool(), false);
        QVERIFY(!QFile::exists(TestSupport::sandboxPath(pendingPath)));
    }

    void control_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QJsonObject>("expected");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("add: templates, plain paths, what is there")
            << "add /usr/bin/notes /opt/app //srv/x /srv/y/ /usr/bin/"
            << json("{'added':['//usr/bin/notes','/opt/app/','//srv/x','/srv/y/'],'present':['/usr/"
                    "bin/']}")
            << controlFile + "//usr/bin/notes\n/opt/app/\n//srv/x\n/srv/y/\n";
        QTest::newRow("remove: a plain path matches either template")
            << "remove /usr/bin /bin/dash /opt/none"
            << json("{'removed':['/usr/bin/','//bin/dash'],'absent':['//opt/none'],'entries':[]}")
            << QByteArray("\n");
    }

    // Unedited lines stay byte for byte, the settings are not touched, a change is rebuilt and a
    // second run changes nothing.
    void control()
    {
        QFETCH(QString, arguments);
        QFETCH(QJsonObject, expected);
        QFETCH(QByteArray, after);
        const CliRun run = runCli("control --json " + arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.errors, QStringList());
        const QJsonObject json = run.json();
        QCOMPARE(json.value("changed").toBool(), true);
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(json.value(it.key()), it.value());
        QCOMPARE(file(controlPath), after);
        QCOMPARE(file(settingsPath), debugDebug);
        QCOMPARE(rebuilds(), 1);
        QCOMPARE(runCli("control --json " + arguments).json().value("changed"), false);
        QCOMPARE(file(controlPath), after);
        QCOMPARE(runCli("control list --json").json().value("entries"), json["entries"]);
        QCOMPARE(runCli("control list").lines(), json["entries"].toVariant().toStringList());
    }

    void signAndVerify_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("detail"); // sign: the outcome; verify: the files listed
        QTest::addColumn<QJsonObject>("summary");
        const auto row = [](const char* command, int code, const char* detail, const char* sum) {
            QTest::newRow(command) << command << code << detail << json(sum);
        };
        row("sign /opt/app", 0, "finished",
            "{'signed':3,'notFound':0,'failed':0,'skipped':0,'notStarted':0}");
        // Two files fail: without --keep-going the second of them would not start.
        row("sign --keep-going --jobs 1 /opt/app DIGSIG_BSIGN_EXIT=67 DIGSIG_BSIGN_MATCH=app/t", 1,
            "failed", "{'signed':1,'notFound':0,'failed':2,'skipped':0,'notStarted':0}");
        row("sign --mode elf /opt/app/one /opt/none", 1, "finished",
            "{'signed':1,'notFound':0,'failed':0,'skipped':1,'notStarted':0}");
        row("verify /opt/app", 1, "/opt/app/one /opt/app/three /opt/app/two",
            "{'files':3,'signed':1,'unsigned':2,'failed':0,'skipped':0}");
        row("verify --unsigned /opt/app/one /opt/none", 1, "",
            "{'files':1,'signed':1,'unsigned':0,'failed':0,'skipped':1}");
        row("verify /opt/app/one", 0, "/opt/app/one",
            "{'files':1,'signed':1,'unsigned':0,'failed':0,'skipped':0}");
        row("verify --mode xattr /opt/app/one", 1, "/opt/app/one",
            "{'files':1,'signed':0,'unsigned':1,'failed':0,'skipped':0}");
    }

    // Only a signing run that signed every file exports the key and merges the control file,
    // which is then rebuilt. The plain forms end with the summary.
    void signAndVerify()
    {
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QString, detail);
        QFETCH(QJsonObject, summary);
        const bool sign = command.startsWith("sign");
        command.insert(command.indexOf(' '), sign ? " --key " + _fingerprint : QString());
        QVERIFY(sign || signElf("/opt/app/one") == 0);
        const CliRun run
            = runCli(command.section(' ', 0, 0) + " --json " + command.section(' ', 1));
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors.join('\n')));
        const QJsonObject json = run.json();
        QCOMPARE(json.value("summary").toObject(), summary);
        if (sign) {
            QCOMPARE(json.value("outcome").toString(), detail);
            QCOMPARE(file(controlPath),
                     exitCode ? controlFile : QByteArray("//bin/dash\n/opt/app/\n/usr/bin/\n"));
            QCOMPARE(rebuilds(), exitCode ? 0 : 1);
            QCOMPARE(json.value("rebuilt").toBool(), exitCode == 0);
            const QString keyFile = "/etc/digsig/keys/" + _fingerprint + ".gpg";
            QCOMPARE(QFile::exists(TestSupport::sandboxPath(keyFile)), detail == "finished");
            const QStringList text = runCli(command).lines();
            QCOMPARE(text.last(), json.value("log").toArray().last().toString());
            QVERIFY(text.last().startsWith("Summary: "));
            return;
        }
        QStringList paths;
        for (const QJsonValue& file : json.value("files").toArray()) {
            paths << file["path"].toString();
            QCOMPARE(file["elf"].toBool(), paths.last() == QLatin1String("/opt/app/one"));
            QCOMPARE(file["xattr"].toBool(), false);
        }
        QCOMPARE(paths.join(' '), detail);
        const QStringList text = runCli(command).lines();
        QCOMPARE(text.size(), paths.size() + 1);
        QVERIFY(paths.isEmpty() || text.first().startsWith(paths.first() + ": ELF signature "));
        QString expected
            = "Summary: %1 files verified, %2 signed, %3 unsigned, %4 not verified, %5 skipped.";
        for (const char* count : {"files", "signed", "unsigned", "failed", "skipped"})
            expected = expected.arg(summary.value(count).toInt());
        QCOMPARE(text.last(), expected);
    }

    void checkBeforeOn_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("signFirst");
        QTest::addColumn<int>("verified");
        QTest::addColumn<QString>("errors"); // the end of them
        QTest::newRow("program folders, signed")
            << debugDebug << ""
            << "/opt/app/one /opt/app/three /opt/app/two /usr/bin/tool" << 4 << "";
        QTest::newRow("--audit elsewhere: unsigned, missing")
            << debugDebug << "--audit /opt/app --audit /opt/none"
            << "/opt/app/one" << 3 << R"(
cova-digsig: ELF files without a good signature: 3 of 4; under ELF verification On they would not run:
cova-digsig: /opt/app/three
cova-digsig: /opt/app/two
cova-digsig: /opt/none
cova-digsig: Nothing was written; add --force to switch ELF verification to On anyway.)";
        QTest::newRow("already On") << settings("1201") << ""
                                    << "" << 0 << "";
    }

    // Nothing is written while an ELF file of the program folders lacks a good signature.
    void checkBeforeOn()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, options);
        QFETCH(QString, signFirst);
        QFETCH(int, verified);
        QFETCH(QString, errors);
        QVERIFY(write(settingsPath, before));
        QCOMPARE(signElf(signFirst), 0);
        const CliRun run = runCli("set --elf on --no-rebuild --json " + options);
        QCOMPARE(run.exitCode, errors.isEmpty() ? 0 : 1);
        QCOMPARE(_session->verifiedFiles().size(), verified);
        QCOMPARE(file(settingsPath), errors.isEmpty() ? settings("1201") : before);
        QVERIFY2(("\n" + run.errors.join('\n')).endsWith(errors),
                 qPrintable(run.errors.join('\n')));
        QCOMPARE(run.out.isEmpty(), !errors.isEmpty());
        QCOMPARE(run.json().value("checkedExecutables"),
                 verified && errors.isEmpty() ? QJsonValue(verified) : QJsonValue::Undefined);
    }

    // Ctrl+C stops the starts of files and ends the running one; the agent's times go back.
    void interruptCancelsTheRun()
    {
        QVERIFY(write(agentConf, "# mine\n"));
        // The held file never goes on: the run ends it after its grace period.
        const CliRun run
            = runCli("sign --json --key " + _fingerprint
                         + " --jobs 1 /opt/app "
                           "DIGSIG_BSIGN_WAIT_FOR="
                         + _session->gatePath(),
                     [this](QProcess& process) {
                         QTRY_COMPARE_WITH_TIMEOUT(_session->started().size(), 1, 30000);
                         QVERIFY(file(agentConf).contains("max-cache-ttl"));
                         ::kill(pid_t(process.processId()), SIGINT);
                     });
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.json().value("outcome").toString(), "cancelled");
        QCOMPARE(run.json()["summary"]["notStarted"].toInt(), 2);
        QVERIFY(run.errors.contains("cova-digsig: Interrupted: no more files are started; the "
                                    "files being signed are given a moment to end."));
        QCOMPARE(_session->started().size(), 1);
        QCOMPARE(file(controlPath), controlFile);
        QCOMPARE(file(agentConf), "# mine\n");
    }

    // The settings file changed while the check ran: the write is refused, said once in the
    // command's own words before any write is tried, and the change kept.
    void settingsChangedDuringTheCheck()
    {
        const QByteArray changed = debugDebug + "# changed by hand\n";
        const CliRun run
            = runCli("set --elf on --audit /usr/bin DIGSIG_BSIGN_WAIT_FOR=" + _session->gatePath(),
                     [&](QProcess&) {
                         QTRY_COMPARE_WITH_TIMEOUT(_session->started().size(), 1, 30000);
                         QCOMPARE(signElf("/usr/bin/tool"), 0);
                         QVERIFY(write(settingsPath, changed));
                         _session->openGate();
                     });
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.errors.last(),
                 "cova-digsig: /etc/digsig/digsig_initramfs.conf has changed since it was read; "
                 "nothing was written. Run the command again to apply it to what the file holds "
                 "now.");
        QCOMPARE(file(settingsPath), changed);
        QCOMPARE(rebuilds(), 0);
    }

private:
    int rebuilds() const
    {
        return TestSupport::readLog(_log)
            .filter(QRegularExpression("^update-initramfs argv"))
            .size();
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
