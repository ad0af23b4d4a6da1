#include "digsigupdatetask.h"

#include <QObject>

DigSigUpdateTask::DigSigUpdateTask(Element* element, ElementData* data)
    : UpdateTask(element, data)
{
    taskDescription().setDescription(QObject::tr("Update digital signature settings"));
}

DigSigUpdateTask::~DigSigUpdateTask() = default;

void DigSigUpdateTask::run()
{
    taskDescription().setStatus(TaskDescription::Succeeded);
    AbstractTask::run();
}

void DigSigUpdateTask::afterRun() { }
