#include "keyfilereader.h"
#include "gnupghome.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

// Key files made in one GnuPG home are read with another as the default, which must not learn
// any of their keys.
class KeyFileReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void readsWithoutImporting_data();
    void readsWithoutImporting();

private:
    QString exported(const QString& name, const QStringList& arguments);

    std::unique_ptr<GnupgHome> _maker;
    std::unique_ptr<GnupgHome> _reader;
    QTemporaryDir _files;
    QString _current;
    QString _old;
};

void KeyFileReaderTest::initTestCase()
{
    _maker = std::make_unique<GnupgHome>();
    _reader = std::make_unique<GnupgHome>();
    _reader->makeDefault();
    _current = _maker
                   ->makeKey(QStringLiteral("Jean-Luc O'Neil <jl@example.org>"),
                             QStringLiteral("rsa1024"))
                   .value(0);
    _maker->gpg({QStringLiteral("--faked-system-time"), QStringLiteral("20000101T000000"),
                 QStringLiteral("--quick-gen-key"), QStringLiteral("Old <old@example.org>"),
                 QStringLiteral("rsa1024"), QStringLiteral("sign"), QStringLiteral("1y")});
    _old = _maker->fingerprints(QStringLiteral("old@example.org")).value(0);
    QCOMPARE(_current.size(), 40);
    QCOMPARE(_old.size(), 40);
}

void KeyFileReaderTest::cleanupTestCase()
{
    _maker.reset();
    _reader.reset();
}

QString KeyFileReaderTest::exported(const QString& name, const QStringList& arguments)
{
    QByteArray bytes;
    _maker->gpg(arguments, &bytes);
    const QString path = _files.filePath(name);
    TestSupport::writeFile(path, bytes);
    return path;
}

void KeyFileReaderTest::readsWithoutImporting_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("error");
    const QString current = QStringLiteral("Jean-Luc O'Neil <jl@example.org>|%1|rsa1024|never");
    const QString old = QStringLiteral("Old <old@example.org>|%1|rsa1024|expired 2000-12-31");
    QTest::newRow("binary") << "current.gpg" << QStringList {current} << QString();
    QTest::newRow("armored") << "current.asc" << QStringList {current} << QString();
    QTest::newRow("two keys") << "both.gpg" << QStringList {current, old} << QString();
    QTest::newRow("not a key") << "junk.gpg" << QStringList()
                               << QStringLiteral("The file holds no OpenPGP key");
    QTest::newRow("too large") << "large.gpg" << QStringList()
                               << QStringLiteral("The file is too large for a key file");
    QTest::newRow("missing") << "missing.gpg" << QStringList()
                             << QStringLiteral(
                                    "The file cannot be read: No such file or directory");
}

void KeyFileReaderTest::readsWithoutImporting()
{
    QFETCH(QString, file);
    QFETCH(QStringList, keys);
    QFETCH(QString, error);
    const QString export_ = QStringLiteral("--export");
    if (file == QLatin1String("current.gpg"))
        exported(file, {export_, _current});
    else if (file == QLatin1String("current.asc"))
        exported(file, {QStringLiteral("--armor"), export_, _current});
    else if (file == QLatin1String("both.gpg"))
        exported(file, {export_, _current, _old});
    else if (file == QLatin1String("junk.gpg"))
        QVERIFY(TestSupport::writeFile(_files.filePath(file), "key"));
    else if (file == QLatin1String("large.gpg"))
        QVERIFY(TestSupport::writeFile(_files.filePath(file),
                                       QByteArray(KeyFileReader::maxFileSize + 1, '\x99')));

    const KeyFileReader::Result result = KeyFileReader::read(_files.filePath(file));
    QStringList described;
    for (const KeyFileReader::Key& key : result.keys) {
        const QString expiry = !key.expires.isValid()
            ? QStringLiteral("never")
            : (key.expired ? QStringLiteral("expired ") : QString())
                + key.expires.toUTC().date().toString(Qt::ISODate);
        described << QStringList {key.userId, key.fingerprint, key.algorithm, expiry}.join('|');
    }
    for (QString& key : keys)
        key = key.arg(key.startsWith(QLatin1String("Old")) ? _old : _current);
    QCOMPARE(described, keys);
    QCOMPARE(result.error, error);
    QCOMPARE(_reader->fingerprints(QString(), false), QStringList());
}

QTEST_MAIN(KeyFileReaderTest)
#include "keyfilereadertest.moc"
