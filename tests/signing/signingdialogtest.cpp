#include "signingdialog.h"
#include "bsignstandin.h"
#include "digsigconstants.h"
#include "keymanager.h"
#include "selectkeydialog.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <optional>

using namespace TestSupport;

// The dialogs of a signing run: the choice of the key, then the run as the administrator sees
// it (the log, the progress and the buttons) from its start to the dialog's close.
class SigningDialogTest : public QObject
{
    Q_OBJECT

    // The signing key, in the sandbox's default GnuPG home.
    const QString _keyId = GnupgHome(sandboxPath(QStringLiteral("/root/.gnupg")))
                               .makeKey(QStringLiteral("Signer"), QStringLiteral("ed25519"))
                               .value(0);
    QTemporaryDir _work;
    std::optional<BsignStandIn::Session> _session;

    static QPushButton* button(const QWidget* dialog, QDialogButtonBox::StandardButton which)
    {
        return dialog->findChild<QDialogButtonBox*>()->button(which);
    }

    // Each button, check box and named field can be reached from the keyboard, with a key of
    // its own within the dialog.
    static void checkMnemonics(const QWidget* dialog)
    {
        QStringList keys;
        for (const QWidget* widget : dialog->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<const QLabel*>(widget);
            const auto* button = qobject_cast<const QAbstractButton*>(widget);
            const QString text = label ? label->text()
                : button && !qobject_cast<QDialogButtonBox*>(widget->parentWidget())
                ? button->text()
                : QString();
            if (text.isEmpty())
                continue;
            QVERIFY2(text.contains(QLatin1Char('&')) && (!label || label->buddy()),
                     qPrintable(text));
            keys << text.section(QLatin1Char('&'), 1).left(1).toLower();
        }
        QVERIFY(!keys.isEmpty());
        QCOMPARE(keys.removeDuplicates(), 0);
    }

    // Runs a signing dialog modally; the handler answers it, by default with OK once enabled.
    // Returns how it ended (result, run, buttons), then its progress text, then its log.
    QStringList runDialog(const QStringList& paths,
                          ModalDriver::Handler handler = ModalDriver::agree())
    {
        KeyManager keys;
        keys.init(QString());
        SigningDialog dialog(&keys, _keyId, paths, Bsign::ElfAndXattr, false);
        checkMnemonics(&dialog);
        ModalDriver driver(std::move(handler), 60000);
        const bool accepted = dialog.exec() == QDialog::Accepted;
        const bool onlyOk = button(&dialog, QDialogButtonBox::Ok)->isEnabled()
            && !button(&dialog, QDialogButtonBox::Cancel)->isEnabled();
        return QStringList {QString("%1 %2 %3")
                                .arg(accepted ? "accepted" : "rejected",
                                     dialog.isFinished() ? "finished" : "unfinished",
                                     onlyOk ? "only-OK" : "both-buttons"),
                            dialog.findChild<QProgressBar*>()->text()}
        + dialog.findChild<QPlainTextEdit*>()->toPlainText().split(QLatin1Char('\n'));
    }

    QString makeFiles(const QString& folder, int count, const QByteArray& content)
    {
        for (int i = 0; i < count; ++i)
            writeFile(_work.filePath(folder + QLatin1Char('/') + QString::number(i)), content);
        return _work.filePath(folder);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const QString& folder : {DigSig::keysDirectory(), DigSig::xattrKeysDirectory()})
            QVERIFY(QDir().mkpath(sandboxPath(folder)));
    }

    void init() { _session.emplace(); }

    // Without keys OK waits for one; a key made while the creation dialog is open is offered
    // even when that dialog is cancelled, and the last key listed is the current one. The
    // warning is about keys for ELF signatures: without it the dialog shrinks.
    void keySelection()
    {
        GnupgHome home;
        KeyManager keys;
        QVERIFY(keys.init(home.path()));
        SelectKeyDialog dialog(&keys, Bsign::ElfAndXattr, nullptr);
        QVERIFY(!button(&dialog, QDialogButtonBox::Ok)->isEnabled());
        checkMnemonics(&dialog);
        QStringList created;
        ModalDriver driver([&](QWidget* modal) {
            if (auto* open = modal->findChild<QPushButton*>("_openKeyManagerPushButton"))
                return ModalDriver::press(open);
            checkMnemonics(modal);
            const QString user = QStringLiteral("User%1").arg(created.size());
            created << home.makeKey(user, QStringLiteral("ed25519")).value(0);
            return ModalDriver::press(button(modal, QDialogButtonBox::Cancel));
        });
        for (int i = 0; i < 2; ++i)
            dialog.findChild<QPushButton*>("_createKeyPushButton")->click();
        auto* combo = dialog.findChild<QComboBox*>();
        QCOMPARE(combo->count(), 2);
        QCOMPARE(dialog.selectedKeyId(), combo->itemData(1).toString());
        const QString first = QStringLiteral("User0 [%1]").arg(created.first().right(10));
        QCOMPARE(combo->itemData(combo->findText(first)).toString(), created.first());
        QVERIFY(button(&dialog, QDialogButtonBox::Ok)->isEnabled());

        SelectKeyDialog xattr(&keys, Bsign::XattrOnly, nullptr);
        QVERIFY(!dialog.findChild<QWidget*>("_warningTextBrowser")->isHidden());
        QVERIFY(xattr.findChild<QWidget*>("_warningTextBrowser")->isHidden());
        QCOMPARE(xattr.width(), dialog.width());
        QVERIFY(xattr.height() < dialog.height());
        // Outside the console there is no key manager to open: the dialog just gives way.
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    // The whole flow: every file signed and the selection added to the control file. A file
    // gone when its turn comes, and a selected path that cannot go into the control file, are
    // warnings, not failures.
    void completedRunIsFinished()
    {
        const QString dir = makeFiles(QStringLiteral("complete"), 3, elfBytes());
        const QString file = makeFiles(QStringLiteral("single"), 1, "y\n") + QStringLiteral("/0");
        const QString tooLong = QLatin1Char('/') + QString(2047, QChar(0x00e9));
        const QString control = sandboxPath(DigSig::controlFilePath());
        QVERIFY(writeFile(control, "//bin/dash\n"));
        ScopedEnv match("DIGSIG_BSIGN_MATCH", "complete/1");
        ScopedEnv notFound("DIGSIG_BSIGN_EXIT", "2");
        const QStringList run = runDialog({dir, file, tooLong, QStringLiteral("/tmp/a\n/etc/")});
        QCOMPARE(run.mid(0, 2), (QStringList {"accepted finished only-OK", "4 of 4"}));
        QCOMPARE(
            run.last(),
            QStringLiteral("Summary: 3 signed, 1 not found, 0 failed, 2 skipped, 0 not started."));
        QCOMPARE(run.filter(QRegularExpression(QStringLiteral("^Warning: "))).size(), 5);
        QCOMPARE(readFile(control), "//bin/dash\n/" + file.toUtf8() + "\n" + dir.toUtf8() + "/\n");
    }

    // A run with nothing to sign ends at once; Escape after the end only closes the dialog.
    void nothingToSignEndsAtOnce()
    {
        const QStringList run = runDialog({}, [](QWidget* dialog) {
            if (!button(dialog, QDialogButtonBox::Ok)->isEnabled())
                return false;
            QTest::keyClick(dialog, Qt::Key_Escape);
            return true;
        });
        QCOMPARE(run.mid(0, 2), (QStringList {"rejected unfinished only-OK", "100%"}));
        QVERIFY(run.contains(QStringLiteral("No files to sign.")));
        QCOMPARE(run.last(), QStringLiteral("Cancelled."));
    }

    // Cancel does not block: the dialog stays until the files being signed are done, then
    // closes by itself.
    void cancelClosesOnceRunningJobsHaveEnded()
    {
        const QString dir = makeFiles(QStringLiteral("cancelled"), 8, "x\n");
        ScopedEnv hold("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath().toUtf8());
        bool stayedOpen = false;
        const QStringList run = runDialog({dir}, [&](QWidget* dialog) {
            if (_session->started().isEmpty())
                return false;
            ModalDriver::press(button(dialog, QDialogButtonBox::Cancel));
            stayedOpen = dialog->isVisible();
            _session->openGate();
            return true;
        });
        QCOMPARE(run.first(), QStringLiteral("rejected unfinished only-OK"));
        QVERIFY(stayedOpen && run.contains(QStringLiteral("Cancelled.")));
        QCOMPARE(_session->calls().size(), _session->started().size());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SigningDialogTest)
#include "signingdialogtest.moc"
