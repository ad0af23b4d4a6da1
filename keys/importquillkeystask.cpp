#include "importquillkeystask.h"

#include <QObject>

ImportQuillKeysTask::ImportQuillKeysTask(Element* element, ElementData* data)
    : ElementTask(element, data)
{
    taskDescription().setDescription(QObject::tr("Read quill keys import state"));
}

ImportQuillKeysTask::~ImportQuillKeysTask() = default;

void ImportQuillKeysTask::run()
{
    taskDescription().setStatus(TaskDescription::Succeeded);
    AbstractTask::run();
}

void ImportQuillKeysTask::afterRun() { }
