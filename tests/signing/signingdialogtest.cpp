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

int maxOverlap(const QList<BsignStandIn::Call>& calls)
{
    int most = 0;
    for (const BsignStandIn::Call& call : calls) {
        const int running
            = std::count_if(calls.cbegin(), calls.cend(), [&call](const BsignStandIn::Call& other) {
                  return other.start <= call.start && call.start < other.end;
              });
        most = std::max(most, running);
    }
    return most;
}

QByteArray elfBytes()
{
    return TestSupport::readFile(QStringLiteral("/bin/true"));
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
    void listingDependsOnTheMode_data();
    void listingDependsOnTheMode();
    void duplicateSelectionSignsEachFileOnce();
    void parallelJobsAreBoundedAndCompletionRunsOnce();
    void missingFileDoesNotStopTheRun();
    void firstFailureStopsTheRun();
    void completionExportsTheKeyAndMergesTheSelection();
    void mergeSkipsOverlongAndMultiLinePaths();
    void logFileFollowsTheSaveLogChoice();
    void cancelWaitsForRunningJobsAndStartsNoMore();
    void cancelDuringListingStartsNothing();
    void escapeAfterFinishKeepsTheRunFinished();

private:
    struct Run
    {
        QStringList log;
        int result = -1;
        bool finished = false;
        int progressValue = -1;
        int progressMaximum = -1;
        bool okEnabled = false;
        bool cancelEnabled = false;
    };
    // Runs a dialog modally; `whileRunning` may act on it, otherwise OK closes it once enabled.
    Run runDialog(const QStringList& paths, Bsign::SignMode mode, bool saveLog = false,
                  std::function<void(SigningDialog&)> whileRunning = nullptr);
    QString makeFiles(const QString& folder, int count, const QByteArray& content);

    QTemporaryDir _work;
    QString _standInLog;
    QString _keyId;
};

void SigningDialogTest::initTestCase()
{
    QVERIFY(_work.isValid());
    QProcess gpg;
    gpg.start(QStringLiteral("gpg"),
              {QStringLiteral("--batch"), QStringLiteral("--passphrase"), QString(),
               QStringLiteral("--quick-gen-key"), QStringLiteral("Signer <signer@example.org>"),
               QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("never")});
    QVERIFY(gpg.waitForFinished(60000));
    QCOMPARE(gpg.exitCode(), 0);
    gpg.start(QStringLiteral("gpg"),
              {QStringLiteral("--batch"), QStringLiteral("--with-colons"),
               QStringLiteral("--list-secret-keys")});
    QVERIFY(gpg.waitForFinished(60000));
    for (const QString& line :
         QString::fromUtf8(gpg.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("fpr:"))) {
            _keyId = line.section(QLatin1Char(':'), 9, 9);
            break;
        }
    }
    QVERIFY(!_keyId.isEmpty());
    QVERIFY(QDir().mkpath(realPath(DigSig::keysDirectory())));
    QVERIFY(QDir().mkpath(realPath(DigSig::xattrKeysDirectory())));
    QVERIFY(QDir().mkpath(realPath(QStringLiteral("/var/log"))));
}

void SigningDialogTest::init()
{
    _standInLog = _work.filePath(QStringLiteral("bsign-%1.log").arg(QTest::currentTestFunction()));
    QFile::remove(_standInLog);
    qputenv("DIGSIG_BSIGN_LOG", _standInLog.toUtf8());
    qputenv("DIGSIG_BSIGN_STATE", _work.filePath(QStringLiteral("state")).toUtf8());
    QFile::remove(realPath(DigSig::gpgAgentConfPath()));
    for (const QString& directory : {DigSig::keysDirectory(), DigSig::xattrKeysDirectory()})
        QFile::remove(realPath(directory + _keyId + QStringLiteral(".gpg")));
    TestSupport::writeFile(realPath(DigSig::controlFilePath()), "");
}

void SigningDialogTest::cleanup()
{
    for (const char* name : {"DIGSIG_BSIGN_DELAY_MS", "DIGSIG_BSIGN_EXIT", "DIGSIG_BSIGN_MATCH"})
        qunsetenv(name);
    QThreadPool::globalInstance()->waitForDone();
}

SigningDialogTest::Run
SigningDialogTest::runDialog(const QStringList& paths, Bsign::SignMode mode, bool saveLog,
                             std::function<void(SigningDialog&)> whileRunning)
{
    KeyManager keyManager;
    keyManager.init(QString());
    SigningDialog dialog(&keyManager, _keyId, paths, mode, saveLog);
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QTimer closer;
    closer.setInterval(10);
    connect(&closer, &QTimer::timeout, &dialog, [&] {
        if (whileRunning) {
            whileRunning(dialog);
        } else if (buttons->button(QDialogButtonBox::Ok)->isEnabled() && dialog.isVisible()) {
            closer.stop();
            buttons->button(QDialogButtonBox::Ok)->click();
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
    auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    run.progressValue = progress->value();
    run.progressMaximum = progress->maximum();
    run.okEnabled = buttons->button(QDialogButtonBox::Ok)->isEnabled();
    run.cancelEnabled = buttons->button(QDialogButtonBox::Cancel)->isEnabled();
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

    QCOMPARE(run.log, (QStringList {"Create a list of files to sign...", "No files to sign."}));
    QCOMPARE(run.progressMaximum, 1);
    QCOMPARE(run.progressValue, 1);
    QVERIFY(run.okEnabled);
    QVERIFY(!run.cancelEnabled);
    QVERIFY(!run.finished);
    QVERIFY2(!QFile::exists(realPath(DigSig::gpgAgentConfPath())), "the agent is left alone");
    QVERIFY(BsignStandIn::readCalls(_standInLog).isEmpty());
}

void SigningDialogTest::listingDependsOnTheMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("ElfOnly") << int(Bsign::ElfOnly)
                             << QStringList {"lib.so", "module.O", "program"};
    const QStringList regular {"empty",   "lib.so",    "module.O", "module.o",
                               "program", "script.sh", "short"};
    QTest::newRow("XattrOnly") << int(Bsign::XattrOnly) << regular;
    QTest::newRow("ElfAndXattr") << int(Bsign::ElfAndXattr) << regular;
}

void SigningDialogTest::listingDependsOnTheMode()
{
    QFETCH(int, mode);
    QFETCH(QStringList, expected);
    const QString dir = _work.filePath(QStringLiteral("mixed"));
    QDir(dir).removeRecursively();
    for (const char* name : {"program", "module.o", "module.O", "lib.so"})
        QVERIFY(TestSupport::writeFile(dir + QLatin1Char('/') + QLatin1String(name), elfBytes()));
    QVERIFY(TestSupport::writeFile(dir + QStringLiteral("/empty"), ""));
    QVERIFY(TestSupport::writeFile(dir + QStringLiteral("/short"),
                                   "\x7f"
                                   "EL"));
    QVERIFY(TestSupport::writeFile(dir + QStringLiteral("/script.sh"), "#!/bin/sh\necho hi\n"));
    QVERIFY(QFile::link(dir + QStringLiteral("/program"), dir + QStringLiteral("/inner-link")));

    Run run = runDialog({dir}, Bsign::SignMode(mode));
    QStringList signedFiles;
    for (const BsignStandIn::Call& call : BsignStandIn::readCalls(_standInLog))
        signedFiles.append(QFileInfo(call.args.last()).fileName());
    signedFiles.sort();
    QCOMPARE(signedFiles, expected);
    QVERIFY(run.finished);

    // A selected link to an ELF program is signed only when ELF signatures alone are made.
    const QString link = _work.filePath(QStringLiteral("link-to-program"));
    QFile::remove(link);
    QVERIFY(QFile::link(dir + QStringLiteral("/program"), link));
    QFile::remove(_standInLog);
    run = runDialog({link}, Bsign::SignMode(mode));
    const QList<BsignStandIn::Call> calls = BsignStandIn::readCalls(_standInLog);
    QCOMPARE(calls.size(), mode == Bsign::ElfOnly ? 1 : 0);
    if (mode == Bsign::ElfOnly)
        QCOMPARE(calls.first().args.last(), link);
}

void SigningDialogTest::duplicateSelectionSignsEachFileOnce()
{
    const QString dir = makeFiles(QStringLiteral("dupes"), 3, "data\n");
    const QString file = dir + QStringLiteral("/file0001");
    const Run run = runDialog({dir, file, file}, Bsign::XattrOnly);
    QVERIFY(run.finished);
    QCOMPARE(BsignStandIn::readCalls(_standInLog).size(), 3);
    QCOMPARE(run.progressMaximum, 3);
}

void SigningDialogTest::parallelJobsAreBoundedAndCompletionRunsOnce()
{
    const int threads = QThread::idealThreadCount();
    const QString dir = makeFiles(QStringLiteral("many"), threads * 2 + 3, elfBytes());
    qputenv("DIGSIG_BSIGN_DELAY_MS", "120");
    const Run run = runDialog({dir}, Bsign::ElfOnly);

    const QList<BsignStandIn::Call> calls = BsignStandIn::readCalls(_standInLog);
    QCOMPARE(calls.size(), threads * 2 + 3);
    QVERIFY2(maxOverlap(calls) <= threads, "never more jobs than processors");
    if (threads > 1)
        QVERIFY2(maxOverlap(calls) > 1, "files are signed in parallel");
    QCOMPARE(run.log.count(QStringLiteral("Signing completed.")), 1);
    QCOMPARE(run.log.count(QStringLiteral("Finished.")), 1);
    const int lastSigned
        = run.log.lastIndexOf(QRegularExpression(QStringLiteral(".* signed successfully")));
    QCOMPARE(run.log.indexOf(QStringLiteral("Signing completed.")), lastSigned + 1);
    QCOMPARE(run.progressValue, calls.size());
    QVERIFY(run.finished);
    QCOMPARE(agentOptions(), defaultAgentTimes);
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
    QCOMPARE(run.progressValue, 3);
}

void SigningDialogTest::firstFailureStopsTheRun()
{
    const int threads = QThread::idealThreadCount();
    const QString dir = makeFiles(QStringLiteral("failing"), threads + 4, "x\n");
    qputenv("DIGSIG_BSIGN_EXIT", "70");
    const QByteArray control = "/kept/\n";
    QVERIFY(TestSupport::writeFile(realPath(DigSig::controlFilePath()), control));
    const Run run = runDialog({dir}, Bsign::ElfAndXattr);

    QVERIFY2(QRegularExpression(QStringLiteral(".*/file\\d+ signing error: .+"))
                 .match(run.log.last())
                 .hasMatch(),
             qPrintable(run.log.join(QLatin1Char('\n'))));
    QCOMPARE(run.log.filter(QStringLiteral("signing error")).size(), 1);
    QCOMPARE(run.progressValue, 1);
    QVERIFY(!run.finished);
    QCOMPARE(BsignStandIn::readCalls(_standInLog).size(), threads);
    QCOMPARE(TestSupport::readFile(realPath(DigSig::controlFilePath())), control);
    QVERIFY(!QFile::exists(realPath(DigSig::keysDirectory() + _keyId + QStringLiteral(".gpg"))));
    QCOMPARE(agentOptions(), defaultAgentTimes);
    QVERIFY(run.okEnabled && !run.cancelEnabled);
}

void SigningDialogTest::completionExportsTheKeyAndMergesTheSelection()
{
    const QString dir = makeFiles(QStringLiteral("complete"), 2, elfBytes());
    const QString file = _work.filePath(QStringLiteral("single"));
    QVERIFY(TestSupport::writeFile(file, "y\n"));
    QVERIFY(TestSupport::writeFile(realPath(DigSig::controlFilePath()),
                                   "  " + dir.toUtf8() + "/  \n\n//bin/dash\n"));
    const Run run = runDialog({dir, file}, Bsign::ElfAndXattr);

    QVERIFY(run.finished);
    const int completed = run.log.indexOf(QStringLiteral("Signing completed."));
    QVERIFY(completed > 0);
    QCOMPARE(
        run.log.mid(completed),
        (QStringList {
            "Signing completed.",
            QStringLiteral("Key with ID %1 successfully exported to /etc/digsig/keys/%1.gpg")
                .arg(_keyId),
            QStringLiteral("Key with ID %1 successfully exported to /etc/digsig/xattr_keys/%1.gpg")
                .arg(_keyId),
            "Writing selected directories and files to /etc/digsig/xattr_control", "Finished."}));
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

void SigningDialogTest::logFileFollowsTheSaveLogChoice()
{
    const QString logPath = realPath(DigSig::signingLogPath());
    const QString dir = makeFiles(QStringLiteral("logged"), 2, "x\n");

    QVERIFY(TestSupport::writeFile(logPath, "old run\n"));
    runDialog({dir}, Bsign::XattrOnly, false);
    QCOMPARE(TestSupport::readFile(logPath), QByteArray("old run\n"));

    const Run run = runDialog({dir}, Bsign::XattrOnly, true);
    QCOMPARE(TestSupport::readFile(logPath),
             (run.log.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    QVERIFY(!TestSupport::readFile(logPath).contains("old run"));
}

void SigningDialogTest::cancelWaitsForRunningJobsAndStartsNoMore()
{
    const int threads = QThread::idealThreadCount();
    const QString dir = makeFiles(QStringLiteral("cancelled"), threads + 3, "x\n");
    qputenv("DIGSIG_BSIGN_DELAY_MS", "400");
    bool clicked = false;
    const Run run = runDialog({dir}, Bsign::XattrOnly, false, [&clicked](SigningDialog& dialog) {
        auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));
        if (clicked || progress->maximum() == 0)
            return;
        clicked = true;
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    });

    QCOMPARE(run.result, int(QDialog::Rejected));
    const QList<BsignStandIn::Call> calls = BsignStandIn::readCalls(_standInLog);
    QCOMPARE(calls.size(), threads);
    for (const BsignStandIn::Call& call : calls)
        QVERIFY2(call.end > 0, "running jobs complete before the dialog closes");
    QCOMPARE(run.log.mid(run.log.size() - 2), (QStringList {"Cancelling...", "Cancelled."}));
    QVERIFY(!run.finished);
    QCOMPARE(agentOptions(), defaultAgentTimes);
    QTest::qWait(0);
    QCOMPARE(BsignStandIn::readCalls(_standInLog).size(), threads);
}

void SigningDialogTest::cancelDuringListingStartsNothing()
{
    const QString dir = makeFiles(QStringLiteral("listing"), 300, "x\n");
    KeyManager keyManager;
    SigningDialog dialog(&keyManager, _keyId, {dir}, Bsign::XattrOnly, false);
    auto* view = dialog.findChild<QPlainTextEdit*>(QStringLiteral("logPlainTextEdit"));
    connect(view, &QPlainTextEdit::textChanged, &dialog, [&dialog, view] {
        if (view->toPlainText() == QLatin1String("Create a list of files to sign..."))
            QTimer::singleShot(0, &dialog, &SigningDialog::reject);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCoreApplication::processEvents();
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    QVERIFY(BsignStandIn::readCalls(_standInLog).isEmpty());
    QCOMPARE(view->toPlainText().split(QLatin1Char('\n')),
             (QStringList {"Create a list of files to sign...", "Cancelling...", "Cancelled."}));
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
    QCOMPARE(run.log.mid(run.log.size() - 3),
             (QStringList {"Finished.", "Cancelling...", "Cancelled."}));
}

DIGSIG_SANDBOX_TEST_MAIN(SigningDialogTest)
#include "signingdialogtest.moc"
