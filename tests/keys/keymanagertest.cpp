#include "keymanager.h"
#include "createkeydialog.h"
#include "keyfilereader.h"
#include "keygenerationfailure.h"

#include "testsupport.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>

using Calls = QList<QList<QVariant>>;
using TestSupport::ModalDriver;

namespace {
const QString rsaUser = QStringLiteral("Test RSA <rsa@example.org>");
const QString edUser = QStringLiteral("Test EdDSA <ed@example.org>");
const QString unknownKey = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");
} // namespace

// The key manager, the key file reader and the key creation dialog over a real GnuPG whose
// default home lies in a sandbox root, where keys of known algorithms stand in for the GOST keys
// stock GnuPG refuses to make. Key files come from another home, so that the default one cannot
// know their keys by chance.
class KeyManagerTest : public QObject
{
    Q_OBJECT
    GnupgHome _home {qEnvironmentVariable("GNUPGHOME")}, _other;
    KeyManager _manager;
    const QString _files = TestSupport::sandboxPath(QStringLiteral("/keys/")); // a folder a row
    QString _rsa, _ed, _current, _old;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(_manager.init(QString()));
        _rsa = _home.makeKey(rsaUser, "rsa1024").value(0);
        // Made in the past, so that a subkey valid for one day has long expired; of the others,
        // the first cannot sign and the last is revoked.
        const QString past = QStringLiteral("20200101T000000");
        _ed = _home.makeKey(edUser, "ed25519", past).value(0);
        _home.addSubkey(_ed, "cv25519", "encr", "never", past);
        for (const char* expiry : {"1d", "never", "never"})
            _home.addSubkey(_ed, "ed25519", "sign", expiry, past);
        _home.revokeSubkey(_ed, 4);
        _current = _other.makeKey("Jean-Luc O'Neil <jl@example.org>", "ed25519").value(0);
        _other.gpg({"--faked-system-time", "20000101T000000", "--quick-gen-key",
                    "Old <old@example.org>", "ed25519", "sign", "1y"});
        _old = _other.fingerprints("old@example.org").value(0);
    }

    // Revoked, expired and encrypting subkeys are left out of the real listing. Outside a
    // sandbox only algorithms GPGME does not know count, as GOST is one of them.
    void listsUsableSigningSubkeysOnly()
    {
        QCOMPARE(KeyManager().signingKeys(), (QList<QPair<QString, QString>>()));
        QCOMPARE(_manager.signingKeys(),
                 (QList<QPair<QString, QString>> {
                     {rsaUser, _rsa}, {edUser, _ed}, {edUser, _home.fingerprints(_ed).value(3)}}));
        using State = KeyManager::SubkeyState;
        QVERIFY(KeyManager::isUsableSigningSubkey(State {}, false));
        // A known algorithm, an invalid subkey, a disabled one.
        for (const State& state : {State {false, false, false, false, true, 1},
                                   State {false, false, true}, State {false, false, false, true}})
            QVERIFY(!KeyManager::isUsableSigningSubkey(state, false));
    }

    // GnuPG refuses a parameter line without a value, so blank optional values are left out; a
    // map without every key is refused before GnuPG starts. A failure says why, then what GnuPG
    // said.
    void generation()
    {
        QCOMPARE(KeyManager::keyParameters(
                     {{"Name-Real", "Иван"}, {"Name-Comment", "build"}, {"Name-Email", "  "}}),
                 QByteArray("<GnupgKeyParms format=\"internal\">\n Key-Type: GOST_R34.10-2012 \n"
                            " Name-Real: Иван \n Name-Comment: build \n Expire-Date: 0 \n"
                            "</GnupgKeyParms>"));
        QSignalSpy failed(&_manager, &KeyManager::keyGenerationError);
        _manager.genKey({{"Name-Real", "Gost User"}, {"Name-Email", ""}});
        QCOMPARE(Calls(failed), Calls {{"Parameters map does not contains required keys"}});

        // GnuPG's refusal of GOST keys shows in createKeyDialog.
        for (const auto& [code, diagnostics, why] :
             std::initializer_list<std::tuple<gpgme_err_code_t, QString, QString>> {
                 {GPG_ERR_CANCELED, {}, "The pass phrase was not entered."},
                 {GPG_ERR_NO_PIN_ENTRY, {}, "GnuPG could not ask for a pass phrase."},
                 {GPG_ERR_GENERAL, "can't connect to the gpg-agent", "GnuPG could not ask"},
                 {GPG_ERR_GENERAL, "missing argument", "GnuPG refused to generate the key."}}) {
            const gpgme_error_t error = gpgme_err_make(GPG_ERR_SOURCE_GPGME, code);
            const QString text = KeyGenerationFailure::describe(error, diagnostics);
            QVERIFY2(text.startsWith(why), qPrintable(text));
            const QString said = diagnostics.isEmpty() ? diagnostics : diagnostics + '\n';
            QVERIFY(text.endsWith("GnuPG said:\n" + said + "GPGME " + gpgme_strerror(error)));
        }
    }

    void exportKey_data()
    {
        QTest::addColumn<QString>("keyId");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("after"); // what the file named holds then
        QByteArray key;
        _home.gpg({"--export", _rsa}, &key);
        const QString unknown = QStringLiteral("No public key matches ");
        QTest::newRow("new file, umask 000") << _rsa << "new.gpg" << QString() << key;
        QTest::newRow("unknown key")
            << unknownKey << "key.gpg" << unknown + unknownKey << QByteArray("old key\n");
        // An empty pattern would export the whole key ring.
        QTest::newRow("empty key id")
            << QString() << "key.gpg" << unknown << QByteArray("old key\n");
        QTest::newRow("missing directory") << _rsa << "none/key.gpg"
                                           << "Can not create a new file beside" << QByteArray();
    }

    // The key file is replaced by a complete public export only, with mode 0644.
    void exportKey()
    {
        QFETCH(QString, keyId);
        QFETCH(QString, name);
        QFETCH(QString, error);
        const QString folder = _files + QTest::currentDataTag();
        const QString path = folder + '/' + name;
        QVERIFY(TestSupport::writeFile(folder + "/key.gpg", "old key\n"));
        QSignalSpy exported(&_manager, &KeyManager::keyExported);
        QSignalSpy failed(&_manager, &KeyManager::keyExportError);
        const mode_t umask = ::umask(0);
        _manager.exportKey(keyId, path);
        ::umask(umask);
        QCOMPARE(Calls(exported), (error.isEmpty() ? Calls {{keyId, path}} : Calls()));
        QCOMPARE(failed.value(0).value(2).toString().left(error.size()), error);
        QTEST(TestSupport::readFile(path), "after");
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), error.isEmpty() + 1);
        QVERIFY(!error.isEmpty() || QFileInfo(path).permissions() == QFile::Permissions(0x6644));
    }

    void keyFiles_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("readError");
        QTest::addColumn<QString>("importError");
        QByteArray both;
        _other.gpg({"--armor", "--export", _current, _old}, &both);
        const QString noKey = QStringLiteral("The file holds no key");
        QTest::newRow("not a key")
            << QByteArray("key") << QStringList() << "The file holds no OpenPGP key" << noKey;
        QTest::newRow("too large")
            << QByteArray(KeyFileReader::maxFileSize + 1, '\x99') << QStringList()
            << "The file is too large for a key file" << noKey;
        QTest::newRow("missing") << QByteArray() << QStringList()
                                 << "The file cannot be read: No such file or directory"
                                 << "Can't open file";
        QTest::newRow("two keys, armored")
            << both
            << QStringList {"Jean-Luc O'Neil <jl@example.org>|" + _current + "|ed25519|",
                            "Old <old@example.org>|" + _old + "|ed25519|expired 2000-12-31"}
            << QString() << QString();
    }

    // A key file is read without importing its keys; an import imports them all.
    void keyFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, importError);
        const QString path = _files + QTest::currentDataTag() + "/key.gpg";
        QVERIFY(content.isNull() || TestSupport::writeFile(path, content));
        const QStringList known = _home.fingerprints(QString(), false);
        const KeyFileReader::Result result = KeyFileReader::read(path);
        QStringList described;
        for (const KeyFileReader::Key& key : result.keys)
            described << key.userId + '|' + key.fingerprint + '|' + key.algorithm + '|'
                    + (key.expired ? "expired " : "") + key.expires.toUTC().toString("yyyy-MM-dd");
        QTEST(described, "keys");
        QTEST(result.error, "readError");
        QCOMPARE(_home.fingerprints(QString(), false), known);

        QSignalSpy imported(&_manager, &KeyManager::keyImported);
        QSignalSpy failed(&_manager, &KeyManager::keyImportError);
        _manager.importKey(path);
        QCOMPARE(Calls(imported), (importError.isEmpty() ? Calls {{path}} : Calls()));
        QCOMPARE(Calls(failed), (importError.isEmpty() ? Calls() : Calls {{path, importError}}));
        for (const QString& key : {_current, _old})
            QCOMPARE(_home.fingerprints(key, false).size(), int(described.join(' ').contains(key)));
    }

    void createKeyDialog_data()
    {
        // The name and address as typed, the validators refusing what is in brackets; the text
        // of the box that shows, if any, and after a '|' the start of its detail.
        for (const char* column : {"name", "email", "box"})
            QTest::addColumn<QString>(column);
        const auto row
            = [](const char* tag, const QString& name, const QString& email, const QString& box) {
                  QTest::newRow(tag) << name << email << box;
              };
        const QString gost = "Key generation error:|The GnuPG installed on this computer cannot";
        row("four-character name", "[1]Abcd", "a@b.org", "Name shouldn't be shorter than 5");
        row("address without top-level domain", "Jean-Luc O'Neil", "ivan@host[@]",
            "The e-mail address ivan@host is not complete.");
        row("Cyrillic name with a digit, no address", "Иван Петров 2", "", gost);
        row("whole address", "Jean-Luc", "jean[ ].luc+build@mail.build-1.example.org", gost);
        row("cancel", "Abcdef", "", "");
        row("generated", "", "", "Key generated successfully.|Fingerprint: " + unknownKey);
    }

    // The dialog stays open with what was typed unless cancelled or the key is made; while GnuPG
    // works, and while its refusal shows, the dialog takes no input.
    void createKeyDialog()
    {
        QFETCH(QString, name);
        QFETCH(QString, email);
        QFETCH(QString, box);
        CreateKeyDialog dialog(&_manager, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        static const QRegularExpression refused(QStringLiteral("\\[[^]]*\\]"));
        for (const QString& field : {QStringLiteral("_name"), QStringLiteral("_email")}) {
            auto* edit = dialog.findChild<QLineEdit*>(field + "LineEdit");
            const QString& typed = field == QLatin1String("_name") ? name : email;
            // Key by key, as a keyboard with any layout would; QTest::keyClicks knows ASCII only.
            const QString keys = QString(typed).remove(QRegularExpression("[][]"));
            for (const QChar character : keys)
                QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, character, Qt::NoModifier);
            QCOMPARE(edit->text(), QString(typed).remove(refused));
        }
        QSignalSpy started(&_manager, &KeyManager::keyGenerationStarted);
        bool enabledUnderBox = true;
        ModalDriver driver([&](QWidget* modal) {
            enabledUnderBox = dialog.isEnabled();
            return ModalDriver::answer(QMessageBox::Ok)(modal);
        });
        // GnuPG cannot make the key, so the test announces one as the key manager would.
        if (name.isEmpty())
            Q_EMIT _manager.keyGenerationEnded(unknownKey);
        else
            dialog.findChild<QDialogButtonBox*>(QStringLiteral("_dialogButtonBox"))
                ->button(box.isEmpty() ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)
                ->click();
        QCOMPARE(driver.boxes().size(), int(!box.isEmpty()));
        const ModalDriver::Box shown = driver.boxes().value(0);
        QVERIFY2((shown.text + '|' + shown.informativeText).startsWith(box),
                 qPrintable(shown.text));
        const bool generates = box.startsWith(QLatin1String("Key generation error"));
        QCOMPARE(started.count(), int(generates));
        QVERIFY(!generates || !enabledUnderBox);
        QVERIFY(dialog.isEnabled());
        QCOMPARE(dialog.isVisible(), !box.isEmpty() && !name.isEmpty());
        QCOMPARE(dialog.result(), int(name.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(KeyManagerTest)
#include "keymanagertest.moc"
