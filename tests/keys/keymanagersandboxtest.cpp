#include "gnupghome.h"
#include "keymanager.h"

#include "testsupport.h"

#include <QtTest>

using KeyList = QList<QPair<QString, QString>>;

// The signing-key list while a sandbox root is in effect, where keys of known algorithms stand
// in for the GOST keys stock GnuPG cannot make.
class KeyManagerSandboxTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void listsUsableSigningSubkeysOnly();
    void uninitialisedListsNothing();

private:
    std::unique_ptr<GnupgHome> _home;
};

void KeyManagerSandboxTest::initTestCase()
{
    QVERIFY(!TestSupport::sandboxRoot().isEmpty());
    _home = std::make_unique<GnupgHome>();
    _home->makeDefault();
}

void KeyManagerSandboxTest::cleanupTestCase()
{
    _home.reset();
}

void KeyManagerSandboxTest::listsUsableSigningSubkeysOnly()
{
    const QString rsaUser = QStringLiteral("Sandbox RSA <rsa@example.org>");
    const QString edUser = QStringLiteral("Sandbox EdDSA <ed@example.org>");
    const QString rsa = _home->makeKey(rsaUser, QStringLiteral("rsa1024")).value(0);
    // Made in the past, so that a subkey valid for one day has long expired.
    const QString past = QStringLiteral("20200101T000000");
    const QString ed = _home->makeKey(edUser, QStringLiteral("ed25519"), past).value(0);
    _home->addSubkey(ed, QStringLiteral("cv25519"), QStringLiteral("encr"), QStringLiteral("never"),
                     past);
    _home->addSubkey(ed, QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("1d"),
                     past);
    _home->addSubkey(ed, QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("never"),
                     past);
    _home->addSubkey(ed, QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("never"),
                     past);
    _home->revokeSubkey(ed, 4);
    const QStringList edKeys = _home->fingerprints(ed);
    QCOMPARE(edKeys.size(), 5);

    KeyManager manager;
    QVERIFY(manager.init(QString()));
    const KeyList expected {{rsaUser, rsa}, {edUser, ed}, {edUser, edKeys.at(3)}};
    QCOMPARE(manager.signingKeys(), expected);
}

void KeyManagerSandboxTest::uninitialisedListsNothing()
{
    KeyManager uninitialised;
    QCOMPARE(uninitialised.signingKeys(), KeyList());
}

DIGSIG_SANDBOX_TEST_MAIN(KeyManagerSandboxTest)
#include "keymanagersandboxtest.moc"
