#include "createkeydialog.h"
#include "gnupghome.h"
#include "keymanager.h"

#include "testsupport.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {
struct BoxRecord
{
    bool shown = false;
    QString text;
    QString informativeText;
    bool openerEnabled = true;
};

// Types text key by key, as a keyboard with any layout would; QTest::keyClicks knows ASCII only.
void type(QWidget* widget, const QString& text)
{
    for (const QChar character : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(character));
        QApplication::sendEvent(widget, &release);
    }
}

// Records the next message box and closes it with OK.
void answerBox(BoxRecord* record, QWidget* opener)
{
    TestSupport::onNextModal([record, opener](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        record->shown = true;
        record->text = box->text();
        record->informativeText = box->informativeText();
        record->openerEnabled = opener->isEnabled();
        box->button(QMessageBox::Ok)->click();
    });
}
} // namespace

// The key creation dialog over a real key manager in a temporary GnuPG home, where GnuPG
// refuses the GOST key type.
class CreateKeyDialogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void validatorsStopImpossibleInput_data();
    void validatorsStopImpossibleInput();
    void incompleteAddressIsNotGenerated_data();
    void incompleteAddressIsNotGenerated();
    void nameLength_data();
    void nameLength();
    void failedGenerationReenablesDialog();
    void successfulGenerationAccepts();
    void cancelGeneratesNothing();

private:
    QLineEdit* edit(const char* name) const
    {
        return _dialog->findChild<QLineEdit*>(QLatin1String(name));
    }
    void fill(const QString& name, const QString& email, const QString& comment);

    std::unique_ptr<GnupgHome> _home;
    std::unique_ptr<KeyManager> _manager;
    std::unique_ptr<CreateKeyDialog> _dialog;
};

void CreateKeyDialogTest::initTestCase()
{
    _home = std::make_unique<GnupgHome>();
    _home->makeDefault();
}

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

void CreateKeyDialogTest::fill(const QString& name, const QString& email, const QString& comment)
{
    edit("_nameLineEdit")->setText(name);
    edit("_emailLineEdit")->setText(email);
    edit("_commentLineEdit")->setText(comment);
}

void CreateKeyDialogTest::validatorsStopImpossibleInput_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("name of spaces") << "_nameLineEdit" << QStringLiteral("     ") << QString();
    QTest::newRow("name starting with a digit")
        << "_nameLineEdit" << QStringLiteral("1Anna") << QStringLiteral("Anna");
    QTest::newRow("short name") << "_nameLineEdit" << QStringLiteral("Ab") << QStringLiteral("Ab");
    QTest::newRow("cyrillic name")
        << "_nameLineEdit" << QStringLiteral("Иван Петров 2") << QStringLiteral("Иван Петров 2");
    QTest::newRow("hyphen and apostrophe") << "_nameLineEdit" << QStringLiteral("Jean-Luc O'Neil")
                                           << QStringLiteral("Jean-Luc O'Neil");
    QTest::newRow("second at sign") << "_emailLineEdit" << QStringLiteral("ivan@host@x.org")
                                    << QStringLiteral("ivan@hostx.org");
    QTest::newRow("dots, plus, sub-domains, hyphens")
        << "_emailLineEdit" << QStringLiteral("jean.luc+build@mail.build-1.example.org")
        << QStringLiteral("jean.luc+build@mail.build-1.example.org");
    QTest::newRow("space in address")
        << "_emailLineEdit" << QStringLiteral("jean luc@x.org") << QStringLiteral("jeanluc@x.org");
    QTest::newRow("comment takes anything")
        << "_commentLineEdit" << QStringLiteral("@@ ..!") << QStringLiteral("@@ ..!");
}

void CreateKeyDialogTest::validatorsStopImpossibleInput()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QLineEdit* lineEdit = edit(field.toLatin1().constData());
    QVERIFY(lineEdit);
    QCOMPARE(lineEdit->maxLength(), 500);
    type(lineEdit, typed);
    QCOMPARE(lineEdit->text(), kept);
}

void CreateKeyDialogTest::incompleteAddressIsNotGenerated_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("generates");
    QTest::newRow("no domain") << QStringLiteral("ivan@") << false;
    QTest::newRow("no top-level domain") << QStringLiteral("ivan@host") << false;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("whole") << QStringLiteral("jean.luc+build@mail.build-1.example.org") << true;
}

void CreateKeyDialogTest::incompleteAddressIsNotGenerated()
{
    QFETCH(QString, email);
    QFETCH(bool, generates);
    fill(QStringLiteral("Jean-Luc O'Neil"), email, QString());
    QSignalSpy started(_manager.get(), &KeyManager::keyGenerationStarted);
    BoxRecord box;
    answerBox(&box, _dialog.get());
    _dialog->accept();
    QVERIFY(box.shown);
    QCOMPARE(started.count(), generates ? 1 : 0);
    if (!generates)
        QCOMPARE(box.text, QStringLiteral("The e-mail address %1 is not complete.").arg(email));
    QVERIFY(_dialog->isVisible());
}

void CreateKeyDialogTest::nameLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("generates");
    QTest::newRow("four characters") << QStringLiteral("Abcd") << false;
    QTest::newRow("five characters") << QStringLiteral("Abcde") << true;
}

void CreateKeyDialogTest::nameLength()
{
    QFETCH(QString, name);
    QFETCH(bool, generates);
    fill(name, QStringLiteral("a@b.org"), QString());
    QSignalSpy started(_manager.get(), &KeyManager::keyGenerationStarted);
    BoxRecord box;
    answerBox(&box, _dialog.get());
    _dialog->findChild<QDialogButtonBox*>(QStringLiteral("_dialogButtonBox"))
        ->button(QDialogButtonBox::Ok)
        ->click();
    QVERIFY(box.shown);
    QCOMPARE(started.count(), generates ? 1 : 0);
    QCOMPARE(box.text,
             generates ? QStringLiteral("Key generation error:")
                       : QStringLiteral("Name shouldn't be shorter than 5 characters."));
    QVERIFY(_dialog->isVisible());
    QCOMPARE(edit("_nameLineEdit")->text(), name);
}

void CreateKeyDialogTest::failedGenerationReenablesDialog()
{
    fill(QStringLiteral("Gost User"), QString(), QStringLiteral("no e-mail"));
    QList<bool> enabledWhenStarted;
    // Connected after the dialog, so this runs once the dialog has reacted.
    connect(_manager.get(), &KeyManager::keyGenerationStarted, this,
            [&] { enabledWhenStarted.append(_dialog->isEnabled()); });
    QSignalSpy failed(_manager.get(), &KeyManager::keyGenerationError);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        BoxRecord box;
        answerBox(&box, _dialog.get());
        _dialog->accept();
        QVERIFY(box.shown);
        QCOMPARE(box.text, QStringLiteral("Key generation error:"));
        QVERIFY2(box.informativeText.startsWith(
                     QStringLiteral("The GnuPG installed on this computer cannot make GOST "
                                    "R 34.10-2012 keys.\nInstall GnuPG with GOST support")),
                 qPrintable(box.informativeText));
        QVERIFY(!box.openerEnabled);
        QVERIFY(_dialog->isEnabled());
        QVERIFY(_dialog->isVisible());
        QCOMPARE(enabledWhenStarted.size(), attempt);
        QVERIFY(!enabledWhenStarted.contains(true));
    }
    QCOMPARE(failed.count(), 2);
    QCOMPARE(_dialog->result(), int(QDialog::Rejected));
}

void CreateKeyDialogTest::successfulGenerationAccepts()
{
    // GnuPG cannot make the key, so the test announces one as the key manager would.
    const QString fingerprint = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
    QSignalSpy started(_manager.get(), &KeyManager::keyGenerationStarted);
    BoxRecord box;
    answerBox(&box, _dialog.get());
    Q_EMIT _manager->keyGenerationEnded(fingerprint);
    QVERIFY(box.shown);
    QCOMPARE(box.text, QStringLiteral("Key generated successfully."));
    QCOMPARE(box.informativeText, QStringLiteral("Fingerprint: ") + fingerprint);
    QCOMPARE(_dialog->result(), int(QDialog::Accepted));
    QVERIFY(!_dialog->isVisible());
    QCOMPARE(started.count(), 0);
}

void CreateKeyDialogTest::cancelGeneratesNothing()
{
    fill(QStringLiteral("Abcdef"), QString(), QString());
    QSignalSpy started(_manager.get(), &KeyManager::keyGenerationStarted);
    _dialog->findChild<QDialogButtonBox*>(QStringLiteral("_dialogButtonBox"))
        ->button(QDialogButtonBox::Cancel)
        ->click();
    QCOMPARE(_dialog->result(), int(QDialog::Rejected));
    QVERIFY(!_dialog->isVisible());
    QCOMPARE(started.count(), 0);
}

QTEST_MAIN(CreateKeyDialogTest)
#include "createkeydialogtest.moc"
