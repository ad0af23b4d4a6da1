#pragma once

#include <QByteArray>
#include <QIcon>
#include <QSet>
#include <QString>
#include <QStringList>

// Constants shared by the whole plug-in. System paths are the ones the administrator knows;
// open them through Sysroot::path() so that a sandbox root can redirect them.
namespace DigSig {

inline QString settingsFilePath()
{
    return QStringLiteral("/etc/digsig/digsig_initramfs.conf");
}

inline QString controlFilePath()
{
    return QStringLiteral("/etc/digsig/xattr_control");
}

inline QString digsigDirectory()
{
    return QStringLiteral("/etc/digsig");
}

inline QString keysDirectory()
{
    return QStringLiteral("/etc/digsig/keys/");
}

inline QString xattrKeysDirectory()
{
    return QStringLiteral("/etc/digsig/xattr_keys/");
}

inline QString mtabPath()
{
    return QStringLiteral("/etc/mtab");
}

inline QString gnupgHome()
{
    return QStringLiteral("/root/.gnupg");
}

inline QString gpgAgentConfPath()
{
    return QStringLiteral("/root/.gnupg/gpg-agent.conf");
}

inline QString signingLogPath()
{
    return QStringLiteral("/var/log/kiro-admin-digsig.log");
}

// Held by whoever remounts /boot and rebuilds the initial RAM file system, so that one rebuild
// runs at a time across tasks and processes. It lives in a directory of root's own: in the
// world-writable /run/lock any user could take the lock and stall every rebuild.
inline QString runDirectory()
{
    return QStringLiteral("/run/cova-digsig-plugin");
}

inline QString initramfsLockPath()
{
    return QStringLiteral("/run/cova-digsig-plugin/initramfs.lock");
}

// The gpg-agent times an unfinished signing run raised, and the lock a running one holds.
inline QString stateDirectory()
{
    return QStringLiteral("/var/lib/cova-digsig-plugin");
}

inline QString gpgAgentTimesRecordPath()
{
    return QStringLiteral("/var/lib/cova-digsig-plugin/gpg-agent-times");
}

inline QString gpgAgentTimesLockPath()
{
    return QStringLiteral("/var/lib/cova-digsig-plugin/gpg-agent-times.lock");
}

// Present while the initial RAM file system may not hold the settings last written: the rebuild
// after them failed or was left out.
inline QString initramfsRebuildPendingPath()
{
    return QStringLiteral("/var/lib/cova-digsig-plugin/initramfs-rebuild-pending");
}

inline QString windowManagerHelperPath()
{
    return QStringLiteral("/usr/bin/kiro-wmfunc");
}

inline QString translationsDirectory()
{
    return QStringLiteral("/usr/share/kiro/translations/kiro-admin-mirel");
}

inline QString translationCatalogue()
{
    return QStringLiteral("cova-digsig-plugin");
}

inline QString elfModeKey()
{
    return QStringLiteral("DIGSIG_ELF_MODE");
}

inline QString xattrModeKey()
{
    return QStringLiteral("DIGSIG_XATTR_MODE");
}

inline QString ignoreXattrKeysKey()
{
    return QStringLiteral("DIGSIG_IGNORE_XATTR_KEYS");
}

inline QString ignoreGost2001Key()
{
    return QStringLiteral("DIGSIG_IGNORE_GOST2001");
}

// The longest line of the control file, in UTF-8 bytes with its line feed, that the kernel
// reads; every writer of the file keeps to it.
constexpr int controlLineLimit = 0xFFF;

// The required options of the settings file, in check and write order.
const QStringList& keyList();

// Top-level directories under which files may be put under extended-attribute control
// without a warning.
const QSet<QString>& trustedDirectories();
// The paths, as the system knows them, of those real paths (sandbox root included) that lie
// outside the trusted directories; the root folder itself is outside. Under extended-attribute
// verification such files can keep the system from booting.
QStringList outsideTrustedDirectories(const QStringList& realPaths);

const QIcon& settingsElementIcon();
const QIcon& keysElementIcon();
const QIcon& signingElementIcon();

const QByteArray& elfMagic();

// The visible mark after a text that was cut short for the administrator.
QString truncationMark();
// text, or its first `limit` characters followed by the mark.
QString shortened(const QString& text, int limit);

} // namespace DigSig
