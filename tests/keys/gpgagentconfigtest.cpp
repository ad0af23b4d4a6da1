#include "gpgagentconfig.h"
#include "digsigconstants.h"
#include "gnupghome.h"

#include "testsupport.h"

#include <QFileInfo>
#include <QtTest>

#include <stdexcept>
#include <sys/stat.h>

using Options = QHash<QString, QString>;
Q_DECLARE_METATYPE(Options)

// Root's gpg-agent configuration inside a sandbox root, reloaded through the stand-in
// gpg-connect-agent and once through a real agent.
class GpgAgentConfigTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void newFileHoldsOneLinePerOption();
    void mergesIntoExistingFile_data();
    void mergesIntoExistingFile();
    void singleOption();
    void existingHomeKeepsItsMode();
    void reloadFailureAfterRewrite_data();
    void reloadFailureAfterRewrite();
    void homeCannotBeCreated();
    void fileCannotBeRead();
    void realAgentReloads();
    void hungReloadIsStopped();
    void failedWriteKeepsFile_data();
    void failedWriteKeepsFile();
    void newFileIsPrivateWhateverTheUmask();
    void restoresTheAdministratorsTimes_data();
    void restoresTheAdministratorsTimes();
    void noRaiseWithoutRecord_data();
    void noRaiseWithoutRecord();
    void raiseKeepsTheRecordOfAnUnfinishedRun();

private:
    QString home() const { return TestSupport::sandboxRoot() + QStringLiteral("/root/.gnupg"); }
    QString confFile() const { return home() + QStringLiteral("/gpg-agent.conf"); }
    QString thrown(const std::function<void()>& call) const;
    QStringList reloads() const { return TestSupport::readLog(_log); }

    std::unique_ptr<QTemporaryDir> _scratch;
    QString _log;
};

const QString reloadCommand = QStringLiteral("gpg-connect-agent --no-autostart reloadagent /bye");

void GpgAgentConfigTest::init()
{
    QDir(TestSupport::sandboxRoot() + QStringLiteral("/root")).removeRecursively();
    QFile::remove(TestSupport::sandboxRoot() + QStringLiteral("/root"));
    _scratch = std::make_unique<QTemporaryDir>();
    _log = _scratch->filePath(QStringLiteral("agent.log"));
    qputenv("DIGSIG_GPG_CONNECT_AGENT_LOG", _log.toUtf8());
}

void GpgAgentConfigTest::cleanup()
{
    qunsetenv("DIGSIG_GPG_CONNECT_AGENT_LOG");
    qunsetenv("DIGSIG_GPG_CONNECT_AGENT_EXIT");
    qunsetenv("DIGSIG_GPG_CONNECT_AGENT_CRASH");
    qunsetenv("DIGSIG_GPG_CONNECT_AGENT_HANG");
    // Drops this process's run lock; a record a test broke on purpose may not be readable.
    thrown([] { restoreGpgAgentTimes(); });
    const QString state = TestSupport::sandboxRoot() + DigSig::stateDirectory();
    QFile::remove(state);
    QDir(state).removeRecursively();
}

QString GpgAgentConfigTest::thrown(const std::function<void()>& call) const
{
    try {
        call();
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

void GpgAgentConfigTest::newFileHoldsOneLinePerOption()
{
    writeGpgAgentConf({{QStringLiteral("pinentry-timeout"), QStringLiteral("0")},
                       {QStringLiteral("default-cache-ttl"), QStringLiteral("600")},
                       {QStringLiteral("max-cache-ttl"), QStringLiteral("7200")}});
    const QByteArray bytes = TestSupport::readFile(confFile());
    QVERIFY(bytes.endsWith('\n'));
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    QCOMPARE(lines.takeLast(), QString());
    lines.sort();
    QCOMPARE(
        lines,
        (QStringList {QStringLiteral("default-cache-ttl 600"), QStringLiteral("max-cache-ttl 7200"),
                      QStringLiteral("pinentry-timeout 0")}));
    QCOMPARE(QFileInfo(home()).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser
                 | QFile::WriteUser | QFile::ExeUser);
    QCOMPARE(reloads(), QStringList {reloadCommand});
}

void GpgAgentConfigTest::mergesIntoExistingFile_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<Options>("options");
    QTest::addColumn<QByteArray>("after");

    const Options maxTtl {{QStringLiteral("max-cache-ttl"), QStringLiteral("7200")}};
    QTest::newRow("first occurrence replaced in place")
        << QByteArray("# agent options\nmax-cache-ttl 100\nmax-cache-ttl 200\n") << maxTtl
        << QByteArray("# agent options\nmax-cache-ttl 7200\nmax-cache-ttl 200\n");
    QTest::newRow("indented line kept, value appended")
        << QByteArray("  default-cache-ttl 5\nfoo bar\n")
        << Options {{QStringLiteral("default-cache-ttl"), QStringLiteral("600")}}
        << QByteArray("  default-cache-ttl 5\nfoo bar\ndefault-cache-ttl 600\n");
    QTest::newRow("crlf becomes lf") << QByteArray("a 1\r\nmax-cache-ttl 2\r\nb 3\r\n") << maxTtl
                                     << QByteArray("a 1\nmax-cache-ttl 7200\nb 3\n");
    QTest::newRow("missing final newline")
        << QByteArray("a 1\nb 2") << maxTtl << QByteArray("a 1\nb 2\nmax-cache-ttl 7200\n");
    QTest::newRow("name without value")
        << QByteArray("pinentry-program\n")
        << Options {{QStringLiteral("pinentry-program"), QStringLiteral("/usr/bin/pinentry-qt")}}
        << QByteArray("pinentry-program /usr/bin/pinentry-qt\n");
    QTest::newRow("tab after name") << QByteArray("max-cache-ttl\t100  # old\n") << maxTtl
                                    << QByteArray("max-cache-ttl 7200\n");
    QTest::newRow("blank lines and comments kept")
        << QByteArray("\n# \xd0\xba\xd0\xbb\xd1\x8e\xd1\x87\n\n") << maxTtl
        << QByteArray("\n# \xd0\xba\xd0\xbb\xd1\x8e\xd1\x87\n\nmax-cache-ttl 7200\n");
    QTest::newRow("names are case-sensitive and whole")
        << QByteArray("Max-Cache-Ttl 1\nmax-cache-ttl-x 2\n") << maxTtl
        << QByteArray("Max-Cache-Ttl 1\nmax-cache-ttl-x 2\nmax-cache-ttl 7200\n");
    QTest::newRow("several options in place")
        << QByteArray("pinentry-timeout 0\ndefault-cache-ttl 600\nmax-cache-ttl 7200\n")
        << Options {{QStringLiteral("pinentry-timeout"), QStringLiteral("2592000")},
                    {QStringLiteral("default-cache-ttl"), QStringLiteral("2592000")},
                    {QStringLiteral("max-cache-ttl"), QStringLiteral("2592000")}}
        << QByteArray("pinentry-timeout 2592000\ndefault-cache-ttl 2592000\n"
                      "max-cache-ttl 2592000\n");
    QTest::newRow("empty file") << QByteArray() << maxTtl << QByteArray("max-cache-ttl 7200\n");
    QTest::newRow("bytes that are not UTF-8 kept")
        << QByteArray("# caf\xe9 \xd0\x46\nmax-cache-ttl 1 # \xff\n") << maxTtl
        << QByteArray("# caf\xe9 \xd0\x46\nmax-cache-ttl 7200\n");
    QTest::newRow("byte order marks kept")
        << QByteArray("\xff\xfe# comment\nmax-cache-ttl 1\n") << maxTtl
        << QByteArray("\xff\xfe# comment\nmax-cache-ttl 7200\n");
    QTest::newRow("UTF-8 byte order mark kept")
        << QByteArray("\xef\xbb\xbf# comment\n") << maxTtl
        << QByteArray("\xef\xbb\xbf# comment\nmax-cache-ttl 7200\n");
}

void GpgAgentConfigTest::mergesIntoExistingFile()
{
    QFETCH(QByteArray, before);
    QFETCH(Options, options);
    QFETCH(QByteArray, after);
    QVERIFY(TestSupport::writeFile(confFile(), before));
    writeGpgAgentConf(options);
    QCOMPARE(TestSupport::readFile(confFile()), after);
    QCOMPARE(reloads(), QStringList {reloadCommand});
}

void GpgAgentConfigTest::singleOption()
{
    QVERIFY(
        TestSupport::writeFile(confFile(), "pinentry-program /usr/bin/pinentry-gtk\nttyname x\n"));
    writeGpgAgentConfOption(QStringLiteral("pinentry-program"),
                            QStringLiteral("/usr/bin/pinentry-qt"));
    QCOMPARE(TestSupport::readFile(confFile()),
             QByteArray("pinentry-program /usr/bin/pinentry-qt\nttyname x\n"));
    QCOMPARE(reloads(), QStringList {reloadCommand});
}

void GpgAgentConfigTest::existingHomeKeepsItsMode()
{
    QVERIFY(QDir().mkpath(home()));
    const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser
        | QFile::WriteUser | QFile::ExeUser | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(home(), mode));
    ensureGnupgHome();
    writeGpgAgentConfOption(QStringLiteral("a"), QStringLiteral("1"));
    QCOMPARE(QFileInfo(home()).permissions(), mode);
}

void GpgAgentConfigTest::reloadFailureAfterRewrite_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("exit code") << QByteArray("DIGSIG_GPG_CONNECT_AGENT_EXIT") << QByteArray("1");
    QTest::newRow("crash") << QByteArray("DIGSIG_GPG_CONNECT_AGENT_CRASH") << QByteArray("1");
    QTest::newRow("not found") << QByteArray("PATH") << QByteArray("/nonexistent");
}

void GpgAgentConfigTest::reloadFailureAfterRewrite()
{
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, value);
    QVERIFY(TestSupport::writeFile(confFile(), "max-cache-ttl 1\n"));
    const QByteArray saved = qgetenv(variable.constData());
    qputenv(variable.constData(), value);
    const QString error = thrown(
        [] { writeGpgAgentConfOption(QStringLiteral("max-cache-ttl"), QStringLiteral("7200")); });
    qputenv(variable.constData(), saved);
    QCOMPARE(error, QStringLiteral("Can not reload gpg-agent"));
    QCOMPARE(TestSupport::readFile(confFile()), QByteArray("max-cache-ttl 7200\n"));
}

void GpgAgentConfigTest::homeCannotBeCreated()
{
    QVERIFY(TestSupport::writeFile(TestSupport::sandboxRoot() + QStringLiteral("/root"), "file"));
    QCOMPARE(thrown([] { writeGpgAgentConfOption(QStringLiteral("a"), QStringLiteral("1")); }),
             QStringLiteral("Can not create dir /root/.gnupg"));
    QCOMPARE(TestSupport::readFile(TestSupport::sandboxRoot() + QStringLiteral("/root")),
             QByteArray("file"));
    QCOMPARE(reloads(), QStringList());
}

void GpgAgentConfigTest::fileCannotBeRead()
{
    QVERIFY(QDir().mkpath(confFile()));
    QCOMPARE(thrown([] { writeGpgAgentConfOption(QStringLiteral("a"), QStringLiteral("1")); }),
             QStringLiteral("Can not open file /root/.gnupg/gpg-agent.conf"));
    QVERIFY(QFileInfo(confFile()).isDir());
    QCOMPARE(reloads(), QStringList());
}

void GpgAgentConfigTest::realAgentReloads()
{
    // The real agent, in the sandbox's root GnuPG home, logs every reload it performs.
    const QString agentLog = _scratch->filePath(QStringLiteral("gpg-agent.log"));
    QVERIFY(TestSupport::writeFile(confFile(), "log-file " + agentLog.toUtf8() + "\n"));
    GnupgHome agentHome(home());
    const QByteArray savedPath = qgetenv("PATH");
    const QByteArray tools = qgetenv("DIGSIG_TOOLS_DIR");
    QByteArrayList entries = savedPath.split(':');
    entries.removeAll(tools);
    qputenv("PATH", entries.join(':'));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GNUPGHOME"), home());
    QProcess agent;
    agent.setProcessEnvironment(environment);
    agent.start(QStringLiteral("gpg-connect-agent"), {QStringLiteral("/bye")});
    QVERIFY(agent.waitForFinished(-1));
    QCOMPARE(agent.exitCode(), 0);

    const QByteArray savedHome = qgetenv("GNUPGHOME");
    qputenv("GNUPGHOME", home().toUtf8());
    const QString error = thrown([] {
        writeGpgAgentConfOption(QStringLiteral("default-cache-ttl"), QStringLiteral("601"));
    });
    qputenv("GNUPGHOME", savedHome);
    qputenv("PATH", savedPath);
    QCOMPARE(error, QString());
    QCOMPARE(TestSupport::readFile(confFile()),
             "log-file " + agentLog.toUtf8() + "\ndefault-cache-ttl 601\n");
    QTRY_VERIFY(TestSupport::readFile(agentLog).contains("SIGHUP received"));
    QCOMPARE(reloads(), QStringList());
}

void GpgAgentConfigTest::hungReloadIsStopped()
{
    qputenv("DIGSIG_GPG_CONNECT_AGENT_HANG", "1");
    TestSupport::ProcessWarningCounter processWarnings;
    QCOMPARE(thrown([] { reloadGpgAgent(200); }),
             QStringLiteral("gpg-agent did not answer within 0.2 seconds; it keeps its old "
                            "settings until it is restarted."));
    QCOMPARE(processWarnings.count(), 0);
}

void GpgAgentConfigTest::failedWriteKeepsFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("link") << "link"
                          << "%1 is a symbolic link; it was not written.";
    QTest::newRow("full file system") << "tmpfs"
                                      << "Can not write %1: No space left on device";
}

void GpgAgentConfigTest::failedWriteKeepsFile()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    const QString elsewhere = _scratch->filePath(QStringLiteral("elsewhere"));
    QString skip;
    if (fault == QLatin1String("tmpfs") && !TestSupport::mountTmpfs(home(), 16, &skip))
        QSKIP(qPrintable(skip));
    QVERIFY(TestSupport::writeFile(elsewhere, "max-cache-ttl 1\n"));
    if (fault == QLatin1String("link")) {
        QVERIFY(QDir().mkpath(home()));
        QVERIFY(QFile::link(elsewhere, confFile()));
    } else {
        QVERIFY(TestSupport::writeFile(confFile(), "max-cache-ttl 1\n"));
        QVERIFY(TestSupport::writeFile(home() + QStringLiteral("/filler"),
                                       QByteArray(16 * 1024 - 4096, 'f')));
    }
    const QString error = thrown(
        [] { writeGpgAgentConfOption(QStringLiteral("max-cache-ttl"), QStringLiteral("7200")); });
    const QByteArray left = TestSupport::readFile(confFile());
    const QStringList entries = QDir(home()).entryList(QDir::Files | QDir::Hidden);
    if (fault == QLatin1String("tmpfs"))
        TestSupport::unmount(home());
    const QString shown = QStringLiteral("/root/.gnupg/gpg-agent.conf");
    QCOMPARE(error,
             QStringLiteral("Can not save file ") + shown + QLatin1Char('\n') + reason.arg(shown));
    QCOMPARE(left, QByteArray("max-cache-ttl 1\n"));
    QCOMPARE(TestSupport::readFile(elsewhere), QByteArray("max-cache-ttl 1\n"));
    QVERIFY(!entries.join(QLatin1Char(' ')).contains(QLatin1String(".gpg-agent.conf.")));
    QCOMPARE(reloads(), QStringList());
}

void GpgAgentConfigTest::newFileIsPrivateWhateverTheUmask()
{
    const mode_t old = ::umask(0);
    writeGpgAgentConfOption(QStringLiteral("a"), QStringLiteral("1"));
    ::umask(old);
    QCOMPARE(QFileInfo(confFile()).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

void GpgAgentConfigTest::restoresTheAdministratorsTimes_data()
{
    QTest::addColumn<QByteArray>("before"); // "-": no file
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("no file") << QByteArray("-") << QByteArray();
    QTest::newRow("no time lines") << QByteArray("ttyname x\n") << QByteArray("ttyname x\n");
    QTest::newRow("a cache time of the administrator's")
        << QByteArray("default-cache-ttl 60\n# mine\n")
        << QByteArray("default-cache-ttl 60\n# mine\n");
    QTest::newRow("lines kept byte for byte, later duplicates untouched")
        << QByteArray("max-cache-ttl\t100  # caf\xe9\npinentry-timeout 5\nmax-cache-ttl 7\n")
        << QByteArray("max-cache-ttl\t100  # caf\xe9\npinentry-timeout 5\nmax-cache-ttl 7\n");
}

// A run puts back what the administrator had: the same lines, or none where there was none.
void GpgAgentConfigTest::restoresTheAdministratorsTimes()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    if (before != "-")
        QVERIFY(TestSupport::writeFile(confFile(), before));
    QVERIFY(!gpgAgentTimesRaised());

    raiseGpgAgentTimes();
    QVERIFY(gpgAgentTimesRaised());
    const QString record = TestSupport::sandboxRoot() + DigSig::gpgAgentTimesRecordPath();
    QCOMPARE(QFileInfo(record).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    const QString raised = QString::fromUtf8(TestSupport::readFile(confFile()));
    for (const char* option : {"pinentry-timeout", "default-cache-ttl", "max-cache-ttl"})
        QVERIFY(raised.contains(QLatin1String(option) + QStringLiteral(" 2592000\n")));

    restoreGpgAgentTimes();
    QVERIFY(!gpgAgentTimesRaised());
    QCOMPARE(TestSupport::readFile(confFile()), after);
    QCOMPARE(reloads(), QStringList({reloadCommand, reloadCommand}));
    // Nothing raised, nothing to restore.
    restoreGpgAgentTimes();
    QCOMPARE(reloads().size(), 2);
}

void GpgAgentConfigTest::noRaiseWithoutRecord_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("error");
    const QString record = DigSig::gpgAgentTimesRecordPath();
    QTest::newRow("record is a link")
        << "link"
        << QStringLiteral("Can not save file %1\n%1 is a symbolic link; it was not written.")
               .arg(record);
    QTest::newRow("state directory cannot be made")
        << "file" << QStringLiteral("Can not create dir ") + DigSig::stateDirectory();
}

// The raised times are recorded before they are written: without a record, nothing is raised.
void GpgAgentConfigTest::noRaiseWithoutRecord()
{
    QFETCH(QString, fault);
    QFETCH(QString, error);
    const QString state = TestSupport::sandboxRoot() + DigSig::stateDirectory();
    if (fault == QLatin1String("link")) {
        QVERIFY(QDir().mkpath(state));
        QVERIFY(QFile::link(_scratch->filePath(QStringLiteral("elsewhere")),
                            TestSupport::sandboxRoot() + DigSig::gpgAgentTimesRecordPath()));
    } else {
        QVERIFY(TestSupport::writeFile(state, "a file"));
    }
    QVERIFY(TestSupport::writeFile(confFile(), "default-cache-ttl 60\n"));
    QCOMPARE(thrown([] { raiseGpgAgentTimes(); }), error);
    QCOMPARE(TestSupport::readFile(confFile()), QByteArray("default-cache-ttl 60\n"));
    QVERIFY(!QFile::exists(_scratch->filePath(QStringLiteral("elsewhere"))));
    QCOMPARE(reloads(), QStringList());
}

// A record left by a run that did not end holds the administrator's lines: a new run keeps it.
void GpgAgentConfigTest::raiseKeepsTheRecordOfAnUnfinishedRun()
{
    QVERIFY(TestSupport::writeFile(confFile(), "default-cache-ttl 2592000\n"));
    QVERIFY(TestSupport::writeFile(TestSupport::sandboxRoot() + DigSig::gpgAgentTimesRecordPath(),
                                   "# record\npinentry-timeout\ndefault-cache-ttl "
                                   "default-cache-ttl 60\nmax-cache-ttl\n"));
    raiseGpgAgentTimes();
    restoreGpgAgentTimes();
    QCOMPARE(TestSupport::readFile(confFile()), QByteArray("default-cache-ttl 60\n"));
}

DIGSIG_SANDBOX_TEST_MAIN(GpgAgentConfigTest)
#include "gpgagentconfigtest.moc"
