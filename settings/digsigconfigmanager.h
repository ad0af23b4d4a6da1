#pragma once

#include <QByteArray>
#include <QStringList>

class DigSigElementData;

// The one stateless object that writes the settings file and the control file, checks and
// remounts /boot and rebuilds the initial RAM file system. It is never destroyed.
class DigSigConfigManager
{
public:
    // Creates the object on first use; safe when threads race for the first call.
    static DigSigConfigManager* instance();

    // A rebuild of the initial RAM file system for every installed kernel takes minutes on a
    // slow machine; one that takes this long hangs.
    static constexpr int initramfsTimeoutMsecs = 20 * 60 * 1000;
    static constexpr int mountTimeoutMsecs = 60 * 1000;

    // Replaces the settings file and then, if that worked, the control file (unless the record
    // keeps either). Nothing is written when either file changed since the record's fingerprints
    // were taken or when the control text breaks the line limit. The record's fingerprint of
    // each file written becomes that of the new content. Returns the translated error lines;
    // empty when the files were replaced.
    QStringList save(DigSigElementData& data);

    // The paths (as the administrator knows them) of the files that are no longer what the
    // fingerprints say; an empty fingerprint is not checked.
    static QStringList changedSinceRead(const QByteArray& settingsFingerprint,
                                        const QByteArray& xattrControlFingerprint);

    // Throws std::runtime_error when the mount table cannot be read.
    bool isBootReadOnly();
    // A mount that does not end within the limit is stopped and counts as failed.
    bool remountBootReadWrite(int timeoutMsecs = mountTimeoutMsecs);
    void remountBootReadOnly(int timeoutMsecs = mountTimeoutMsecs);

    // Returns an empty list or one warning message; throws std::runtime_error on failure, also
    // when the rebuild does not end within the limit (it is then stopped).
    QStringList updateInitramfs(int timeoutMsecs = initramfsTimeoutMsecs);

    // Whether update-initramfs's standard error, after a zero exit code, holds a known harmless
    // message, so that the rebuild only warns instead of failing.
    static bool isInitramfsWarning(const QString& errorText);

private:
    DigSigConfigManager() = default;
    ~DigSigConfigManager() = default;
    DigSigConfigManager(const DigSigConfigManager&) = delete;
    DigSigConfigManager& operator=(const DigSigConfigManager&) = delete;

    static QByteArray settingsContent(const DigSigElementData& data);
    static QByteArray xattrControlContent(const QString& text, QStringList* errors);
    static QStringList replace(const QString& path, const QByteArray& content,
                               const QByteArray& fingerprint);
};
