#include "analizpinentrytask.h"

#include <QObject>

AnalizPinentryTask::AnalizPinentryTask(Element* element, ElementData* data)
    : ElementTask(element, data)
{
    taskDescription().setDescription(QObject::tr("Read program pinentry state"));
}

AnalizPinentryTask::~AnalizPinentryTask() = default;

void AnalizPinentryTask::run()
{
    taskDescription().setStatus(TaskDescription::Succeeded);
    AbstractTask::run();
}

void AnalizPinentryTask::afterRun() { }
