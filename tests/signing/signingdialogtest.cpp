#include "signingdialog.h"
#include "bsignstandin.h"
#include "digsigconstants.h"
#include "keymanager.h"
#include "selectkeydialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

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
            const QString text = label ? label->text() : button ? button->text() : QString();
            if (text.isEmpty() || qobject_cast<QDialogButtonBox*>(widget->parentWidget()))
                continue;
            QVERIFY2(text.contains(QLatin1Char('&')) && (!label || label->buddy()),
                     qPrintable(text));
            keys << text.section(QLatin1Char('&'), 1).left(1).toLower();
        }
        QVERIFY(!keys.isEmpty());
        QCOMPARE(keys.removeDuplicates(), 0);
    }

    // Runs a signing dialog modally; the handler answers it, by default with OK once enabled.
    // Returns how it ended (result, run, buttons), then its progress text, then its log. A
    // handler keeps the dialog unanswered while it should close by itself: one that stays fails
    // after the driver's patience instead of hanging the test.
    QStringList runDialog(const QStringList& paths,
                          ModalDriver::Handler handler = ModalDriver::agree())
    {
        KeyManager keys;
        keys.init(QString());
        SigningDialog dialog(&keys, _keyId, paths, Bsign::ElfAndXattr, false);
        checkMnemonics(&dialog);
        ModalDriver driver(std::move(handler), 20000);
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

private Q_SLOTS:
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
        auto* combo = dialog.findChild<QComboBox*>();
        ModalDriver driver([&](QWidget* modal) {
            if (auto* open = modal->findChild<QPushButton*>("_openKeyManagerPushButton"))
                return ModalDriver::press(open) && !modal->isVisible();
            checkMnemonics(modal);
            home.makeKey(QStringLiteral("User%1").arg(combo->count()), QStringLiteral("ed25519"));
            return ModalDriver::press(button(modal, QDialogButtonBox::Cancel));
        });
        for (int i = 0; i < 2; ++i)
            dialog.findChild<QPushButton*>("_createKeyPushButton")->click();
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(combo->currentText().section(' ', 1),
                 '[' + dialog.selectedKeyId().right(10) + ']');
        QVERIFY(button(&dialog, QDialogButtonBox::Ok)->isEnabled());

        SelectKeyDialog xattr(&keys, Bsign::XattrOnly, nullptr);
        QVERIFY(!dialog.findChild<QWidget*>("_warningTextBrowser")->isHidden());
        QVERIFY(xattr.findChild<QWidget*>("_warningTextBrowser")->isHidden());
        QVERIFY(xattr.width() == dialog.width() && xattr.height() < dialog.height());
        // Outside the console there is no key manager to open: the dialog just gives way.
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    // The whole flow: every file signed and the selection added to the control file. A file
    // gone when its turn comes, and a selected path that cannot go into the control file, are
    // warnings, not failures.
    void completedRunIsFinished()
    {
        for (const char* name : {"complete/0", "complete/1", "complete/2", "file"})
            writeFile(_work.filePath(name), elfBytes());
        const QString dir = _work.filePath("complete");
        const QString file = _work.filePath("file");
        const QString control = sandboxPath(DigSig::controlFilePath());
        QVERIFY(writeFile(control, "//bin/dash\n"));
        // The key is exported for the kernel into these.
        for (const QString& folder : {DigSig::keysDirectory(), DigSig::xattrKeysDirectory()})
            QVERIFY(QDir().mkpath(sandboxPath(folder)));
        BsignStandIn::Session session;
        ScopedEnv match("DIGSIG_BSIGN_MATCH", "complete/1");
        ScopedEnv notFound("DIGSIG_BSIGN_EXIT", "2");
        const QString tooLong = QLatin1Char('/') + QString(2047, QChar(0x00e9));
        const QStringList run = runDialog({dir, file, tooLong, QStringLiteral("/tmp/a\n/etc/")});
        QCOMPARE(
            run.mid(0, 2) << run.last(),
            (QStringList {"accepted finished only-OK", "4 of 4",
                          "Summary: 3 signed, 1 not found, 0 failed, 2 skipped, 0 not started."}));
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
            // Had Escape left it open, its own reject() could not close it either.
            if (dialog->isVisible())
                qobject_cast<QDialog*>(dialog)->done(QDialog::Accepted);
            return true;
        });
        QCOMPARE(run.mid(0, 2) << run.last(),
                 (QStringList {"rejected unfinished only-OK", "100%", "Cancelled."}));
        QVERIFY(run.contains(QStringLiteral("No files to sign.")));
    }

    // Cancel does not block: the dialog stays until the files being signed are done, then
    // closes by itself.
    void cancelClosesOnceRunningJobsHaveEnded()
    {
        for (int i = 0; i < 8; ++i)
            writeFile(_work.filePath(QStringLiteral("cancelled/%1").arg(i)), "x\n");
        BsignStandIn::Session session;
        ScopedEnv hold("DIGSIG_BSIGN_WAIT_FOR", session.gatePath().toUtf8());
        bool stayedOpen = false;
        const QStringList run = runDialog({_work.filePath("cancelled")}, [&](QWidget* dialog) {
            if (session.started().isEmpty() || stayedOpen)
                return false;
            ModalDriver::press(button(dialog, QDialogButtonBox::Cancel));
            stayedOpen = dialog->isVisible();
            session.openGate();
            return !stayedOpen;
        });
        QCOMPARE(run.first(), QStringLiteral("rejected unfinished only-OK"));
        QVERIFY(stayedOpen && run.contains(QStringLiteral("Cancelled.")));
        QCOMPARE(session.calls().size(), session.started().size());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SigningDialogTest)
#include "signingdialogtest.moc"
