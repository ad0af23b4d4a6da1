#include "gnupghome.h"
#include "keymanager.h"

#include "testsupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

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
    void exportWritesLikeEveryWriter_data();
    void exportWritesLikeEveryWriter();

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

void KeyManagerSandboxTest::exportWritesLikeEveryWriter_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("error");
    QTest::newRow("new file, umask 000") << "umask" << QString();
    QTest::newRow("target is a link") << "link"
                                      << "%1 is a symbolic link; it was not written.";
    QTest::newRow("full file system") << "tmpfs"
                                      << "Can not write %1: No space left on device";
}

// A key export replaces its target whole, never through a link, with mode 0644.
void KeyManagerSandboxTest::exportWritesLikeEveryWriter()
{
    QFETCH(QString, fault);
    QFETCH(QString, error);
    const QString directory = TestSupport::sandboxRoot() + QStringLiteral("/etc/digsig/keys");
    const QString target = directory + QStringLiteral("/key.gpg");
    const QString elsewhere = TestSupport::sandboxRoot() + QStringLiteral("/etc/elsewhere");
    QDir(directory).removeRecursively();
    QVERIFY(QDir().mkpath(directory));
    QString skip;
    if (fault == QLatin1String("tmpfs") && !TestSupport::mountTmpfs(directory, 8, &skip))
        QSKIP(qPrintable(skip));
    QVERIFY(TestSupport::writeFile(elsewhere, "old key\n"));
    if (fault == QLatin1String("link"))
        QVERIFY(QFile::link(elsewhere, target));
    if (fault == QLatin1String("tmpfs")) {
        QVERIFY(TestSupport::writeFile(target, "old key\n"));
        QVERIFY(
            TestSupport::writeFile(directory + QStringLiteral("/filler"), QByteArray(4096, 'f')));
    }
    const QString fingerprint
        = _home->makeKey(QStringLiteral("Export <export@example.org>"), QStringLiteral("ed25519"))
              .value(0);

    KeyManager manager;
    QVERIFY(manager.init(QString()));
    QSignalSpy exported(&manager, &KeyManager::keyExported);
    QSignalSpy failed(&manager, &KeyManager::keyExportError);
    const mode_t umask = ::umask(0);
    manager.exportKey(fingerprint, target);
    ::umask(umask);
    const QByteArray left = TestSupport::readFile(target);
    const QStringList entries = QDir(directory).entryList(QDir::Files | QDir::Hidden);
    if (fault == QLatin1String("tmpfs"))
        TestSupport::unmount(directory);

    if (error.isEmpty()) {
        QCOMPARE(failed.count(), 0);
        QCOMPARE(exported.count(), 1);
        QCOMPARE(QFileInfo(target).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser
                     | QFile::ReadGroup | QFile::ReadOther);
        QVERIFY(!left.isEmpty());
        return;
    }
    QCOMPARE(exported.count(), 0);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(2).toString(), error.arg(QStringLiteral("/etc/digsig/keys/key.gpg")));
    QCOMPARE(left, QByteArray("old key\n"));
    QCOMPARE(TestSupport::readFile(elsewhere), QByteArray("old key\n"));
    QVERIFY(!entries.join(QLatin1Char(' ')).contains(QLatin1String(".key.gpg.")));
}

DIGSIG_SANDBOX_TEST_MAIN(KeyManagerSandboxTest)
#include "keymanagersandboxtest.moc"
