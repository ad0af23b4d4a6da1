#include "createkeydialog.h"
#include "keymanager.h"

#include "testsupport.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using TestSupport::ModalDriver;

namespace {
// Types text key by key, as a keyboard with any layout would; QTest::keyClicks knows ASCII only.
void type(QWidget* widget, const QString& text)
{
    for (const QChar character : text) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, 0, Qt::NoModifier, QString(character));
            QApplication::sendEvent(widget, &event);
        }
    }
}
} // namespace

// The key creation dialog over a real key manager in the sandbox's GnuPG home, where GnuPG
// refuses the GOST key type.
class CreateKeyDialogTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<KeyManager> _manager;
    std::unique_ptr<CreateKeyDialog> _dialog;
    QLineEdit* edit(const QString& name) const { return _dialog->findChild<QLineEdit*>(name); }

private Q_SLOTS:
    void init()
    {
        _manager = std::make_unique<KeyManager>();
        QVERIFY(_manager->init(QString()));
        _dialog = std::make_unique<CreateKeyDialog>(_manager.get(), nullptr);
        _dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(_dialog.get()));
    }

    void cleanup()
    {
        _dialog.reset();
        _manager.reset();
    }

    void buttons_data()
    {
        QTest::addColumn<QString>("name"); // as typed; the validator refuses what is in brackets
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("box"); // empty: none shows
        const QString refused = QStringLiteral("Key generation error:");
        QTest::newRow("four-character name") << QStringLiteral("[1]Abcd") << "a@b.org" << false
                                             << "Name shouldn't be shorter than 5 characters.";
        QTest::newRow("address without top-level domain")
            << QStringLiteral("Jean-Luc O'Neil") << "ivan@host[@]" << false
            << "The e-mail address ivan@host is not complete.";
        QTest::newRow("Cyrillic name with a digit, no address")
            << QStringLiteral("Иван Петров 2") << QString() << false << refused;
        QTest::newRow("whole address")
            << QStringLiteral("Jean-Luc") << "jean[ ].luc+build@mail.build-1.example.org" << false
            << refused;
        QTest::newRow("cancel") << "Abcdef" << QString() << true << QString();
    }

    // The dialog stays open with what was typed unless cancelled; while GnuPG works, and while
    // its refusal shows, the dialog takes no input.
    void buttons()
    {
        QFETCH(QString, name);
        QFETCH(QString, email);
        QFETCH(bool, cancel);
        QFETCH(QString, box);
        static const QRegularExpression refused(QStringLiteral("\\[[^]]*\\]"));
        for (const QString& field :
             {QStringLiteral("_nameLineEdit"), QStringLiteral("_emailLineEdit")}) {
            const QString& typed = field.startsWith(QLatin1String("_name")) ? name : email;
            type(edit(field), QString(typed).remove(QRegularExpression("[][]")));
            QCOMPARE(edit(field)->text(), QString(typed).remove(refused));
        }
        QSignalSpy started(_manager.get(), &KeyManager::keyGenerationStarted);
        bool enabledUnderBox = true;
        ModalDriver driver([&](QWidget* modal) {
            enabledUnderBox = _dialog->isEnabled();
            return ModalDriver::answer(QMessageBox::Ok)(modal);
        });
        _dialog->findChild<QDialogButtonBox*>(QStringLiteral("_dialogButtonBox"))
            ->button(cancel ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)
            ->click();
        QCOMPARE(driver.boxes().size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty())
            QCOMPARE(driver.boxes().at(0).text, box);
        const bool generates = box.startsWith(QLatin1String("Key generation"));
        QCOMPARE(started.count(), generates ? 1 : 0);
        if (generates) {
            QVERIFY(driver.boxes().at(0).informativeText.startsWith(
                QStringLiteral("The GnuPG installed on this computer cannot make GOST")));
            QVERIFY(!enabledUnderBox);
        }
        QVERIFY(_dialog->isEnabled());
        QCOMPARE(_dialog->isVisible(), !cancel);
        QCOMPARE(_dialog->result(), int(QDialog::Rejected));
    }

    void successfulGenerationAccepts()
    {
        // GnuPG cannot make the key, so the test announces one as the key manager would.
        const QString fingerprint = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
        ModalDriver driver(QMessageBox::Ok);
        Q_EMIT _manager->keyGenerationEnded(fingerprint);
        QCOMPARE(driver.boxes().size(), 1);
        QCOMPARE(driver.boxes().at(0).text, QStringLiteral("Key generated successfully."));
        QCOMPARE(driver.boxes().at(0).informativeText,
                 QStringLiteral("Fingerprint: ") + fingerprint);
        QCOMPARE(_dialog->result(), int(QDialog::Accepted));
        QVERIFY(!_dialog->isVisible());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(CreateKeyDialogTest)
#include "createkeydialogtest.moc"
