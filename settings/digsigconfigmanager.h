#pragma once

#include <QStringList>

class DigSigElementData;

// The one stateless object that writes the settings file and the control file, checks and
// remounts /boot and rebuilds the initial RAM file system. It is never destroyed.
class DigSigConfigManager
{
public:
    // Creates the object on first use; safe when threads race for the first call.
    static DigSigConfigManager* instance();

    // Replaces the settings file and then, if that worked, the control file. Returns the
    // translated error lines; empty when both files were replaced.
    QStringList save(const DigSigElementData& data);

    // Throws std::runtime_error when the mount table cannot be read.
    bool isBootReadOnly();
    bool remountBootReadWrite();
    void remountBootReadOnly();

    // Returns an empty list or one warning message; throws std::runtime_error on failure.
    QStringList updateInitramfs();

    // Whether update-initramfs's standard error, after a zero exit code, holds a known harmless
    // message, so that the rebuild only warns instead of failing.
    static bool isInitramfsWarning(const QString& errorText);

private:
    DigSigConfigManager() = default;
    ~DigSigConfigManager() = default;
    DigSigConfigManager(const DigSigConfigManager&) = delete;
    DigSigConfigManager& operator=(const DigSigConfigManager&) = delete;

    QStringList saveSettings(const DigSigElementData& data);
    QStringList saveXattrControl(const QString& text);
};
