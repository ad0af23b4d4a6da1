#pragma once

#include <QCoreApplication>
#include <QString>

#include <gpgme.h>

// Turns a failed key generation into what the administrator needs: why it failed and what to
// do, followed by GnuPG's own words. GnuPG Made Easy alone only says "General error".
class KeyGenerationFailure
{
    Q_DECLARE_TR_FUNCTIONS(KeyGenerationFailure)
public:
    // GnuPG's diagnostics of the context's last operation, without its "gpg: " prefixes.
    static QString diagnostics(gpgme_ctx_t context);
    static QString describe(gpgme_error_t error, const QString& diagnostics);
};
