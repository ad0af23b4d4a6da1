#include "signingdialog.h"
#include "bsignstandin.h"
#include "createkeydialog.h"
#include "digsigconstants.h"
#include "keymanager.h"
#include "selectkeydialog.h"
#include "testsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>

using TestSupport::ModalDriver;
using TestSupport::sandboxPath;
using TestSupport::ScopedEnv;

// The dialogs of a signing run: the choice of the key, then the run as the administrator sees
// it (the log, the progress and the buttons) from its start to the dialog's close.
class SigningDialogTest : public QObject
{
    Q_OBJECT

    struct Run
    {
        int result;
        QStringList log;
        QString progress;
        bool finished;
        bool onlyOkEnabled;
    };

    // The default GnuPG home of the sandbox, the one a signing run uses.
    std::unique_ptr<GnupgHome> _home;
    QString _keyId;
    QTemporaryDir _work;
    std::unique_ptr<BsignStandIn::Session> _session;

    template<typename T = QPushButton> static T* child(const QWidget* dialog, const char* name)
    {
        return dialog->findChild<T*>(QLatin1String(name));
    }
    static QPushButton* button(const QWidget* dialog, QDialogButtonBox::StandardButton which)
    {
        return dialog->findChild<QDialogButtonBox*>()->button(which);
    }

    // Runs a signing dialog modally; the handler answers it, by default with OK once enabled.
    Run runDialog(const QStringList& paths, ModalDriver::Handler handler = ModalDriver::agree(),
                  bool saveLog = false)
    {
        KeyManager keys;
        keys.init(QString());
        SigningDialog dialog(&keys, _keyId, paths, Bsign::ElfAndXattr, saveLog);
        ModalDriver driver(std::move(handler), 60000);
        // Braced initialisers run in order: everything is read once the dialog has closed.
        return {dialog.exec(),
                dialog.findChild<QPlainTextEdit*>()->toPlainText().split(QLatin1Char('\n')),
                dialog.findChild<QProgressBar*>()->text(), dialog.isFinished(),
                button(&dialog, QDialogButtonBox::Ok)->isEnabled()
                    && !button(&dialog, QDialogButtonBox::Cancel)->isEnabled()};
    }

    QString makeFiles(const QString& folder, int count, const QByteArray& content)
    {
        for (int i = 0; i < count; ++i)
            TestSupport::writeFile(_work.filePath(folder + QLatin1Char('/') + QString::number(i)),
                                   content);
        return _work.filePath(folder);
    }

private Q_SLOTS:
    void initTestCase()
    {
        _home = std::make_unique<GnupgHome>(sandboxPath(QStringLiteral("/root/.gnupg")));
        _keyId = _home->makeKey(QStringLiteral("Signer"), QStringLiteral("ed25519")).value(0);
        QVERIFY(!_keyId.isEmpty());
        for (const QString& folder :
             {DigSig::keysDirectory(), DigSig::xattrKeysDirectory(), QStringLiteral("/var/log")})
            QVERIFY(QDir().mkpath(sandboxPath(folder)));
    }

    void init() { _session = std::make_unique<BsignStandIn::Session>(); }
    void cleanup() { _session.reset(); }

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
        QVERIFY(dialog.selectedKeyId().isEmpty());
        QStringList created;
        ModalDriver driver([&](QWidget* modal) {
            if (QPushButton* open = child(modal, "_openKeyManagerPushButton"))
                return ModalDriver::press(open);
            const QString user = QStringList {"Admin", "Second"}.at(created.size());
            created << home.makeKey(user, QStringLiteral("ed25519")).value(0);
            return ModalDriver::press(button(modal, QDialogButtonBox::Cancel));
        });
        for (int i = 0; i < 2; ++i)
            child(&dialog, "_createKeyPushButton")->click();
        QCOMPARE(driver.seen(), (QStringList {"CreateKeyDialog", "CreateKeyDialog"}));
        auto* combo = child<QComboBox>(&dialog, "_keysComboBox");
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(dialog.selectedKeyId(), combo->itemData(1).toString());
        const QString admin = QStringLiteral("Admin [%1]").arg(created.first().right(10));
        QCOMPARE(combo->itemData(combo->findText(admin)).toString(), created.first());
        QVERIFY(button(&dialog, QDialogButtonBox::Ok)->isEnabled());

        SelectKeyDialog xattr(&keys, Bsign::XattrOnly, nullptr);
        for (SelectKeyDialog* shown : {&dialog, &xattr}) {
            shown->show();
            QCOMPARE(child<QTextBrowser>(shown, "_warningTextBrowser")->isVisible(),
                     shown == &dialog);
        }
        QCOMPARE(xattr.width(), dialog.width());
        QVERIFY(xattr.height() < dialog.height());
        // Outside the console there is no key manager to open: the dialog just gives way.
        dialog.hide();
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    }

    void everyControlHasItsOwnMnemonic_data()
    {
        QTest::addColumn<int>("dialog");
        QTest::newRow("create key") << 0;
        QTest::newRow("key selection") << 1;
        QTest::newRow("signing progress") << 2;
    }

    // Each button, check box and named field can be reached from the keyboard, with a key of
    // its own within the dialog.
    void everyControlHasItsOwnMnemonic()
    {
        QFETCH(int, dialog);
        KeyManager keys;
        QVERIFY(keys.init(QString()));
        CreateKeyDialog create(&keys, nullptr);
        SelectKeyDialog select(&keys, Bsign::ElfAndXattr, nullptr);
        SigningDialog signing(&keys, QString(), QStringList(), Bsign::ElfOnly, false);
        const QDialog* shown = QList<QDialog*> {&create, &select, &signing}.at(dialog);
        QStringList texts;
        for (const QAbstractButton* button : shown->findChildren<QAbstractButton*>()) {
            if (!qobject_cast<QDialogButtonBox*>(button->parentWidget()))
                texts << button->text();
        }
        for (const QLabel* label : shown->findChildren<QLabel*>()) {
            QVERIFY2(label->text().isEmpty() || label->buddy(), qPrintable(label->text()));
            if (!label->text().isEmpty())
                texts << label->text();
        }
        QSet<QString> keysUsed;
        for (const QString& text : texts) {
            QVERIFY2(text.contains(QLatin1Char('&')), qPrintable(text));
            keysUsed << text.section(QLatin1Char('&'), 1).left(1).toLower();
        }
        QVERIFY(!texts.isEmpty());
        QCOMPARE(keysUsed.size(), texts.size());
    }

    // A run with nothing to sign ends at once; Escape after the end only closes the dialog.
    void nothingToSignEndsAtOnce()
    {
        const Run run = runDialog({}, [](QWidget* dialog) {
            if (!button(dialog, QDialogButtonBox::Ok)->isEnabled())
                return false;
            QTest::keyClick(dialog, Qt::Key_Escape);
            return true;
        });
        QCOMPARE(run.result, int(QDialog::Rejected));
        QVERIFY(run.log.contains(QStringLiteral("No files to sign.")));
        QCOMPARE(run.log.last(), QStringLiteral("Cancelled."));
        QCOMPARE(run.progress, QStringLiteral("100%"));
        QVERIFY(run.onlyOkEnabled && !run.finished);
        QVERIFY(_session->calls().isEmpty());
    }

    // The whole flow: every file signed, the key exported for the kernel, the selection added
    // to the control file and the log saved as shown. A file gone when its turn comes, and a
    // selected path that cannot go into the control file, are warnings, not failures.
    void completedRunIsFinished()
    {
        const QString dir = makeFiles(QStringLiteral("complete"), 3, TestSupport::elfBytes());
        const QString file = makeFiles(QStringLiteral("single"), 1, "y\n") + QStringLiteral("/0");
        const QString tooLong = QLatin1Char('/') + QString(2047, QChar(0x00e9));
        const QString control = sandboxPath(DigSig::controlFilePath());
        QVERIFY(TestSupport::writeFile(control, "//bin/dash\n"));
        ScopedEnv match("DIGSIG_BSIGN_MATCH", "complete/1");
        ScopedEnv notFound("DIGSIG_BSIGN_EXIT", "2");
        const Run run = runDialog({dir, file, tooLong, QStringLiteral("/tmp/a\n/etc/")},
                                  ModalDriver::agree(), true);
        QVERIFY(run.finished);
        QVERIFY(run.onlyOkEnabled);
        QCOMPARE(run.progress, QStringLiteral("4 of 4"));
        QCOMPARE(
            run.log.last(),
            QStringLiteral("Summary: 3 signed, 1 not found, 0 failed, 2 skipped, 0 not started."));
        QCOMPARE(run.log.filter(QRegularExpression(QStringLiteral("^Warning: "))).size(), 5);
        QCOMPARE(TestSupport::readFile(sandboxPath(DigSig::signingLogPath())),
                 (run.log.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        for (const QString& folder : {DigSig::keysDirectory(), DigSig::xattrKeysDirectory()})
            QVERIFY(!TestSupport::readFile(sandboxPath(folder + _keyId + ".gpg")).isEmpty());
        QCOMPARE(TestSupport::readFile(control),
                 "//bin/dash\n/" + file.toUtf8() + "\n" + dir.toUtf8() + "/\n");
    }

    // Cancel does not block: the dialog stays until the files being signed are done, then
    // closes by itself.
    void cancelClosesOnceRunningJobsHaveEnded()
    {
        const QString dir = makeFiles(QStringLiteral("cancelled"), 8, "x\n");
        ScopedEnv hold("DIGSIG_BSIGN_WAIT_FOR", _session->gatePath().toUtf8());
        bool stayedOpen = false;
        const Run run = runDialog({dir}, [&](QWidget* dialog) {
            if (_session->started().isEmpty())
                return false;
            ModalDriver::press(button(dialog, QDialogButtonBox::Cancel));
            stayedOpen = dialog->isVisible();
            _session->openGate();
            return true;
        });
        QCOMPARE(run.result, int(QDialog::Rejected));
        QVERIFY(stayedOpen);
        QCOMPARE(_session->calls().size(), _session->started().size());
        QVERIFY(run.log.contains(QStringLiteral("Cancelled.")));
        QVERIFY(!run.finished);
        QVERIFY(run.onlyOkEnabled);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SigningDialogTest)
#include "signingdialogtest.moc"
