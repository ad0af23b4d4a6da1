#include "initramfsrebuild.h"

#include "atomicfile.h"
#include "digsigconstants.h"
#include "initramfsrebuildlock.h"
#include "sysroot.h"
#include "taskdescription.h"

#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <stdexcept>

namespace InitramfsRebuild {

namespace {

void rebuildLocked(QStringList& errors, QStringList& warnings, const Options& options)
{
    DigSigConfigManager* manager = DigSigConfigManager::instance();
    bool remounted = false;
    try {
        if (manager->isBootReadOnly()) {
            if (!manager->remountBootReadWrite()) {
                errors << QObject::tr("Can't remount /boot read write");
                return;
            }
            remounted = true;
        }
        warnings << manager->updateInitramfs(options.initramfsTimeoutMsecs);
    } catch (const std::runtime_error& error) {
        errors << QString::fromUtf8(error.what());
    }
    if (remounted)
        manager->remountBootReadOnly();
}

QString pendingPath()
{
    return Sysroot::path(DigSig::initramfsRebuildPendingPath());
}

} // namespace

void run(QStringList& errors, QStringList& warnings, const Options& options)
{
    // The mount table is read under the lock too: another rebuild may be about to remount.
    const InitramfsRebuildLock lock(options.whenWaiting);
    const int earlierErrors = errors.size();
    if (lock.error().isEmpty())
        rebuildLocked(errors, warnings, options);
    else
        errors << lock.error();
    // Still under the lock, so that the record tells how the last rebuild ended.
    if (errors.size() == earlierErrors) {
        QFile::remove(pendingPath());
        return;
    }
    const QString error = markPending();
    if (!error.isEmpty())
        errors << error;
}

bool isPending()
{
    return QFileInfo::exists(pendingPath());
}

QString markPending()
{
    if (!AtomicFile::ensurePrivateDirectory(QFileInfo(pendingPath()).absolutePath()))
        return QObject::tr("Can not create dir %1").arg(DigSig::stateDirectory());
    return AtomicFile::replace(pendingPath(),
                               "The digital signature settings were written, but the initial RAM "
                               "file system was not rebuilt after them.\n",
                               AtomicFile::publicMode);
}

void report(TaskDescription& description, const QStringList& errors, const QStringList& warnings)
{
    const QLatin1Char newline('\n');
    if (!errors.isEmpty()) {
        description.setStatus(TaskDescription::Failed);
        description.setMessage(errors.join(newline));
    } else if (!warnings.isEmpty()) {
        description.setStatus(TaskDescription::SucceededWithWarnings);
        description.setMessage(warnings.join(newline));
    } else {
        description.setStatus(TaskDescription::Succeeded);
    }
}

} // namespace InitramfsRebuild
