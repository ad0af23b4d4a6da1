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
private Q_SLOTS:
    void init();
    void cleanup();

    void validatorsStopImpossibleInput_data();
    void validatorsStopImpossibleInput();
    void buttons_data();
    void buttons();
    void successfulGenerationAccepts();

private:
    QLineEdit* edit(const QString& name) const { return _dialog->findChild<QLineEdit*>(name); }

    std::unique_ptr<KeyManager> _manager;
    std::unique_ptr<CreateKeyDialog> _dialog;
};

void CreateKeyDialogTest::init()
{
    _manager = std::make_unique<KeyManager>();
    QVERIFY(_manager->init(QString()));
    _dialog = std::make_unique<CreateKeyDialog>(_manager.get(), nullptr);
    _dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(_dialog.get()));
}

void CreateKeyDialogTest::cleanup()
{
    _dialog.reset();
    _manager.reset();
}

void CreateKeyDialogTest::validatorsStopImpossibleInput_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("name starting with a digit") << "_nameLineEdit"
                                                << "1Anna"
                                                << "Anna";
    QTest::newRow("Cyrillic name with a digit")
        << "_nameLineEdit" << QStringLiteral("Иван Петров 2") << QStringLiteral("Иван Петров 2");
    QTest::newRow("hyphen and apostrophe") << "_nameLineEdit"
                                           << "Jean-Luc O'Neil"
                                           << "Jean-Luc O'Neil";
    QTest::newRow("second at sign") << "_emailLineEdit"
                                    << "ivan@host@x.org"
                                    << "ivan@hostx.org";
    QTest::newRow("dots, plus, sub-domains, hyphens") << "_emailLineEdit"
                                                      << "jean.luc+build@mail.build-1.example.org"
                                                      << "jean.luc+build@mail.build-1.example.org";
    QTest::newRow("space in address") << "_emailLineEdit"
                                      << "jean luc@x.org"
                                      << "jeanluc@x.org";
}

void CreateKeyDialogTest::validatorsStopImpossibleInput()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QLineEdit* lineEdit = edit(field);
    QVERIFY(lineEdit);
    type(lineEdit, typed);
    QTEST(lineEdit->text(), "kept");
}

void CreateKeyDialogTest::buttons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("box"); // empty: none shows
    QTest::addColumn<bool>("generates");
    const QString refused = QStringLiteral("Key generation error:");
    QTest::newRow("four-character name")
        << "Abcd"
        << "a@b.org" << false << "Name shouldn't be shorter than 5 characters." << false;
    QTest::newRow("address without top-level domain")
        << "Jean-Luc O'Neil"
        << "ivan@host" << false << "The e-mail address ivan@host is not complete." << false;
    QTest::newRow("five-character name, no address")
        << "Abcde" << QString() << false << refused << true;
    QTest::newRow("whole address") << "Jean-Luc O'Neil"
                                   << "jean.luc+build@mail.example.org" << false << refused << true;
    QTest::newRow("cancel") << "Abcdef" << QString() << true << QString() << false;
}

// The dialog stays open with what was typed unless cancelled; while GnuPG works, and while its
// refusal shows, the dialog takes no input.
void CreateKeyDialogTest::buttons()
{
    QFETCH(QString, name);
    QFETCH(QString, email);
    QFETCH(bool, cancel);
    QFETCH(QString, box);
    QFETCH(bool, generates);
    edit(QStringLiteral("_nameLineEdit"))->setText(name);
    edit(QStringLiteral("_emailLineEdit"))->setText(email);
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
    QCOMPARE(started.count(), generates ? 1 : 0);
    if (generates) {
        QVERIFY(driver.boxes().at(0).informativeText.startsWith(
            QStringLiteral("The GnuPG installed on this computer cannot make GOST")));
        QVERIFY(!enabledUnderBox);
    }
    QVERIFY(_dialog->isEnabled());
    QCOMPARE(_dialog->isVisible(), !cancel);
    QCOMPARE(_dialog->result(), int(QDialog::Rejected));
    QCOMPARE(edit(QStringLiteral("_nameLineEdit"))->text(), name);
}

void CreateKeyDialogTest::successfulGenerationAccepts()
{
    // GnuPG cannot make the key, so the test announces one as the key manager would.
    const QString fingerprint = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
    ModalDriver driver(QMessageBox::Ok);
    Q_EMIT _manager->keyGenerationEnded(fingerprint);
    QCOMPARE(driver.boxes().size(), 1);
    QCOMPARE(driver.boxes().at(0).text, QStringLiteral("Key generated successfully."));
    QCOMPARE(driver.boxes().at(0).informativeText, QStringLiteral("Fingerprint: ") + fingerprint);
    QCOMPARE(_dialog->result(), int(QDialog::Accepted));
    QVERIFY(!_dialog->isVisible());
}

DIGSIG_SANDBOX_TEST_MAIN(CreateKeyDialogTest)
#include "createkeydialogtest.moc"
