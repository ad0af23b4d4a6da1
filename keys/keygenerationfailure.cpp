#include "keygenerationfailure.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

enum class Cause { Cancelled, Algorithm, PassPhrase, Other };

Cause causeOf(gpgme_error_t error, const QString& diagnostics)
{
    const gpgme_err_code_t code = gpgme_err_code(error);
    const QString text = diagnostics.toLower();
    if (code == GPG_ERR_CANCELED || code == GPG_ERR_FULLY_CANCELED)
        return Cause::Cancelled;
    if (code == GPG_ERR_PUBKEY_ALGO || code == GPG_ERR_UNKNOWN_ALGORITHM
        || text.contains(QLatin1String("invalid algorithm"))
        || text.contains(QLatin1String("unknown algorithm")))
        return Cause::Algorithm;
    if (code == GPG_ERR_NO_PIN_ENTRY || code == GPG_ERR_NO_AGENT || code == GPG_ERR_AGENT
        || text.contains(QLatin1String("pinentry")) || text.contains(QLatin1String("agent")))
        return Cause::PassPhrase;
    return Cause::Other;
}

} // namespace

QString KeyGenerationFailure::diagnostics(gpgme_ctx_t context)
{
    gpgme_data_t data = nullptr;
    if (!context || gpgme_data_new(&data))
        return {};
    QString text;
    if (!gpgme_op_getauditlog(context, data, GPGME_AUDITLOG_DIAG)) {
        size_t size = 0;
        char* bytes = gpgme_data_release_and_get_mem(data, &size);
        text = QString::fromUtf8(bytes, int(size));
        gpgme_free(bytes);
    } else {
        gpgme_data_release(data);
    }
    // "gpg: " and the place in the parameter block ("-&11:1: ") mean nothing to the reader.
    static const QRegularExpression prefix(QStringLiteral("^(gpg: )?(-&\\d+:\\d+: )?"),
                                           QRegularExpression::MultilineOption);
    return text.remove(prefix).trimmed();
}

QString KeyGenerationFailure::describe(gpgme_error_t error, const QString& diagnostics)
{
    QString advice;
    switch (causeOf(error, diagnostics)) {
    case Cause::Cancelled:
        advice = tr("The pass phrase was not entered.\nCreate the key again and enter a pass "
                    "phrase when GnuPG asks for it.");
        break;
    case Cause::Algorithm:
        advice = tr("The GnuPG installed on this computer cannot make GOST R 34.10-2012 keys.\n"
                    "Install GnuPG with GOST support from the system's repositories, then create "
                    "the key again.");
        break;
    case Cause::PassPhrase:
        advice = tr("GnuPG could not ask for a pass phrase.\nCheck that gpg-agent and a pinentry "
                    "program are installed, then create the key again.");
        break;
    case Cause::Other:
        advice = tr("GnuPG refused to generate the key.\nCheck the name, the e-mail address and "
                    "the comment against GnuPG's message below, then try again.");
        break;
    }
    const QString library = QString::fromUtf8(gpgme_strsource(error)) + QLatin1Char(' ')
        + QString::fromUtf8(gpgme_strerror(error));
    const QString said
        = diagnostics.isEmpty() ? library : diagnostics + QLatin1Char('\n') + library;
    return advice + QStringLiteral("\n\n") + tr("GnuPG said:") + QLatin1Char('\n') + said;
}
