#include "analizpinentrytask.h"

#include "contextoperation.h"
#include "element.h"
#include "gpgagentconfig.h"
#include "module.h"

#include <QObject>

#include <stdexcept>

AnalizPinentryTask::AnalizPinentryTask(Element* element, ElementData* data)
    : ElementTask(element, data)
{
    taskDescription().setDescription(QObject::tr("Read program pinentry state"));
}

AnalizPinentryTask::~AnalizPinentryTask() = default;

void AnalizPinentryTask::run()
{
    if (isAdministrator()) {
        try {
            writeGpgAgentConfOption(QStringLiteral("pinentry-program"),
                                    QStringLiteral("/usr/bin/pinentry-qt"));
            taskDescription().setStatus(TaskDescription::Succeeded);
        } catch (const std::runtime_error& error) {
            taskDescription().setStatus(TaskDescription::Failed);
            taskDescription().setMessage(QString::fromUtf8(error.what()));
        }
    } else {
        taskDescription().setStatus(TaskDescription::Succeeded);
    }
    AbstractTask::run();
}

void AnalizPinentryTask::afterRun()
{ }

bool AnalizPinentryTask::isAdministrator() const
{
    const auto* context = dynamic_cast<const ContextOperation*>(element());
    return context && context->module() && Module::isAdministrator(*context->module());
}
