#include "keymanager.h"
#include "gnupghome.h"
#include "keygenerationfailure.h"

#include "testsupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using SubkeyState = KeyManager::SubkeyState;
Q_DECLARE_METATYPE(SubkeyState)

namespace {
const QString rsaUser = QStringLiteral("Test RSA <rsa@example.org>");
const QString edUser = QStringLiteral("Test EdDSA <ed@example.org>");
const QString unknownFingerprint = QStringLiteral("0123456789ABCDEF0123456789ABCDEF01234567");

SubkeyState subkey(int algorithm)
{
    SubkeyState state;
    state.algorithm = algorithm;
    return state;
}
} // namespace

// Key manager against a real GnuPG, outside any sandbox root.
class KeyManagerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void knownAlgorithmsAreNeverListed();
    void subkeyFilter_data();
    void subkeyFilter();

    void keyParameters_data();
    void keyParameters();
    void generationFailureSaysWhyAndWhatToDo_data();
    void generationFailureSaysWhyAndWhatToDo();
    void genKeyWithoutRequiredKeys_data();
    void genKeyWithoutRequiredKeys();
    void genKeyGostRefusedByGnupg();

    void exportWritesRawPackets();
    void exportReplacesExistingFile();
    void exportFailureKeepsFiles_data();
    void exportFailureKeepsFiles();

    void importRealKey();
    void importEmptyFile();
    void importMissingFile();

private:
    std::unique_ptr<GnupgHome> _home;
    std::unique_ptr<QTemporaryDir> _files;
    QString _rsaFingerprint;
    QString _edFingerprint;
};

void KeyManagerTest::initTestCase()
{
    _home = std::make_unique<GnupgHome>();
    _home->makeDefault();
    _rsaFingerprint = _home->makeKey(rsaUser, QStringLiteral("rsa1024")).value(0);
    _edFingerprint = _home->makeKey(edUser, QStringLiteral("ed25519")).value(0);
    QCOMPARE(_rsaFingerprint.size(), 40);
    QCOMPARE(_edFingerprint.size(), 40);
}

void KeyManagerTest::cleanupTestCase()
{
    _home.reset();
}

void KeyManagerTest::init()
{
    _files = std::make_unique<QTemporaryDir>();
}

void KeyManagerTest::knownAlgorithmsAreNeverListed()
{
    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QCOMPARE(_home->fingerprints(QString()).size(), 2);
    QCOMPARE(manager.signingKeys(), (QList<QPair<QString, QString>>()));
}

void KeyManagerTest::subkeyFilter_data()
{
    QTest::addColumn<SubkeyState>("state");
    QTest::addColumn<bool>("acceptKnownAlgorithms");
    QTest::addColumn<bool>("usable");

    SubkeyState revoked = subkey(0);
    revoked.revoked = true;
    SubkeyState expired = subkey(0);
    expired.expired = true;
    SubkeyState invalid = subkey(0);
    invalid.invalid = true;
    SubkeyState disabled = subkey(0);
    disabled.disabled = true;
    SubkeyState encryptOnly = subkey(0);
    encryptOnly.canSign = false;
    SubkeyState revokedRsa = subkey(1);
    revokedRsa.revoked = true;
    SubkeyState encryptOnlyEcdh = subkey(302);
    encryptOnlyEcdh.canSign = false;

    QTest::newRow("unknown algorithm") << subkey(0) << false << true;
    QTest::newRow("revoked") << revoked << false << false;
    QTest::newRow("expired") << expired << false << false;
    QTest::newRow("invalid") << invalid << false << false;
    QTest::newRow("disabled") << disabled << false << false;
    QTest::newRow("cannot sign") << encryptOnly << false << false;
    QTest::newRow("rsa") << subkey(1) << false << false;
    QTest::newRow("dsa") << subkey(17) << false << false;
    QTest::newRow("eddsa") << subkey(303) << false << false;
    QTest::newRow("sandbox unknown algorithm") << subkey(0) << true << true;
    QTest::newRow("sandbox rsa") << subkey(1) << true << true;
    QTest::newRow("sandbox eddsa") << subkey(303) << true << true;
    QTest::newRow("sandbox revoked rsa") << revokedRsa << true << false;
    QTest::newRow("sandbox ecdh cannot sign") << encryptOnlyEcdh << true << false;
}

void KeyManagerTest::subkeyFilter()
{
    QFETCH(SubkeyState, state);
    QFETCH(bool, acceptKnownAlgorithms);
    QFETCH(bool, usable);
    QCOMPARE(KeyManager::isUsableSigningSubkey(state, acceptKnownAlgorithms), usable);
}

// GnuPG refuses a parameter line without a value, so empty optional values are left out.
void KeyManagerTest::keyParameters_data()
{
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QByteArray>("optional");
    QTest::newRow("both") << QStringLiteral("build") << QStringLiteral("ivan@example.org")
                          << QByteArray(" Name-Comment: build \n Name-Email: ivan@example.org \n");
    QTest::newRow("no comment") << QString() << QStringLiteral("ivan@example.org")
                                << QByteArray(" Name-Email: ivan@example.org \n");
    QTest::newRow("blank comment, no e-mail") << QStringLiteral("  ") << QString() << QByteArray();
}

void KeyManagerTest::keyParameters()
{
    QFETCH(QString, comment);
    QFETCH(QString, email);
    QFETCH(QByteArray, optional);
    const QMap<QString, QString> params {
        {QStringLiteral("Name-Real"), QStringLiteral("Иван Петров")},
        {QStringLiteral("Name-Comment"), comment},
        {QStringLiteral("Name-Email"), email}};
    const QByteArray expected = "<GnupgKeyParms format=\"internal\">\n"
                                " Key-Type: GOST_R34.10-2012 \n"
                                " Name-Real: \xd0\x98\xd0\xb2\xd0\xb0\xd0\xbd "
                                "\xd0\x9f\xd0\xb5\xd1\x82\xd1\x80\xd0\xbe\xd0\xb2 \n"
        + optional
        + " Expire-Date: 0 \n"
          "</GnupgKeyParms>";
    QCOMPARE(KeyManager::keyParameters(params), expected);
}

void KeyManagerTest::generationFailureSaysWhyAndWhatToDo_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("diagnostics");
    QTest::addColumn<QString>("why");
    QTest::newRow("cancelled") << int(GPG_ERR_CANCELED) << QString()
                               << QStringLiteral("The pass phrase was not entered.");
    QTest::newRow("GOST unknown to GnuPG")
        << int(GPG_ERR_GENERAL) << QStringLiteral("invalid algorithm")
        << QStringLiteral(
               "The GnuPG installed on this computer cannot make GOST R 34.10-2012 keys.");
    QTest::newRow("no pinentry") << int(GPG_ERR_NO_PIN_ENTRY) << QString()
                                 << QStringLiteral("GnuPG could not ask for a pass phrase.");
    QTest::newRow("agent down") << int(GPG_ERR_GENERAL)
                                << QStringLiteral("can't connect to the gpg-agent")
                                << QStringLiteral("GnuPG could not ask for a pass phrase.");
    QTest::newRow("anything else") << int(GPG_ERR_GENERAL) << QStringLiteral("missing argument")
                                   << QStringLiteral("GnuPG refused to generate the key.");
}

void KeyManagerTest::generationFailureSaysWhyAndWhatToDo()
{
    QFETCH(int, code);
    QFETCH(QString, diagnostics);
    QFETCH(QString, why);
    const gpgme_error_t error = gpgme_err_make(GPG_ERR_SOURCE_GPGME, gpgme_err_code_t(code));
    const QStringList lines = KeyGenerationFailure::describe(error, diagnostics).split('\n');
    QCOMPARE(lines.value(0), why);
    QVERIFY(lines.size() >= 5);
    QVERIFY(!lines.value(1).isEmpty());
    QCOMPARE(lines.value(3), QStringLiteral("GnuPG said:"));
    QCOMPARE(lines.mid(4).join('\n'),
             (diagnostics.isEmpty() ? QString() : diagnostics + '\n') + QStringLiteral("GPGME ")
                 + QString::fromUtf8(gpgme_strerror(error)));
}

void KeyManagerTest::genKeyWithoutRequiredKeys_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("empty") << QStringList();
    QTest::newRow("name only") << QStringList {QStringLiteral("Name-Real")};
    QTest::newRow("no comment") << QStringList {QStringLiteral("Name-Real"),
                                                QStringLiteral("Name-Email")};
    QTest::newRow("other keys") << QStringList {
        QStringLiteral("Name-Real"), QStringLiteral("Name-Email"), QStringLiteral("Comment")};
}

void KeyManagerTest::genKeyWithoutRequiredKeys()
{
    QFETCH(QStringList, keys);
    QMap<QString, QString> params;
    for (const QString& key : keys)
        params.insert(key, QStringLiteral("Value"));
    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy started(&manager, &KeyManager::keyGenerationStarted);
    QSignalSpy ended(&manager, &KeyManager::keyGenerationEnded);
    QSignalSpy failed(&manager, &KeyManager::keyGenerationError);
    manager.genKey(params);
    QCOMPARE(started.count(), 0);
    QCOMPARE(ended.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(),
             QStringLiteral("Parameters map does not contains required keys"));
}

void KeyManagerTest::genKeyGostRefusedByGnupg()
{
    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy started(&manager, &KeyManager::keyGenerationStarted);
    QSignalSpy ended(&manager, &KeyManager::keyGenerationEnded);
    QSignalSpy failed(&manager, &KeyManager::keyGenerationError);
    manager.genKey({{QStringLiteral("Name-Real"), QStringLiteral("Gost User")},
                    {QStringLiteral("Name-Comment"), QString()},
                    {QStringLiteral("Name-Email"), QString()}});
    QCOMPARE(started.count(), 1);
    QCOMPARE(ended.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(
        failed.at(0).at(0).toString(),
        QStringLiteral("The GnuPG installed on this computer cannot make GOST R 34.10-2012 "
                       "keys.\nInstall GnuPG with GOST support from the system's repositories, "
                       "then create the key again.\n\nGnuPG said:\ninvalid algorithm\n"
                       "GPGME General error"));
    QCOMPARE(_home->fingerprints(QStringLiteral("Gost User")), QStringList());
}

void KeyManagerTest::exportWritesRawPackets()
{
    const QString path = _files->filePath(QStringLiteral("rsa.gpg"));
    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy exported(&manager, &KeyManager::keyExported);
    QSignalSpy failed(&manager, &KeyManager::keyExportError);
    manager.exportKey(_rsaFingerprint, path);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(exported.count(), 1);
    QCOMPARE(exported.at(0), (QList<QVariant> {_rsaFingerprint, path}));

    const QByteArray bytes = TestSupport::readFile(path);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(!bytes.startsWith("-----BEGIN"));
    // An OpenPGP packet header always has the top bit set; the first packet is a public key.
    const auto tag = static_cast<unsigned char>(bytes.at(0));
    QVERIFY(tag == 0x98 || tag == 0x99 || tag == 0xc6);

    GnupgHome other;
    QCOMPARE(other.gpg({QStringLiteral("--import"), path}), 0);
    QCOMPARE(other.fingerprints(QString(), false), QStringList {_rsaFingerprint});
}

void KeyManagerTest::exportReplacesExistingFile()
{
    const QString path = _files->filePath(QStringLiteral("key.gpg"));
    QVERIFY(TestSupport::writeFile(path, QByteArray(5000, 'x')));
    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy exported(&manager, &KeyManager::keyExported);
    manager.exportKey(_edFingerprint, path);
    QCOMPARE(exported.count(), 1);

    QByteArray expected;
    QCOMPARE(_home->gpg({QStringLiteral("--export"), _edFingerprint}, &expected), 0);
    QCOMPARE(TestSupport::readFile(path), expected);
}

void KeyManagerTest::exportFailureKeepsFiles_data()
{
    QTest::addColumn<QString>("keyId");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QString>("error");

    const QString unknownMessage = QStringLiteral("No public key matches %1");
    QTest::newRow("unknown key, existing file") << unknownFingerprint << QStringLiteral("key.gpg")
                                                << true << unknownMessage.arg(unknownFingerprint);
    QTest::newRow("unknown key, no file") << unknownFingerprint << QStringLiteral("key.gpg")
                                          << false << unknownMessage.arg(unknownFingerprint);
    QTest::newRow("empty key id") << QString() << QStringLiteral("key.gpg") << true
                                  << unknownMessage.arg(QString());
    QTest::newRow("missing directory")
        << QStringLiteral("RSA") << QStringLiteral("none/key.gpg") << false
        << QStringLiteral("Can not create a new file beside %1: No such file or directory");
}

void KeyManagerTest::exportFailureKeepsFiles()
{
    QFETCH(QString, keyId);
    QFETCH(QString, name);
    QFETCH(bool, existing);
    QFETCH(QString, error);
    if (keyId == QLatin1String("RSA"))
        keyId = _rsaFingerprint;
    const QString path = _files->filePath(name);
    if (error.contains(QLatin1String("%1")))
        error = error.arg(path);
    const QByteArray old("old key bytes\n");
    if (existing)
        QVERIFY(TestSupport::writeFile(path, old));

    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy exported(&manager, &KeyManager::keyExported);
    QSignalSpy failed(&manager, &KeyManager::keyExportError);
    manager.exportKey(keyId, path);
    QCOMPARE(exported.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0), (QList<QVariant> {keyId, path, error}));

    const QStringList left = QDir(_files->path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, existing ? QStringList {name} : QStringList());
    if (existing)
        QCOMPARE(TestSupport::readFile(path), old);
}

void KeyManagerTest::importRealKey()
{
    GnupgHome other;
    const QString fingerprint
        = other.makeKey(QStringLiteral("Imported <imp@example.org>"), QStringLiteral("ed25519"))
              .value(0);
    QByteArray exported;
    QCOMPARE(other.gpg({QStringLiteral("--export"), fingerprint}, &exported), 0);
    const QString path = _files->filePath(QStringLiteral("imported.gpg"));
    QVERIFY(TestSupport::writeFile(path, exported));

    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy imported(&manager, &KeyManager::keyImported);
    QSignalSpy failed(&manager, &KeyManager::keyImportError);
    manager.importKey(path);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(imported.count(), 1);
    QCOMPARE(imported.at(0).at(0).toString(), path);
    QCOMPARE(_home->fingerprints(fingerprint, false), QStringList {fingerprint});
}

void KeyManagerTest::importEmptyFile()
{
    const QString path = _files->filePath(QStringLiteral("empty.gpg"));
    QVERIFY(TestSupport::writeFile(path, QByteArray()));
    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy imported(&manager, &KeyManager::keyImported);
    QSignalSpy failed(&manager, &KeyManager::keyImportError);
    manager.importKey(path);
    QCOMPARE(imported.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0), (QList<QVariant> {path, QStringLiteral("The file holds no key")}));
}

void KeyManagerTest::importMissingFile()
{
    const QString path = _files->filePath(QStringLiteral("missing.gpg"));
    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy imported(&manager, &KeyManager::keyImported);
    QSignalSpy failed(&manager, &KeyManager::keyImportError);
    manager.importKey(path);
    QCOMPARE(imported.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0), (QList<QVariant> {path, QStringLiteral("Can't open file")}));
}

QTEST_GUILESS_MAIN(KeyManagerTest)
#include "keymanagertest.moc"
