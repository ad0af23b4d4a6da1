#include "updateinitramfstask.h"

#include "initramfsrebuild.h"

#include <QObject>

UpdateInitramfsTask::UpdateInitramfsTask(ElementData* data)
    : AbstractTask(data)
{
    taskDescription().setDescription(QObject::tr("Update initramfs"));
}

UpdateInitramfsTask::~UpdateInitramfsTask() = default;

void UpdateInitramfsTask::run()
{
    QStringList errors;
    QStringList warnings;
    InitramfsRebuild::run(errors, warnings);
    InitramfsRebuild::report(taskDescription(), errors, warnings);
    AbstractTask::run();
}

void UpdateInitramfsTask::afterRun()
{ }
