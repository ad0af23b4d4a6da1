#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>

// Reads what a public key file holds with GnuPG Made Easy, without importing it into any key
// ring. Safe on any thread: every read has its own GnuPG context.
class KeyFileReader
{
    Q_DECLARE_TR_FUNCTIONS(KeyFileReader)
public:
    struct Key
    {
        QString userId;
        QString fingerprint;
        QString algorithm;
        // Invalid when the key never expires.
        QDateTime expires;
        bool expired = false;
        bool revoked = false;
    };

    struct Result
    {
        QList<Key> keys;
        // Why the file could not be read (completely); empty on success.
        QString error;
    };

    // Key files are a few kilobytes; anything far larger is not one and is not handed to GnuPG.
    static constexpr qint64 maxFileSize = 1024 * 1024;

    static Result read(const QString& path);
};
