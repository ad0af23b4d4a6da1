#include "keymanager.h"

#include "atomicfile.h"
#include "keygenerationfailure.h"
#include "sysroot.h"

#include <QFile>

#include <context.h>
#include <global.h>
#include <key.h>
#include <keylistresult.h>

#include <clocale>
#include <mutex>

KeyManager::KeyManager(QObject* parent)
    : QObject(parent)
    , _gpgmeContext(nullptr)
{ }

KeyManager::~KeyManager()
{
    _context.reset();
    if (_gpgmeContext)
        gpgme_release(_gpgmeContext);
}

void KeyManager::initializeLibrary()
{
    // gpgme_check_version sets up the library's thread support and setlocale is not thread
    // safe: both belong before any worker thread touches GnuPG.
    static std::once_flag once;
    std::call_once(once, [] {
        GpgME::initializeLibrary();
        gpgme_check_version(nullptr);
        std::setlocale(LC_ALL, "");
        gpgme_set_locale(nullptr, LC_CTYPE, std::setlocale(LC_CTYPE, nullptr));
        gpgme_set_locale(nullptr, LC_MESSAGES, std::setlocale(LC_MESSAGES, nullptr));
    });
}

bool KeyManager::init(const QString& homeDir)
{
    initializeLibrary();
    _context.reset(GpgME::Context::createForProtocol(GpgME::OpenPGP));
    if (!_context)
        return false;
    const QByteArray home = homeDir.toUtf8();
    if (!homeDir.isEmpty() && _context->setEngineHomeDirectory(home.constData()).code() != 0)
        return false;
    if (gpgme_set_engine_info(GPGME_PROTOCOL_OpenPGP, nullptr,
                              homeDir.isEmpty() ? nullptr : home.constData()))
        return false;
    if (_gpgmeContext) {
        gpgme_release(_gpgmeContext);
        _gpgmeContext = nullptr;
    }
    if (gpgme_new(&_gpgmeContext))
        return false;
    if (gpgme_engine_check_version(GPGME_PROTOCOL_OpenPGP))
        return false;
    gpgme_engine_info_t engines = nullptr;
    return gpgme_get_engine_info(&engines) == 0;
}

bool KeyManager::isUsableSigningSubkey(const SubkeyState& subkey, bool acceptKnownAlgorithms)
{
    if (subkey.revoked || subkey.expired || subkey.invalid || subkey.disabled || !subkey.canSign)
        return false;
    return acceptKnownAlgorithms || subkey.algorithm == GpgME::Subkey::AlgoUnknown;
}

QList<QPair<QString, QString>> KeyManager::signingKeys()
{
    QList<QPair<QString, QString>> keys;
    if (!_context || _context->lastError().code() != 0)
        return keys;
    if (_context->startKeyListing(static_cast<const char*>(nullptr), true).code() != 0)
        return keys;
    const bool acceptKnownAlgorithms = Sysroot::isActive();
    for (;;) {
        GpgME::Error error;
        const GpgME::Key key = _context->nextKey(error);
        if (error.code() != 0)
            break;
        const QString userId
            = key.numUserIDs() > 0 ? QString::fromUtf8(key.userID(0).id()) : tr("(no user id)");
        for (const GpgME::Subkey& subkey : key.subkeys()) {
            const SubkeyState state {subkey.isRevoked(), subkey.isExpired(),
                                     subkey.isInvalid(), subkey.isDisabled(),
                                     subkey.canSign(),   subkey.publicKeyAlgorithm()};
            if (isUsableSigningSubkey(state, acceptKnownAlgorithms))
                keys.append({userId, QString::fromUtf8(subkey.fingerprint())});
        }
    }
    _context->endKeyListing();
    return keys;
}

// GnuPG refuses a parameter without a value ("missing argument"): the optional comment and
// e-mail address are left out when empty.
QByteArray KeyManager::keyParameters(const QMap<QString, QString>& params)
{
    QString block = QStringLiteral("<GnupgKeyParms format=\"internal\">\n")
        + QStringLiteral(" Key-Type: GOST_R34.10-2012 \n") + QStringLiteral(" Name-Real: ")
        + params.value(QStringLiteral("Name-Real")) + QStringLiteral(" \n");
    for (const QString& optional : {QStringLiteral("Name-Comment"), QStringLiteral("Name-Email")}) {
        const QString value = params.value(optional);
        if (!value.trimmed().isEmpty())
            block += QLatin1Char(' ') + optional + QStringLiteral(": ") + value
                + QStringLiteral(" \n");
    }
    block += QStringLiteral(" Expire-Date: 0 \n") + QStringLiteral("</GnupgKeyParms>");
    return block.toUtf8();
}

void KeyManager::genKey(QMap<QString, QString> params)
{
    if (!params.contains(QStringLiteral("Name-Real"))
        || !params.contains(QStringLiteral("Name-Comment"))
        || !params.contains(QStringLiteral("Name-Email"))) {
        Q_EMIT keyGenerationError(tr("Parameters map does not contains required keys"));
        return;
    }
    const QByteArray block = keyParameters(params);
    Q_EMIT keyGenerationStarted();
    const gpgme_error_t error = gpgme_op_genkey(_gpgmeContext, block.constData(), nullptr, nullptr);
    if (error) {
        Q_EMIT keyGenerationError(KeyGenerationFailure::describe(
            error, KeyGenerationFailure::diagnostics(_gpgmeContext)));
        return;
    }
    const gpgme_genkey_result_t result = gpgme_op_genkey_result(_gpgmeContext);
    if (result && result->primary && result->fpr)
        Q_EMIT keyGenerationEnded(QString::fromUtf8(result->fpr));
}

void KeyManager::exportKey(QString keyID, QString filepath)
{
    // The target is replaced only by a complete export, written whole: GnuPG exports nothing,
    // without an error, for a key it does not know, and an emptied key file would leave the
    // kernel without a key it trusts.
    QByteArray key;
    QString error = exportInto(&key, keyID);
    if (error.isEmpty())
        error = AtomicFile::replace(filepath, key, AtomicFile::publicMode);
    if (!error.isEmpty()) {
        Q_EMIT keyExportError(keyID, filepath, error);
        return;
    }
    Q_EMIT keyExported(keyID, filepath);
}

QString KeyManager::exportInto(QByteArray* key, const QString& keyID)
{
    // An empty pattern would export the whole key ring.
    if (keyID.isEmpty())
        return tr("No public key matches %1").arg(keyID);
    gpgme_data_t data = nullptr;
    gpgme_error_t error = gpgme_data_new(&data);
    if (error)
        return gpgmeMessage(error);
    error = gpgme_op_export(_gpgmeContext, keyID.toUtf8().constData(), 0, data);
    size_t size = 0;
    char* bytes = gpgme_data_release_and_get_mem(data, &size);
    if (bytes) {
        *key = QByteArray(bytes, int(size));
        gpgme_free(bytes);
    }
    if (error)
        return gpgmeMessage(error);
    if (key->isEmpty())
        return tr("No public key matches %1").arg(keyID);
    return {};
}

void KeyManager::importKey(QString filepath)
{
    QFile file(filepath);
    if (!file.open(QIODevice::ReadOnly)) {
        Q_EMIT keyImportError(filepath, tr("Can't open file"));
        return;
    }
    if (file.handle() == -1) {
        Q_EMIT keyImportError(filepath, tr("Incorrect file handle"));
        return;
    }
    gpgme_data_t data = nullptr;
    gpgme_error_t error = gpgme_data_new_from_fd(&data, file.handle());
    if (error) {
        Q_EMIT keyImportError(filepath, gpgmeMessage(error));
        return;
    }
    error = gpgme_op_import(_gpgmeContext, data);
    gpgme_data_release(data);
    if (error) {
        Q_EMIT keyImportError(filepath, gpgmeMessage(error));
        return;
    }
    // GnuPG reports no error for a file without any key; a root key file that is empty or
    // damaged must not pass for imported.
    const gpgme_import_result_t result = gpgme_op_import_result(_gpgmeContext);
    if (!result || result->considered == 0) {
        Q_EMIT keyImportError(filepath, tr("The file holds no key"));
        return;
    }
    Q_EMIT keyImported(filepath);
}

QString KeyManager::gpgmeMessage(gpgme_error_t error)
{
    return QString::fromUtf8(gpgme_strsource(error)) + QLatin1Char(' ')
        + QString::fromUtf8(gpgme_strerror(error));
}
