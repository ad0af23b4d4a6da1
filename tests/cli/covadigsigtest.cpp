// cova-digsig run as the real program against the stand-ins in a sandbox root: its usage and
// environment errors, and one flow per command.
#include "bsignstandin.h"
#include "cliprocess.h"

#include <QJsonArray>

#include <csignal>
#include <memory>

namespace {

const QString pendingPath = QStringLiteral("/var/lib/cova-digsig-plugin/initramfs-rebuild-pending");
const QString agentConf = QStringLiteral("/root/.gnupg/gpg-agent.conf");
const QByteArray controlFile = "//bin/dash\n  /usr/bin/ \n";
const QStringList programs {"/opt/app/one", "/opt/app/three", "/opt/app/two", "/usr/bin/tool"};

// The four values in file order, such as "2201"; a comment line kept by hand first when asked.
QByteArray settings(const char* values, bool comment = false)
{
    return QByteArray(comment ? "# kept by hand\n" : "") + "DIGSIG_ELF_MODE=" + values[0]
        + "\nDIGSIG_XATTR_MODE=" + values[1] + "\nDIGSIG_IGNORE_XATTR_KEYS=" + values[2]
        + "\nDIGSIG_IGNORE_GOST2001=" + values[3] + '\n';
}
const QByteArray debugDebug = settings("2201", true);

int signElf(const QString& files)
{
    int failures = 0;
    for (const QString& path : files.split(' ', Qt::SkipEmptyParts))
        failures += BsignStandIn::sign(TestSupport::sandboxPath(path), "--elf-only") != 0;
    return failures;
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
        for (const QString& program : programs)
            QVERIFY(write(program, BsignStandIn::elfBytes()));
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
        const QByteArray settingsBefore = file(settingsPath);
        const QByteArray controlBefore = file(controlPath);
        const CliRun run = runCli(commandLine);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0) {
            QCOMPARE(run.errors, QStringList());
            QCOMPARE(run.lines().value(0), firstLine);
            return;
        }
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.errors.value(0).startsWith("cova-digsig: " + firstLine),
                 qPrintable(run.errors.join('\n')));
        QCOMPARE(run.errors.filter(QRegularExpression("^cova-digsig: ")), run.errors);
        QCOMPARE(run.errors.last().contains("--help\" for"), exitCode == 2);
        QCOMPARE(file(settingsPath), settingsBefore);
        QCOMPARE(file(controlPath), controlBefore);
        QCOMPARE(rebuilds() + _session->calls().size(), 0);
    }

    // What cannot be read is a message and exit status 3; the text form tells the same.
    void status()
    {
        CliRun run = runCli("status --json");
        QCOMPARE(run.exitCode, 0);
        QJsonObject expected = json("{'elf':'debug','xattr':'debug','ignoreXattrKeys':false,"
                                    "'ignoreGost2001':true,'control':['//bin/dash','/usr/bin/'],"
                                    "'bootReadOnly':true,'rebuildPending':false,"
                                    "'agentTimesRaised':false,'messages':[]}");
        const QJsonValue keyFile = run.json()["keyFiles"][0];
        QCOMPARE(keyFile["path"], "/etc/digsig/xattr_keys/cli.gpg");
        QCOMPARE(keyFile["signatures"], "xattr");
        QCOMPARE(keyFile["keys"][0]["fingerprint"], _fingerprint);
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(run.json().value(it.key()), it.value());
        QVERIFY(runCli("status").lines().contains(
            "  /etc/digsig/xattr_keys/cli.gpg (extended-attribute signatures): CLI Signer "
            "<cli@example.org>, "
            + _fingerprint));

        QVERIFY(write(settingsPath, "DIGSIG_ELF_MODE=7\n"));
        QVERIFY(QFile::remove(TestSupport::sandboxPath("/etc/mtab")));
        run = runCli("status --json");
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.json().value("messages").toArray().last(), "Can't parse /etc/mtab");
        for (const char* unknown : {"elf", "xattr", "bootReadOnly"})
            QCOMPARE(run.json().value(unknown), QJsonValue::Null);
        run = runCli("status");
        QCOMPARE(run.exitCode, 3);
        QVERIFY(run.lines().contains("ELF verification: not set"));
        QVERIFY(run.lines().contains("/boot mounted read-only: unknown"));
        QCOMPARE(run.lines().last(), "  Can't parse /etc/mtab");
    }

    void set_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome"); // changed, rebuilt, pending
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("everything, any case, forced On")
            << debugDebug
            << "--elf On --xattr DEBUG --ignore-xattr-keys yes --ignore-gost2001 No --force" << 0
            << "changed rebuilt" << settings("1210");
        QTest::newRow("without rebuild") << debugDebug << "--xattr on --no-rebuild" << 0
                                         << "changed pending" << settings("2101");
        QTest::newRow("failed rebuild") << debugDebug << "--elf off DIGSIG_UPDATE_INITRAMFS_EXIT=1"
                                        << 3 << "changed pending" << settings("0201");
        QTest::newRow("damaged, the invalid option given")
            << QByteArray("DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=0\nDIGSIG_IGNORE_XATTR_KEYS=0\n")
            << "--ignore-gost2001 no" << 0 << "changed rebuilt" << settings("1000");
    }

    // A configuration manager runs the same command again: the next run changes nothing and says
    // so, unless a rebuild was left out or failed, which it then does.
    void set()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, options);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, after);
        QVERIFY(write(settingsPath, before));
        CliRun run = runCli("set --json " + options);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(file(settingsPath), after);
        QCOMPARE(QFile::exists(TestSupport::sandboxPath(pendingPath)), outcome.contains("pending"));
        QCOMPARE(rebuilds(), outcome.contains("rebuilt") || exitCode != 0 ? 1 : 0);
        QCOMPARE(run.json().value("changed").toBool(), exitCode == 0);
        QCOMPARE(run.json().value("rebuilt").toBool(), outcome.contains("rebuilt"));
        QCOMPARE(run.json().value("rebuildPending").toBool(),
                 run.json().value("changed") == true && outcome.contains("pending"));
        QCOMPARE(run.errors.value(0),
                 exitCode == 0 ? QString()
                               : "cova-digsig: The initial RAM file system was not rebuilt; the "
                                 "settings take effect only after a rebuild and a reboot:");

        options.remove(QRegularExpression("--no-rebuild|\\S*=\\S*"));
        QStringList expected {"The settings already are as asked; "
                              "/etc/digsig/digsig_initramfs.conf was left as it is."};
        if (outcome.contains("pending"))
            expected << "The initial RAM file system was rebuilt; reboot for the settings to "
                        "take effect.";
        QCOMPARE(runCli("set " + options).lines(), expected);
        run = runCli("set --json " + options);
        QCOMPARE(run.json().value("changed").toBool(), false);
        QCOMPARE(run.json().value("settings"), run.json().value("previous"));
        QCOMPARE(file(settingsPath), after);
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

    void sign_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QJsonObject>("summary");
        QTest::addColumn<QByteArray>("control");
        QTest::newRow("every file")
            << "/opt/app" << 0 << "finished"
            << json("{'signed':3,'notFound':0,'failed':0,'skipped':0,'notStarted':0}")
            << QByteArray("//bin/dash\n/opt/app/\n/usr/bin/\n");
        // Two files fail: without --keep-going the second of them would not start.
        QTest::newRow("--keep-going")
            << "--keep-going --jobs 1 /opt/app DIGSIG_BSIGN_EXIT=67 DIGSIG_BSIGN_MATCH=app/t" << 1
            << "failed" << json("{'signed':1,'notFound':0,'failed':2,'skipped':0,'notStarted':0}")
            << controlFile;
        QTest::newRow("ELF only, a missing path")
            << "--mode elf /opt/app/one /opt/none" << 1 << "finished"
            << json("{'signed':1,'notFound':0,'failed':0,'skipped':1,'notStarted':0}")
            << controlFile;
    }

    // Only a run that signed every file exports the key and merges the control file, which is
    // then rebuilt; the plain form prints the log, ending with the summary.
    void sign()
    {
        QFETCH(QString, options);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QFETCH(QJsonObject, summary);
        QFETCH(QByteArray, control);
        const CliRun run = runCli("sign --json --key " + _fingerprint + ' ' + options);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.errors.join('\n')));
        const QJsonObject json = run.json();
        QCOMPARE(json.value("outcome").toString(), outcome);
        QVERIFY2(json.value("summary").toObject() == summary, run.out.constData());
        QVERIFY(json.value("log").toArray().last().toString().startsWith("Summary: "));
        QCOMPARE(file(controlPath), control);
        QCOMPARE(rebuilds(), control == controlFile ? 0 : 1);
        QCOMPARE(json.value("rebuilt").toBool(), control != controlFile);
        const bool finished = outcome == QLatin1String("finished");
        QCOMPARE(
            QFile::exists(TestSupport::sandboxPath("/etc/digsig/keys/" + _fingerprint + ".gpg")),
            finished);
        if (finished)
            QCOMPARE(runCli("sign --key " + _fingerprint + ' ' + options).lines().last(),
                     json["log"].toArray().last().toString());
    }

    void verify_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QJsonObject>("summary");
        QTest::newRow("every file")
            << "/opt/app" << 1 << "/opt/app/one /opt/app/three /opt/app/two"
            << json("{'files':3,'signed':1,'unsigned':2,'failed':0,'skipped':0}");
        QTest::newRow("--unsigned, a missing path")
            << "--unsigned /opt/app /opt/none" << 1 << "/opt/app/three /opt/app/two"
            << json("{'files':3,'signed':1,'unsigned':2,'failed':0,'skipped':1}");
        QTest::newRow("signed")
            << "/opt/app/one" << 0 << "/opt/app/one"
            << json("{'files':1,'signed':1,'unsigned':0,'failed':0,'skipped':0}");
    }

    void verify()
    {
        QFETCH(QString, options);
        QFETCH(int, exitCode);
        QFETCH(QString, listed);
        QFETCH(QJsonObject, summary);
        QCOMPARE(signElf("/opt/app/one"), 0);
        const CliRun run = runCli("verify --json " + options);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.json().value("summary").toObject(), summary);
        QStringList paths;
        for (const QJsonValue& file : run.json().value("files").toArray()) {
            paths << file["path"].toString();
            QCOMPARE(file["elf"].toBool(), paths.last() == QLatin1String("/opt/app/one"));
            QCOMPARE(file["xattr"].toBool(), false);
        }
        QCOMPARE(paths.join(' '), listed);
        const QStringList text = runCli("verify " + options).lines();
        QCOMPARE(text.size(), paths.size() + 1);
        QVERIFY(text.first().startsWith(paths.first() + ": ELF signature "));
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
        QTest::addColumn<int>("checked");
        QTest::addColumn<QString>("lacking");
        QTest::newRow("unsigned programs")
            << debugDebug << ""
            << "/opt/app/one" << 4 << "/opt/app/three /opt/app/two /usr/bin/tool";
        QTest::newRow("--audit elsewhere, signed") << debugDebug << "--audit /opt/app/one"
                                                   << "/opt/app/one" << 1 << "";
        QTest::newRow("already On") << settings("1201") << ""
                                    << "" << 0 << "";
    }

    // Nothing is written while an ELF file of the program folders lacks a good signature.
    void checkBeforeOn()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, options);
        QFETCH(QString, signFirst);
        QFETCH(int, checked);
        QFETCH(QString, lacking);
        QVERIFY(write(settingsPath, before));
        QCOMPARE(signElf(signFirst), 0);
        const CliRun run = runCli("set --elf on --no-rebuild " + options);
        QCOMPARE(run.exitCode, lacking.isEmpty() ? 0 : 1);
        QCOMPARE(_session->verifiedFiles().size(), checked);
        QCOMPARE(file(settingsPath), lacking.isEmpty() ? settings("1201") : before);
        if (lacking.isEmpty()) {
            QCOMPARE(run.lines().first() == "ELF files checked: 1, all with a good signature.",
                     checked == 1);
            return;
        }
        QStringList expected {QString("ELF files without a good signature: 3 of %1; under ELF "
                                      "verification On they would not run:")
                                  .arg(checked)};
        expected << lacking.split(' ')
                 << "Nothing was written; add --force to switch ELF verification to On anyway.";
        expected.replaceInStrings(QRegularExpression("^"), "cova-digsig: ");
        QCOMPARE(run.errors.mid(run.errors.size() - expected.size()), expected);
        QCOMPARE(run.out, QByteArray());
    }

    // Ctrl+C stops the starts of files, lets the running one end and puts back the agent's times.
    void interruptCancelsTheRun()
    {
        QVERIFY(write(agentConf, "# mine\n"));
        QProcess process;
        startCli(process,
                 "sign --key " + _fingerprint
                     + " --jobs 1 /opt/app DIGSIG_BSIGN_WAIT_FOR=" + _session->gatePath());
        QTRY_COMPARE_WITH_TIMEOUT(_session->started().size(), 1, 30000);
        QVERIFY(file(agentConf).contains("max-cache-ttl"));
        ::kill(pid_t(process.processId()), SIGINT);
        // The held file ends only once the run has stopped starting others.
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).contains("Cancelling..."),
                                 30000);
        _session->openGate();
        const CliRun run = finishCli(process);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.lines().last().endsWith(", 2 not started."), qPrintable(run.lines().last()));
        QCOMPARE(_session->started().size(), 1);
        QCOMPARE(file(controlPath), controlFile);
        QCOMPARE(file(agentConf), "# mine\n");
    }

    // The settings file changed while the check ran: the write is refused and the change kept.
    void settingsChangedDuringTheCheck()
    {
        QProcess process;
        startCli(process,
                 "set --elf on --audit /usr/bin DIGSIG_BSIGN_WAIT_FOR=" + _session->gatePath());
        QTRY_COMPARE_WITH_TIMEOUT(_session->started().size(), 1, 30000);
        QCOMPARE(signElf("/usr/bin/tool"), 0);
        QVERIFY(write(settingsPath, debugDebug + "# changed by hand\n"));
        _session->openGate();
        const CliRun run = finishCli(process);
        QCOMPARE(run.exitCode, 3);
        QVERIFY(run.errors.contains(
            "cova-digsig: /etc/digsig/digsig_initramfs.conf has changed since it was read; nothing "
            "was written. Run the command again to apply it to what the file holds now."));
        QCOMPARE(file(settingsPath), debugDebug + "# changed by hand\n");
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
