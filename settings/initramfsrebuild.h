#pragma once

#include "digsigconfigmanager.h"

#include <QStringList>

#include <functional>

class TaskDescription;

// The steps the update task and the rebuild task share.
namespace InitramfsRebuild {

struct Options
{
    // Called once when another rebuild, of this process or another one, holds the lock and
    // this one waits for it to end.
    std::function<void()> whenWaiting;
    int initramfsTimeoutMsecs = DigSigConfigManager::initramfsTimeoutMsecs;
};

// Rebuilds the initial RAM file system, remounting /boot read-write around the rebuild when the
// mount table says it is read-only; one rebuild at a time (InitramfsRebuildLock). Failures go to
// errors, the rebuild's warnings to warnings. A failed rebuild is recorded as pending, a
// successful one clears that record. Blocks: never call it on the GUI thread.
void run(QStringList& errors, QStringList& warnings, const Options& options = Options());

// Whether the initial RAM file system may not hold the settings last written, because the
// rebuild after them failed or was left out (markPending), so that a later run that finds
// nothing to change still knows that a rebuild is due.
bool isPending();
// Records a rebuild left out after the settings were written; returns why it could not be
// recorded, or an empty string.
QString markPending();

// Status 1 with the errors, else 3 with the warnings, else 2; lines joined with "\n".
void report(TaskDescription& description, const QStringList& errors, const QStringList& warnings);

} // namespace InitramfsRebuild
