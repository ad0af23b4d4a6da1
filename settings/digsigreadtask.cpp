#include "digsigreadtask.h"

#include <QObject>

DigSigReadTask::DigSigReadTask(Element* element)
    : ReadPropertyHeavyTask(element)
{
    taskDescription().setDescription(QObject::tr("Read digital signature settings"));
}

DigSigReadTask::~DigSigReadTask() = default;

void DigSigReadTask::run()
{
    taskDescription().setStatus(TaskDescription::Succeeded);
    AbstractTask::run();
}

void DigSigReadTask::afterRun() { }
