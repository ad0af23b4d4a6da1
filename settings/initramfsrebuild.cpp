#include "initramfsrebuild.h"

#include "initramfsrebuildlock.h"
#include "taskdescription.h"

#include <QObject>

#include <stdexcept>

namespace InitramfsRebuild {

void run(QStringList& errors, QStringList& warnings, const Options& options)
{
    // The mount table is read under the lock too: another rebuild may be about to remount.
    const InitramfsRebuildLock lock(options.whenWaiting);
    if (!lock.error().isEmpty()) {
        errors << lock.error();
        return;
    }
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
