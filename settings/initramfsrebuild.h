#pragma once

#include <QStringList>

class TaskDescription;

// The steps the update task and the rebuild task share.
namespace InitramfsRebuild {

// Rebuilds the initial RAM file system, remounting /boot read-write around the rebuild when the
// mount table says it is read-only. Failures go to errors, the rebuild's warnings to warnings.
void run(QStringList& errors, QStringList& warnings);

// Status 1 with the errors, else 3 with the warnings, else 2; lines joined with "\n".
void report(TaskDescription& description, const QStringList& errors, const QStringList& warnings);

} // namespace InitramfsRebuild
