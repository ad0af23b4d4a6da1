#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>

#include <gpgme.h>

#include <memory>

namespace GpgME {
class Context;
}

// The system's only access to GnuPG: lists the secret keys that can sign, generates GOST keys,
// exports public keys into files and imports key files. Short-lived and used by one thread;
// every outcome arrives as a signal before the call returns.
class KeyManager : public QObject
{
    Q_OBJECT
public:
    // What the signing-key list needs to know about one subkey.
    struct SubkeyState
    {
        bool revoked = false;
        bool expired = false;
        bool invalid = false;
        bool disabled = false;
        bool canSign = true;
        int algorithm = 0;
    };

    explicit KeyManager(QObject* parent = nullptr);
    ~KeyManager() override;

    // Initialises the library process-wide. Runs at most once; callers that will use a key
    // manager off the GUI thread call it on the GUI thread first.
    static void initializeLibrary();

    bool init(const QString& homeDir);
    QList<QPair<QString, QString>> signingKeys();

    // GOST keys are reported with algorithm 0 (unknown to the library). Inside a sandbox root
    // stock GnuPG cannot make them, so there keys of known algorithms are accepted as well.
    static bool isUsableSigningSubkey(const SubkeyState& subkey, bool acceptKnownAlgorithms);
    // The parameter block handed to GnuPG for a key generation.
    static QByteArray keyParameters(const QMap<QString, QString>& params);

Q_SIGNALS:
    void keyGenerationStarted();
    void keyGenerationEnded(QString fingerprint);
    void keyGenerationError(QString error);
    void keyExported(QString keyID, QString path);
    void keyExportError(QString keyID, QString path, QString error);
    void keyImported(QString path);
    void keyImportError(QString path, QString error);

public Q_SLOTS:
    void genKey(QMap<QString, QString> params);
    // Replaces the file (a real path, sandbox root included) with the public key through
    // AtomicFile: a new file gets mode 0644, a symbolic link there is refused and named.
    void exportKey(QString keyID, QString filepath);
    void importKey(QString filepath);

private:
    static QString gpgmeMessage(gpgme_error_t error);
    QString exportInto(QByteArray* key, const QString& keyID);

    gpgme_ctx_t _gpgmeContext;
    std::unique_ptr<GpgME::Context> _context;
};
