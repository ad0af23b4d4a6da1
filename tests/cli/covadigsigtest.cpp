// cova-digsig's settings side: usage, exit codes, status, set and control, run as the real
// program against the stand-ins in a sandbox root.
#include "cliprocess.h"
#include "gnupghome.h"
#include "testsupport.h"

#include <QJsonArray>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QString pendingPath = QStringLiteral("/var/lib/cova-digsig-plugin/initramfs-rebuild-pending");
const QByteArray debugOff = "# kept by hand\nDIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                            "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n";
const QByteArray bootReadOnly = "/dev/sda1 /boot ext4 ro,relatime 0 2\n";

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}

QByteArray settings(const char* elf, const char* xattr, const char* keys, const char* gost)
{
    return QByteArray("DIGSIG_ELF_MODE=") + elf + "\nDIGSIG_XATTR_MODE=" + xattr
        + "\nDIGSIG_IGNORE_XATTR_KEYS=" + keys + "\nDIGSIG_IGNORE_GOST2001=" + gost + '\n';
}

} // namespace

class CovaDigsigTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!qEnvironmentVariableIsEmpty("DIGSIG_TOOLS_DIR"), "run through CTest");
        _log = _scratch.filePath(QStringLiteral("tools.log"));
        qputenv("DIGSIG_UPDATE_INITRAMFS_LOG", _log.toUtf8());
        qputenv("DIGSIG_MOUNT_LOG", _log.toUtf8());
        GnupgHome home(qEnvironmentVariable("GNUPGHOME"));
        _fingerprint = home.makeKey(QStringLiteral("CLI Signer <cli@example.org>"),
                                    QStringLiteral("ed25519"))
                           .value(0);
        QByteArray key;
        QCOMPARE(home.gpg({QStringLiteral("--export"), _fingerprint}, &key), 0);
        QVERIFY(TestSupport::writeFile(sandboxed("/etc/digsig/xattr_keys/cli.gpg"), key));
    }

    void init()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), debugOff));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "//bin/dash\n  /usr/bin/ \n"));
        QVERIFY(TestSupport::writeFile(sandboxed("/etc/mtab"), bootReadOnly));
        QFile::remove(sandboxed(pendingPath));
        QFile::remove(_log);
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("firstLine");

        const auto row = [](const char* name, QStringList arguments, int code, const char* line) {
            QTest::newRow(name) << arguments << code << QString::fromUtf8(line);
        };
        row("version", {"--version"}, 0, "cova-digsig 1.0.0");
        row("help", {"--help"}, 0,
            "Usage: cova-digsig [--sysroot DIR] COMMAND [OPTIONS] [ARGUMENTS]");
        row("command help", {"set", "-h"}, 0, "Usage:");
        row("no command", {}, 2, "cova-digsig: No command given.");
        row("unknown command", {"frob"}, 2, "cova-digsig: Unknown command \"frob\".");
        row("unknown option", {"--frob", "status"}, 2, "cova-digsig: Unknown option 'frob'.");
        row("sandbox root missing", {"--sysroot", "/nonexistent/root", "status"}, 2,
            "cova-digsig: The sandbox root /nonexistent/root is not a folder.");
        row("status with an argument", {"status", "x"}, 2,
            "cova-digsig: \"status\" takes no arguments.");
        row("nothing to set", {"set", "--json"}, 2,
            "cova-digsig: Nothing to set: give --elf, --xattr, --ignore-xattr-keys or "
            "--ignore-gost2001.");
        row("bad mode", {"set", "--elf", "strict"}, 2,
            "cova-digsig: --elf takes off, debug or on, not \"strict\".");
        row("bad flag", {"set", "--ignore-gost2001", "1"}, 2,
            "cova-digsig: --ignore-gost2001 takes yes or no, not \"1\".");
        row("set with an argument", {"set", "--elf", "on", "now"}, 2,
            "cova-digsig: \"set\" takes options only, not \"now\".");
        row("mode without value", {"set", "--elf"}, 2, "cova-digsig: Missing value after '--elf'.");
        row("control without action", {"control"}, 2,
            "cova-digsig: \"control\" needs an action: list, add or remove.");
        row("control without path", {"control", "add"}, 2,
            "cova-digsig: \"control add\" needs at least one PATH.");
        row("relative template", {"control", "add", "/opt/", "opt/x"}, 2,
            "cova-digsig: \"opt/x\" is not an absolute path, so it names no file.");
        row("line break", {"control", "add", "/a\n/b"}, 2,
            "cova-digsig: \"/a\\n/b\" holds a line break; a line of the control file cannot.");
        row("whole file system", {"control", "remove", "//"}, 2,
            "cova-digsig: \"/\" names the whole file system; name its folders instead.");
        row("missing path", {"control", "add", "/no/such"}, 2,
            "cova-digsig: /no/such does not exist; write ///no/such for a file or /no/such/ for "
            "a folder.");
        row("sign without key", {"sign", "/opt"}, 2, "cova-digsig: \"sign\" needs --key ID.");
        row("sign, bad jobs", {"sign", "--key", "ABCDEF12", "--jobs", "0", "/opt"}, 2,
            "cova-digsig: --jobs takes a number from 1 to 256, not \"0\".");
        row("sign, bad mode", {"sign", "--mode", "all", "/opt"}, 2,
            "cova-digsig: --mode takes elf, xattr or both, not \"all\".");
        row("sign, bad key", {"sign", "--key", "xyz", "/opt"}, 2,
            "cova-digsig: --key takes a fingerprint or a key ID");
        row("sign outside the trusted folders", {"sign", "--key", "ABCDEF12", "/home/x"}, 2,
            "cova-digsig: outside the trusted system folders: /home/x");
        row("verify without path", {"verify", "--json"}, 2,
            "cova-digsig: \"verify\" needs at least one PATH.");
        row("over the line limit", {"control", "add", "/" + QString(4094, 'x') + "/"}, 2,
            "cova-digsig: Line /");
    }

    // Usage errors change nothing, print nothing on standard output and say what to run.
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, firstLine);
        const CliRun run = runCli(arguments);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode == 0) {
            QCOMPARE(run.errors, QStringList());
            QCOMPARE(run.lines().value(0), firstLine);
            return;
        }
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.errors.value(0).startsWith(firstLine), qPrintable(run.errors.value(0)));
        QVERIFY(run.errors.last().contains(QLatin1String("--help\" for")));
        for (const QString& line : run.errors)
            QVERIFY(line.startsWith(QLatin1String("cova-digsig: ")));
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), debugOff);
        QVERIFY(!QFile::exists(_log));
    }

    void status_data()
    {
        QTest::addColumn<QByteArray>("settingsFile");
        QTest::addColumn<QByteArray>("mtab"); // "-": none
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QJsonObject>("expected");

        const QJsonArray control {"//bin/dash", "/usr/bin/"};
        QTest::newRow("valid") << debugOff << bootReadOnly << 0
                               << QJsonObject {
                                      {"elf", "debug"},           {"xattr", "off"},
                                      {"ignoreXattrKeys", false}, {"ignoreGost2001", true},
                                      {"control", control},       {"bootReadOnly", true},
                                      {"rebuildPending", false},  {"agentTimesRaised", false},
                                      {"messages", QJsonArray()}};
        QTest::newRow("damaged, no mount table")
            << QByteArray("DIGSIG_ELF_MODE=7\n") << QByteArray("-") << 3
            << QJsonObject {{"elf", QJsonValue::Null},
                            {"xattr", QJsonValue::Null},
                            {"bootReadOnly", QJsonValue::Null},
                            {"messages",
                             QJsonArray {"file /etc/digsig/digsig_initramfs.conf does not "
                                         "contain the required option DIGSIG_XATTR_MODE",
                                         "file /etc/digsig/digsig_initramfs.conf does not "
                                         "contain the required option "
                                         "DIGSIG_IGNORE_XATTR_KEYS",
                                         "file /etc/digsig/digsig_initramfs.conf does not "
                                         "contain the required option "
                                         "DIGSIG_IGNORE_GOST2001",
                                         "DIGSIG_ELF_MODE value \"7\" is invalid",
                                         "DIGSIG_XATTR_MODE value \"\" is invalid",
                                         "DIGSIG_IGNORE_XATTR_KEYS value \"\" is invalid",
                                         "DIGSIG_IGNORE_GOST2001 value \"\" is invalid",
                                         "Can't parse /etc/mtab"}}};
    }

    void status()
    {
        QFETCH(QByteArray, settingsFile);
        QFETCH(QByteArray, mtab);
        QFETCH(int, exitCode);
        QFETCH(QJsonObject, expected);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsFile));
        if (mtab == "-")
            QVERIFY(QFile::remove(sandboxed("/etc/mtab")));
        else
            QVERIFY(TestSupport::writeFile(sandboxed("/etc/mtab"), mtab));

        const CliRun run = runCli({QStringLiteral("status"), QStringLiteral("--json")});
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.errors, QStringList());
        const QJsonObject json = run.json();
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(json.value(it.key()), it.value());
        const QJsonObject keyFile = json.value("keyFiles").toArray().at(0).toObject();
        QCOMPARE(keyFile.value("path").toString(),
                 QStringLiteral("/etc/digsig/xattr_keys/cli.gpg"));
        QCOMPARE(keyFile.value("signatures").toString(), QStringLiteral("xattr"));
        QCOMPARE(keyFile.value("keys").toArray().at(0).toObject().value("fingerprint").toString(),
                 _fingerprint);

        // The text form tells the same, with the key's user id and fingerprint.
        const CliRun text = runCli({QStringLiteral("status")});
        QCOMPARE(text.exitCode, exitCode);
        QVERIFY(text.lines().contains(
            QStringLiteral("  /etc/digsig/xattr_keys/cli.gpg (extended-attribute signatures): "
                           "CLI Signer <cli@example.org>, %1")
                .arg(_fingerprint)));
    }

    void set_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome"); // changed, rebuilt, pending
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("one mode") << debugOff << QStringList {"--elf", "off"} << 0
                                  << "changed rebuilt" << settings("0", "0", "0", "1");
        QTest::newRow("everything, any case")
            << debugOff << QStringList {"--elf",
                                        "On",
                                        "--xattr",
                                        "DEBUG",
                                        "--ignore-xattr-keys",
                                        "yes",
                                        "--ignore-gost2001",
                                        "No"}
            << 0 << "changed rebuilt" << settings("1", "2", "1", "0");
        QTest::newRow("what is there: file kept, comment and all")
            << debugOff << QStringList {"--elf", "debug", "--ignore-gost2001", "yes"} << 0 << ""
            << debugOff;
        QTest::newRow("without rebuild")
            << debugOff << QStringList {"--xattr", "on", "--no-rebuild"} << 0 << "changed pending"
            << settings("2", "1", "0", "1");
        QTest::newRow("damaged: the invalid option must be given")
            << QByteArray("DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=0\nDIGSIG_IGNORE_XATTR_KEYS=0\n")
            << QStringList {"--elf", "debug"} << 3 << "" << QByteArray("-");
        QTest::newRow("damaged: repaired")
            << QByteArray("DIGSIG_ELF_MODE=1\nDIGSIG_XATTR_MODE=0\nDIGSIG_IGNORE_XATTR_KEYS=0\n")
            << QStringList {"--ignore-gost2001", "no"} << 0 << "changed rebuilt"
            << settings("1", "0", "0", "0");
        QTest::newRow("none there: all four make one")
            << QByteArray("-") << QStringList {"--elf",
                                               "off",
                                               "--xattr",
                                               "off",
                                               "--ignore-xattr-keys",
                                               "no",
                                               "--ignore-gost2001",
                                               "no"}
            << 0 << "changed rebuilt" << settings("0", "0", "0", "0");
    }

    // A configuration manager runs the same command again: the second run changes nothing and
    // says so, unless a rebuild was left out, which it then does.
    void set()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, after);
        if (before == "-")
            QVERIFY(QFile::remove(sandboxed(settingsPath)));
        else
            QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), before));

        CliRun run = runCli(QStringList {"set", "--json"} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), after == "-" ? before : after);
        if (exitCode != 0) {
            QCOMPARE(run.out, QByteArray());
            QCOMPARE(run.errors,
                     QStringList {"cova-digsig: /etc/digsig/digsig_initramfs.conf holds no valid "
                                  "DIGSIG_IGNORE_GOST2001; give --ignore-gost2001 to write one."});
            return;
        }
        QCOMPARE(run.errors, QStringList());
        QCOMPARE(run.json().value("changed").toBool(), outcome.contains("changed"));
        QCOMPARE(run.json().value("rebuilt").toBool(), outcome.contains("rebuilt"));
        QCOMPARE(run.json().value("rebuildPending").toBool(), outcome.contains("pending"));
        QCOMPARE(QFile::exists(sandboxed(pendingPath)), outcome.contains("pending"));
        QCOMPARE(rebuilds(), outcome.contains("rebuilt") ? 1 : 0);
        QCOMPARE(TestSupport::readFile(sandboxed("/etc/mtab")), bootReadOnly);

        arguments.removeAll("--no-rebuild");
        run = runCli(QStringList {"set", "--json"} + arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().value("changed").toBool(), outcome.contains("pending"));
        QCOMPARE(run.json().value("rebuilt").toBool(), outcome.contains("pending"));
        run = runCli(QStringList {"set", "--json"} + arguments);
        QCOMPARE(run.json().value("changed").toBool(), false);
        QCOMPARE(run.json().value("settings"), run.json().value("previous"));
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), after);
    }

    void failedRebuildIsDoneByTheNextRun()
    {
        qputenv("DIGSIG_UPDATE_INITRAMFS_EXIT", "1");
        CliRun run = runCli({"set", "--elf", "on"});
        qunsetenv("DIGSIG_UPDATE_INITRAMFS_EXIT");
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.errors.value(0),
                 QStringLiteral("cova-digsig: The initial RAM file system was not rebuilt; the "
                                "settings take effect only after a rebuild and a reboot:"));
        QVERIFY(run.errors.contains("cova-digsig: Exit code: 1"));
        run = runCli({"set", "--elf", "on"});
        QCOMPARE(run.exitCode, 0);
        const QStringList expected {"The settings already are as asked; "
                                    "/etc/digsig/digsig_initramfs.conf was left as it is.",
                                    "The initial RAM file system was rebuilt; reboot for the "
                                    "settings to take effect."};
        QCOMPARE(run.lines(), expected);
        QCOMPARE(rebuilds(), 2);
    }

    void control_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QJsonObject>("expected");
        QTest::addColumn<QByteArray>("after");

        QVERIFY(QDir().mkpath(sandboxed("/opt/app")));
        QVERIFY(TestSupport::writeFile(sandboxed("/opt/tool"), "x"));
        QTest::newRow("add: templates, plain paths, what is there")
            << QStringList {"add", "/opt/tool", "/opt/app", "//srv/x", "/srv/y/", "/usr/bin/"}
            << QJsonObject {{"changed", true},
                            {"added", QJsonArray {"//opt/tool", "/opt/app/", "//srv/x", "/srv/y/"}},
                            {"present", QJsonArray {"/usr/bin/"}}}
            << QByteArray("//bin/dash\n  /usr/bin/ \n//opt/tool\n/opt/app/\n//srv/x\n/srv/y/\n");
        QTest::newRow("add: only what is there")
            << QStringList {"add", "//bin/dash", "/usr/bin/"}
            << QJsonObject {{"changed", false},
                            {"added", QJsonArray()},
                            {"present", QJsonArray {"//bin/dash", "/usr/bin/"}}}
            << QByteArray("//bin/dash\n  /usr/bin/ \n");
        QTest::newRow("remove: a plain path matches either template")
            << QStringList {"remove", "/usr/bin", "/bin/dash", "/opt/none"}
            << QJsonObject {{"changed", true},
                            {"removed", QJsonArray {"/usr/bin/", "//bin/dash"}},
                            {"absent", QJsonArray {"//opt/none"}},
                            {"entries", QJsonArray()}}
            << QByteArray("\n");
        QTest::newRow("remove: nothing there") << QStringList {"remove", "/opt/app/"}
                                               << QJsonObject {{"changed", false},
                                                               {"removed", QJsonArray()},
                                                               {"absent", QJsonArray {"/opt/app/"}}}
                                               << QByteArray("//bin/dash\n  /usr/bin/ \n");
    }

    // Written through the settings page's code: unedited lines stay byte for byte, the settings
    // file is not touched, and a second run changes nothing.
    void control()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QJsonObject, expected);
        QFETCH(QByteArray, after);
        CliRun run = runCli(QStringList {"control"} + arguments + QStringList {"--json"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.errors, QStringList());
        const QJsonObject json = run.json();
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(json.value(it.key()), it.value());
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), after);
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), debugOff);
        const bool changed = expected.value("changed").toBool();
        QCOMPARE(rebuilds(), changed ? 1 : 0);

        run = runCli(QStringList {"control"} + arguments + QStringList {"--json"});
        QCOMPARE(run.json().value("changed").toBool(), false);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), after);
        run = runCli({"control", "list", "--json"});
        QCOMPARE(run.json().value("entries"), json.value("entries"));
        QCOMPARE(runCli({"control", "list"}).lines(),
                 json.value("entries").toVariant().toStringList());
    }

    void controlFileThatIsNotTextIsLeftAlone()
    {
        const QByteArray bytes("/caf\xe9/\n", 7);
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), bytes));
        const CliRun run = runCli({"control", "add", "/srv/"});
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(run.errors,
                 QStringList {"cova-digsig: /etc/digsig/xattr_control holds bytes that cannot be "
                              "edited as text (not UTF-8, NUL or carriage returns); it was left "
                              "unchanged."});
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), bytes);
        QCOMPARE(runCli({"control", "list"}).out, bytes);
    }

private:
    int rebuilds() const
    {
        int count = 0;
        for (const QString& line : TestSupport::readLog(_log))
            count += line.startsWith(QLatin1String("update-initramfs argv")) ? 1 : 0;
        return count;
    }

    QTemporaryDir _scratch;
    QString _log;
    QString _fingerprint;
};

DIGSIG_SANDBOX_TEST_MAIN(CovaDigsigTest)
#include "covadigsigtest.moc"
