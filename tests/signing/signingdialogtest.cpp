#include "signingdialog.h"
#include "bsignstandin.h"
#include "digsigconstants.h"
#include "keymanager.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <csignal>
#include <memory>
#include <sys/stat.h>

using namespace BsignStandIn;

namespace {

QString realPath(const QString& systemPath)
{
    return Sysroot::path(systemPath);
}

// The agent's options as a sorted list of lines: the configuration keeps no particular order.
QStringList agentOptions()
{
    QStringList lines
        = QString::fromUtf8(TestSupport::readFile(realPath(DigSig::gpgAgentConfPath())))
              .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

// The sandbox's agent configuration has no time lines before a run, so it has none after it.
const QStringList defaultAgentTimes;

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

QPushButton* button(QDialog& dialog, QDialogButtonBox::StandardButton which)
{
    return dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))->button(which);
}

} // namespace

class SigningDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void emptySelectionSignsNothing_data();
    void emptySelectionSignsNothing();
    void missingFileDoesNotStopTheRun();
    void failureEndsTheRunUnfinished();
    void completionExportsTheKeyAndMergesTheSelection();
    void mergeSkipsOverlongAndMultiLinePaths();
    void logFileFollowsTheSaveLogChoice_data();
    void logFileFollowsTheSaveLogChoice();
    void cancelLetsRunningJobsEndAndStartsNoMore_data();
    void cancelLetsRunningJobsEndAndStartsNoMore();
    void cancelOfAHungToolNeitherBlocksNorWaitsForever();
    void escapeAfterFinishKeepsTheRunFinished();

private:
    struct Run
    {
        QStringList log;
        int result = -1;
        bool finished = false;
        QString progress;
        bool okEnabled = false;
        bool cancelEnabled = false;
    };
    // Runs a dialog modally; `whileRunning` may act on it, otherwise OK closes it once enabled.
    Run runDialog(const QStringList& paths, Bsign::SignMode mode, bool saveLog = false,
                  std::function<void(SigningDialog&)> whileRunning = nullptr);
    QString makeFiles(const QString& folder, int count, const QByteArray& content);

    QTemporaryDir _work;
    std::unique_ptr<Session> _session;
    QString _keyId;
};

void SigningDialogTest::initTestCase()
{
    QVERIFY(_work.isValid());
    QCOMPARE(QProcess::execute(
                 QStringLiteral("gpg"),
                 {QStringLiteral("--batch"), QStringLiteral("--passphrase"), QString(),
                  QStringLiteral("--quick-gen-key"), QStringLiteral("Signer <signer@example.org>"),
                  QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("never")}),
             0);
    KeyManager keys;
    QVERIFY(keys.init(QString()));
    QVERIFY(!keys.signingKeys().isEmpty());
    _keyId = keys.signingKeys().first().second;
    QVERIFY(QDir().mkpath(realPath(DigSig::keysDirectory())));
    QVERIFY(QDir().mkpath(realPath(DigSig::xattrKeysDirectory())));
    QVERIFY(QDir().mkpath(realPath(QStringLiteral("/var/log"))));
}

void SigningDialogTest::init()
{
    _session = std::make_unique<Session>();
    QFile::remove(realPath(DigSig::gpgAgentConfPath()));
    for (const QString& directory : {DigSig::keysDirectory(), DigSig::xattrKeysDirectory()})
        QFile::remove(realPath(directory + _keyId + QStringLiteral(".gpg")));
    TestSupport::writeFile(realPath(DigSig::controlFilePath()), "");
}

void SigningDialogTest::cleanup()
{
    for (const char* name :
         {"DIGSIG_BSIGN_EXIT", "DIGSIG_BSIGN_MATCH", "DIGSIG_BSIGN_WAIT_FOR", "DIGSIG_BSIGN_HANG",
          "DIGSIG_GPG_CONNECT_AGENT_WAIT_FOR", "DIGSIG_GPG_CONNECT_AGENT_LOG"})
        qunsetenv(name);
    _session.reset();
}

SigningDialogTest::Run
SigningDialogTest::runDialog(const QStringList& paths, Bsign::SignMode mode, bool saveLog,
                             std::function<void(SigningDialog&)> whileRunning)
{
    KeyManager keyManager;
    keyManager.init(QString());
    SigningDialog dialog(&keyManager, _keyId, paths, mode, saveLog);
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, &dialog, [&] {
        if (whileRunning) {
            whileRunning(dialog);
        } else if (button(dialog, QDialogButtonBox::Ok)->isEnabled() && dialog.isVisible()) {
            closer.stop();
            button(dialog, QDialogButtonBox::Ok)->click();
        }
    });
    closer.start();
    Run run;
    run.result = dialog.exec();
    closer.stop();
    run.log = dialog.findChild<QPlainTextEdit*>(QStringLiteral("logPlainTextEdit"))
                  ->toPlainText()
                  .split(QLatin1Char('\n'));
    run.finished = dialog.isFinished();
    run.progress = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"))->text();
    run.okEnabled = button(dialog, QDialogButtonBox::Ok)->isEnabled();
    run.cancelEnabled = button(dialog, QDialogButtonBox::Cancel)->isEnabled();
    return run;
}

QString SigningDialogTest::makeFiles(const QString& folder, int count, const QByteArray& content)
{
    const QString dir = _work.filePath(folder);
    for (int i = 0; i < count; ++i)
        TestSupport::writeFile(QStringLiteral("%1/file%2").arg(dir).arg(i, 4, 10, QLatin1Char('0')),
                               content);
    return dir;
}

void SigningDialogTest::emptySelectionSignsNothing_data()
{
    QTest::addColumn<bool>("emptySelection");
    QTest::newRow("no paths") << true;
    QTest::newRow("no ELF file") << false;
}

void SigningDialogTest::emptySelectionSignsNothing()
{
    QFETCH(bool, emptySelection);
    const QString dir = makeFiles(QStringLiteral("text"), 3, "plain text\n");
    const Run run = runDialog(emptySelection ? QStringList() : QStringList {dir}, Bsign::ElfOnly);

    QCOMPARE(run.log,
             (QStringList {"Create a list of files to sign...", "No files to sign.",
                           summary(0, 0, 0, 0, 0)}));
    QCOMPARE(run.progress, QStringLiteral("100%"));
    QVERIFY(run.okEnabled);
    QVERIFY(!run.cancelEnabled);
    QVERIFY(!run.finished);
    QVERIFY2(!QFile::exists(realPath(DigSig::gpgAgentConfPath())), "the agent is left alone");
    QVERIFY(_session->calls().isEmpty());
}

void SigningDialogTest::missingFileDoesNotStopTheRun()
{
    const QString dir = makeFiles(QStringLiteral("vanishing"), 3, "x\n");
    qputenv("DIGSIG_BSIGN_MATCH", "file0001");
    qputenv("DIGSIG_BSIGN_EXIT", "2");
    const Run run = runDialog({dir}, Bsign::XattrOnly);
    QVERIFY(run.log.contains(QStringLiteral("Warning: file %1/file0001 not found").arg(dir)));
    QCOMPARE(run.log.filter(QStringLiteral("signed successfully")).size(), 2);
    QVERIFY(run.finished);
    QCOMPARE(run.progress, QStringLiteral("3 of 3"));
    QCOMPARE(run.log.last(), summary(2, 1, 0, 0, 0));
}

void SigningDialogTest::failureEndsTheRunUnfinished()
{
    const QString file
        = makeFiles(QStringLiteral("failing"), 1, "x\n") + QStringLiteral("/file0000");
    qputenv("DIGSIG_BSIGN_EXIT", "70");
    const Run run = runDialog({file}, Bsign::ElfAndXattr);

    QCOMPARE(run.log.mid(run.log.size() - 2),
             (QStringList {file + QStringLiteral(" signing error: Rewrite failed"),
                           summary(0, 0, 1, 0, 0)}));
    QVERIFY(!run.finished);
    QCOMPARE(TestSupport::readFile(realPath(DigSig::controlFilePath())), QByteArray());
    QVERIFY(!QFile::exists(realPath(DigSig::keysDirectory() + _keyId + QStringLiteral(".gpg"))));
    QCOMPARE(agentOptions(), defaultAgentTimes);
    QVERIFY(run.okEnabled && !run.cancelEnabled);
}

void SigningDialogTest::completionExportsTheKeyAndMergesTheSelection()
{
    const QString dir
        = makeFiles(QStringLiteral("complete"), 2, TestSupport::readFile("/bin/true"));
    const QString file = _work.filePath(QStringLiteral("single"));
    QVERIFY(TestSupport::writeFile(file, "y\n"));
    QVERIFY(TestSupport::writeFile(realPath(DigSig::controlFilePath()),
                                   "  " + dir.toUtf8() + "/  \n\n//bin/dash\n"));
    const Run run = runDialog({dir, file}, Bsign::ElfAndXattr);

    QVERIFY(run.finished);
    QVERIFY(run.okEnabled && !run.cancelEnabled);
    QCOMPARE(run.progress, QStringLiteral("3 of 3"));
    const int completed = run.log.indexOf(QStringLiteral("Signing completed."));
    QCOMPARE(completed, 4);
    QCOMPARE(
        run.log.mid(completed),
        (QStringList {
            "Signing completed.",
            QStringLiteral("Key with ID %1 successfully exported to /etc/digsig/keys/%1.gpg")
                .arg(_keyId),
            QStringLiteral("Key with ID %1 successfully exported to /etc/digsig/xattr_keys/%1.gpg")
                .arg(_keyId),
            "Writing selected directories and files to /etc/digsig/xattr_control", "Finished.",
            summary(3, 0, 0, 0, 0)}));
    for (const QString& directory : {DigSig::keysDirectory(), DigSig::xattrKeysDirectory()}) {
        const QByteArray key
            = TestSupport::readFile(realPath(directory + _keyId + QStringLiteral(".gpg")));
        QVERIFY(!key.isEmpty());
        QVERIFY2(!key.startsWith("-----BEGIN"), "binary key packets, not armor");
    }
    QCOMPARE(TestSupport::readFile(realPath(DigSig::controlFilePath())),
             "//bin/dash\n/" + file.toUtf8() + "\n" + dir.toUtf8() + "/\n");
    QCOMPARE(agentOptions(), defaultAgentTimes);
}

void SigningDialogTest::mergeSkipsOverlongAndMultiLinePaths()
{
    const QString file = _work.filePath(QStringLiteral("plain"));
    QVERIFY(TestSupport::writeFile(file, "z\n"));
    // "/" + path + "\n": 1 + 4093 + 1 = 4095 bytes fits; one byte more does not.
    const QString fits = QLatin1Char('/') + QString(2046, QChar(0x00e9));
    const QString tooLong = fits + QLatin1Char('a');
    const QString injected = QStringLiteral("/tmp/evil\n/etc/");
    const Run run = runDialog({file, fits, tooLong, injected}, Bsign::XattrOnly);

    QVERIFY(run.finished);
    QVERIFY(run.log.contains(
        QStringLiteral("Warning: skipping /%1, file path exceeds the size limit.").arg(tooLong)));
    QVERIFY(run.log.contains(
        QStringLiteral("Warning: skipping /tmp/evil\\n/etc/, file path contains a line break.")));
    const QByteArray expected = "/" + file.toUtf8() + "\n" + "/" + fits.toUtf8() + "\n";
    QCOMPARE(TestSupport::readFile(realPath(DigSig::controlFilePath())), expected);
    QCOMPARE(("/" + fits.toUtf8() + "\n").size(), 4095);
}

void SigningDialogTest::logFileFollowsTheSaveLogChoice_data()
{
    QTest::addColumn<bool>("saveLog");
    QTest::addColumn<QString>("before");
    QTest::newRow("not saved") << false << "file";
    QTest::newRow("saved over an old log") << true << "file";
    QTest::newRow("saved to a new file") << true << "none";
    QTest::newRow("log is a link") << true << "link";
}

// The log is emptied by each run that saves it, written once, never through a link, and new
// ones are private to root whatever the umask.
void SigningDialogTest::logFileFollowsTheSaveLogChoice()
{
    QFETCH(bool, saveLog);
    QFETCH(QString, before);
    const QString logPath = realPath(DigSig::signingLogPath());
    const QString target = _work.filePath(QStringLiteral("log-target"));
    QFile::remove(logPath);
    QVERIFY(TestSupport::writeFile(target, "target\n"));
    if (before == QLatin1String("file"))
        QVERIFY(TestSupport::writeFile(logPath, "old run\n"));
    if (before == QLatin1String("link"))
        QVERIFY(QFile::link(target, logPath));
    const mode_t oldMask = ::umask(0);
    const Run run
        = runDialog({makeFiles(QStringLiteral("logged"), 2, "x\n")}, Bsign::XattrOnly, saveLog);
    ::umask(oldMask);

    QCOMPARE(TestSupport::readFile(target), QByteArray("target\n"));
    if (before == QLatin1String("link")) {
        QCOMPARE(run.log.mid(0, 2),
                 (QStringList {"Can not open /var/log/kiro-admin-digsig.log",
                               "/var/log/kiro-admin-digsig.log is a symbolic link; it was not "
                               "written."}));
        return;
    }
    QCOMPARE(TestSupport::readFile(logPath),
             saveLog ? (run.log.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()
                     : QByteArray("old run\n"));
    if (before == QLatin1String("none"))
        QCOMPARE(int(QFileInfo(logPath).permissions() & 0x7777),
                 int(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                     | QFileDevice::WriteUser));
}

void SigningDialogTest::cancelLetsRunningJobsEndAndStartsNoMore_data()
{
    QTest::addColumn<bool>("duringSigning");
    QTest::newRow("while files are signed") << true;
    QTest::newRow("before the first file starts") << false;
}

// Held calls fix the moment of Cancel: the dialog stays until the running jobs end on their
// own, and nothing more is started.
void SigningDialogTest::cancelLetsRunningJobsEndAndStartsNoMore()
{
    QFETCH(bool, duringSigning);
    const int threads = QThread::idealThreadCount();
    const QString dir = makeFiles(QStringLiteral("cancelled"), threads + 3, "x\n");
    const QString agentLog = _work.filePath(QStringLiteral("agent.log"));
    QFile::remove(agentLog);
    qputenv("DIGSIG_GPG_CONNECT_AGENT_LOG", agentLog.toUtf8());
    qputenv(duringSigning ? "DIGSIG_BSIGN_WAIT_FOR" : "DIGSIG_GPG_CONNECT_AGENT_WAIT_FOR",
            _session->gatePath().toUtf8());
    bool clicked = false;
    bool stayedOpen = false;
    const Run run = runDialog({dir}, Bsign::XattrOnly, false, [&](SigningDialog& dialog) {
        const bool ready = duringSigning ? _session->started().size() == threads
                                         : TestSupport::readLog(agentLog).size() == 1;
        if (clicked || !ready)
            return;
        clicked = true;
        button(dialog, QDialogButtonBox::Cancel)->click();
        stayedOpen = dialog.isVisible();
        _session->openGate();
    });

    QCOMPARE(run.result, int(QDialog::Rejected));
    QVERIFY2(stayedOpen, "Cancel waits for the running jobs without blocking");
    const QList<Call> calls = _session->calls();
    QCOMPARE(calls.size(), duringSigning ? threads : 0);
    for (const Call& call : calls)
        QVERIFY2(call.end > 0, "running jobs complete before the dialog closes");
    QVERIFY(run.log.contains(QStringLiteral("Cancelling...")));
    QCOMPARE(run.log.at(run.log.size() - 2), QStringLiteral("Cancelled."));
    QVERIFY(!run.finished);
    QCOMPARE(agentOptions(), defaultAgentTimes);
    QCoreApplication::processEvents();
    QCOMPARE(_session->calls().size(), calls.size());
}

void SigningDialogTest::cancelOfAHungToolNeitherBlocksNorWaitsForever()
{
    const QString file = makeFiles(QStringLiteral("hung"), 1, "x\n") + QStringLiteral("/file0000");
    qputenv("DIGSIG_BSIGN_HANG", "1");
    qint64 pid = 0;
    bool aliveAfterCancel = false;
    const Run run = runDialog({file}, Bsign::XattrOnly, false, [&](SigningDialog& dialog) {
        if (pid != 0 || _session->calls().isEmpty())
            return;
        pid = _session->calls().first().pid;
        dialog.reject();
        aliveAfterCancel = ::kill(pid_t(pid), 0) == 0;
    });
    QCOMPARE(run.result, int(QDialog::Rejected));
    QVERIFY2(aliveAfterCancel, "Cancel returns at once and leaves the tool its grace period");
    QVERIFY(::kill(pid_t(pid), 0) != 0);
    QVERIFY(
        run.log.contains(QStringLiteral("Warning: signing of %1 was ended by Cancel.").arg(file)));
    QCOMPARE(run.log.last(), summary(0, 0, 1, 0, 0));
}

void SigningDialogTest::escapeAfterFinishKeepsTheRunFinished()
{
    const QString dir = makeFiles(QStringLiteral("escape"), 1, "x\n");
    bool escaped = false;
    const Run run = runDialog({dir}, Bsign::XattrOnly, false, [&escaped](SigningDialog& dialog) {
        if (!escaped && dialog.isFinished()) {
            escaped = true;
            QTest::keyClick(&dialog, Qt::Key_Escape);
        }
    });
    QCOMPARE(run.result, int(QDialog::Rejected));
    QVERIFY(run.finished);
    QCOMPARE(run.log.mid(run.log.size() - 4),
             (QStringList {"Finished.", summary(1, 0, 0, 0, 0), "Cancelling...", "Cancelled."}));
}

DIGSIG_SANDBOX_TEST_MAIN(SigningDialogTest)
#include "signingdialogtest.moc"
