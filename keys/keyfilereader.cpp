#include "keyfilereader.h"

#include "keymanager.h"

#include <QFile>

#include <gpgme.h>

namespace {

QString algorithmName(gpgme_subkey_t subkey)
{
    char* name = gpgme_pubkey_algo_string(subkey);
    if (!name)
        return KeyFileReader::tr("unknown (%1)").arg(int(subkey->pubkey_algo));
    const QString text = QString::fromUtf8(name);
    gpgme_free(name);
    return text;
}

KeyFileReader::Key describe(gpgme_key_t key)
{
    KeyFileReader::Key result;
    gpgme_subkey_t primary = key->subkeys;
    if (key->uids && key->uids->uid)
        result.userId = QString::fromUtf8(key->uids->uid);
    if (primary) {
        result.fingerprint = QString::fromLatin1(primary->fpr);
        result.algorithm = algorithmName(primary);
        if (primary->expires > 0)
            result.expires = QDateTime::fromSecsSinceEpoch(primary->expires);
    }
    result.expired = key->expired;
    result.revoked = key->revoked;
    return result;
}

QString gpgmeText(gpgme_error_t error)
{
    return QString::fromUtf8(gpgme_strerror(error));
}

} // namespace

KeyFileReader::Result KeyFileReader::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, tr("The file cannot be read: %1").arg(file.errorString())};
    if (file.size() > maxFileSize)
        return {{}, tr("The file is too large for a key file")};
    const QByteArray bytes = file.readAll();

    KeyManager::initializeLibrary();
    gpgme_ctx_t context = nullptr;
    gpgme_error_t error = gpgme_new(&context);
    if (error)
        return {{}, gpgmeText(error)};
    gpgme_data_t data = nullptr;
    error = gpgme_data_new_from_mem(&data, bytes.constData(), size_t(bytes.size()), 0);
    Result result;
    if (!error)
        error = gpgme_op_keylist_from_data_start(context, data, 0);
    gpgme_key_t key = nullptr;
    while (!error && !(error = gpgme_op_keylist_next(context, &key))) {
        result.keys.append(describe(key));
        gpgme_key_unref(key);
    }
    if (gpgme_err_code(error) != GPG_ERR_EOF)
        result.error = gpgmeText(error);
    else if (result.keys.isEmpty())
        result.error = tr("The file holds no OpenPGP key");
    gpgme_op_keylist_end(context);
    gpgme_data_release(data);
    gpgme_release(context);
    return result;
}
