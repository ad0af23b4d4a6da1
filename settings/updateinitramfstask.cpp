#include "updateinitramfstask.h"

#include <QObject>

UpdateInitramfsTask::UpdateInitramfsTask(ElementData* data)
    : AbstractTask(data)
{
    taskDescription().setDescription(QObject::tr("Update initramfs"));
}

UpdateInitramfsTask::~UpdateInitramfsTask() = default;

void UpdateInitramfsTask::run()
{
    taskDescription().setStatus(TaskDescription::Succeeded);
    AbstractTask::run();
}

void UpdateInitramfsTask::afterRun() { }
