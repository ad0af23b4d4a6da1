#include "selectkeydialog.h"
#include "keymanager.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QProcess>
#include <QPushButton>
#include <QTextBrowser>

namespace {

// Makes a signing key in the given GnuPG home and returns its fingerprint.
QString makeKey(const QString& home, const QString& userId)
{
    QProcess gpg;
    const QStringList homeArgs {QStringLiteral("--homedir"), home, QStringLiteral("--batch")};
    gpg.start(QStringLiteral("gpg"),
              homeArgs
                  + QStringList {QStringLiteral("--passphrase"), QString(),
                                 QStringLiteral("--quick-gen-key"), userId,
                                 QStringLiteral("ed25519"), QStringLiteral("sign"),
                                 QStringLiteral("never")});
    if (!gpg.waitForFinished(60000) || gpg.exitCode() != 0)
        return {};
    gpg.start(
        QStringLiteral("gpg"),
        homeArgs
            + QStringList {QStringLiteral("--with-colons"), QStringLiteral("--list-keys"), userId});
    gpg.waitForFinished(60000);
    for (const QString& line :
         QString::fromUtf8(gpg.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("fpr:")))
            return line.section(QLatin1Char(':'), 9, 9);
    }
    return {};
}

QPushButton* okButton(const SelectKeyDialog& dialog)
{
    return dialog.findChild<QDialogButtonBox*>(QStringLiteral("_dialogButtonBox"))
        ->button(QDialogButtonBox::Ok);
}

} // namespace

class SelectKeyDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void listsEveryKeyWithTheLastOneCurrent();
    void withoutKeysOkStaysDisabledUntilAKeyIsCreated();
    void warningIsHiddenOnlyForExtendedAttributes();
    void keyUtilityButtonRejectsTheDialog();

private:
    QTemporaryDir _homes;
    QString _home;
    QStringList _fingerprints;
};

void SelectKeyDialogTest::initTestCase()
{
    _home = _homes.filePath(QStringLiteral("three"));
    QVERIFY(QDir().mkpath(_home));
    QFile::setPermissions(_home,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (const char* user : {"Admin", "Second <second@example.org>", "Third <third@example.org>"}) {
        _fingerprints.append(makeKey(_home, QLatin1String(user)));
        QVERIFY(!_fingerprints.last().isEmpty());
    }
}

void SelectKeyDialogTest::cleanupTestCase()
{
    for (const QString& home : {_home, _homes.filePath(QStringLiteral("empty"))})
        QProcess::execute(
            QStringLiteral("gpgconf"),
            {QStringLiteral("--homedir"), home, QStringLiteral("--kill"), QStringLiteral("all")});
}

void SelectKeyDialogTest::listsEveryKeyWithTheLastOneCurrent()
{
    KeyManager keyManager;
    QVERIFY(keyManager.init(_home));
    SelectKeyDialog dialog(&keyManager, Bsign::ElfAndXattr, nullptr);
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("_keysComboBox"));
    QCOMPARE(combo->count(), 3);
    QStringList fingerprints;
    for (int i = 0; i < combo->count(); ++i)
        fingerprints.append(combo->itemData(i, Qt::UserRole).toString());
    QCOMPARE(QSet<QString>(fingerprints.cbegin(), fingerprints.cend()),
             QSet<QString>(_fingerprints.cbegin(), _fingerprints.cend()));
    const int admin = fingerprints.indexOf(_fingerprints.first());
    QCOMPARE(combo->itemText(admin),
             QStringLiteral("Admin [%1]").arg(_fingerprints.first().right(10)));
    QCOMPARE(combo->currentIndex(), 2);
    QCOMPARE(dialog.selectedKeyId(), fingerprints.last());
    QVERIFY(okButton(dialog)->isEnabled());
    QVERIFY(!dialog.isSaveLogChecked());
    dialog.findChild<QCheckBox*>(QStringLiteral("_saveLogCheckBox"))->setChecked(true);
    QVERIFY(dialog.isSaveLogChecked());
}

void SelectKeyDialogTest::withoutKeysOkStaysDisabledUntilAKeyIsCreated()
{
    const QString home = _homes.filePath(QStringLiteral("empty"));
    QVERIFY(QDir().mkpath(home));
    QFile::setPermissions(home,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    KeyManager keyManager;
    QVERIFY(keyManager.init(home));
    SelectKeyDialog dialog(&keyManager, Bsign::ElfOnly, nullptr);
    auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("_keysComboBox"));
    QCOMPARE(combo->count(), 0);
    QVERIFY(!okButton(dialog)->isEnabled());
    QVERIFY(dialog.selectedKeyId().isEmpty());

    // A key appears while the creation dialog is open; cancelling it still refills the list.
    QString created;
    QString modalClass;
    TestSupport::onNextModal([&](QWidget* modal) {
        modalClass = QString::fromLatin1(modal->metaObject()->className());
        created = makeKey(home, QStringLiteral("Fresh <fresh@example.org>"));
        static_cast<QDialog*>(modal)->reject();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("_createKeyPushButton"))->click();
    QCOMPARE(modalClass, QStringLiteral("CreateKeyDialog"));
    QVERIFY(!created.isEmpty());
    QCOMPARE(combo->count(), 1);
    QCOMPARE(dialog.selectedKeyId(), created);
    QVERIFY(okButton(dialog)->isEnabled());
}

void SelectKeyDialogTest::warningIsHiddenOnlyForExtendedAttributes()
{
    KeyManager keyManager;
    QVERIFY(keyManager.init(_home));
    SelectKeyDialog elf(&keyManager, Bsign::ElfOnly, nullptr);
    SelectKeyDialog both(&keyManager, Bsign::ElfAndXattr, nullptr);
    SelectKeyDialog xattr(&keyManager, Bsign::XattrOnly, nullptr);
    for (SelectKeyDialog* dialog : {&elf, &both, &xattr})
        dialog->show();
    auto* warning = elf.findChild<QTextBrowser*>(QStringLiteral("_warningTextBrowser"));
    QVERIFY(warning->isVisible());
    QVERIFY(
        warning->toPlainText().startsWith(QLatin1String("Warning!\nTo sign an executable files")));
    QVERIFY(both.findChild<QTextBrowser*>(QStringLiteral("_warningTextBrowser"))->isVisible());
    QVERIFY(!xattr.findChild<QTextBrowser*>(QStringLiteral("_warningTextBrowser"))->isVisible());
    QCOMPARE(xattr.width(), elf.width());
    QVERIFY2(xattr.height() < elf.height(), "the dialog shrinks to its remaining contents");
}

void SelectKeyDialogTest::keyUtilityButtonRejectsTheDialog()
{
    KeyManager keyManager;
    QVERIFY(keyManager.init(_home));
    SelectKeyDialog dialog(&keyManager, Bsign::ElfOnly, nullptr);
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.findChild<QPushButton*>(QStringLiteral("_openKeyManagerPushButton"))->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

DIGSIG_SANDBOX_TEST_MAIN(SelectKeyDialogTest)
#include "selectkeydialogtest.moc"
