#include "analizpinentrytask.h"

#include "contextoperation.h"
#include "element.h"
#include "gpgagentconfig.h"
#include "module.h"

#include <QObject>
#include <QStringList>

#include <stdexcept>

AnalizPinentryTask::AnalizPinentryTask(Element* element, ElementData* data)
    : ElementTask(element, data)
{
    taskDescription().setDescription(QObject::tr("Read program pinentry state"));
}

AnalizPinentryTask::~AnalizPinentryTask() = default;

void AnalizPinentryTask::run()
{
    taskDescription().setStatus(TaskDescription::Succeeded);
    if (isAdministrator()) {
        QStringList errors;
        // A console killed during a signing run left the agent caching pass phrases for a month.
        try {
            if (restoreGpgAgentTimesOfEndedRun()) {
                taskDescription().setStatus(TaskDescription::SucceededWithWarnings);
                taskDescription().setMessage(
                    QObject::tr("A signing run did not end; gpg-agent's pinentry and cache times "
                                "were put back as they were before it."));
            }
        } catch (const std::runtime_error& error) {
            errors << QString::fromUtf8(error.what());
        }
        try {
            writeGpgAgentConfOption(QStringLiteral("pinentry-program"),
                                    QStringLiteral("/usr/bin/pinentry-qt"));
        } catch (const std::runtime_error& error) {
            errors << QString::fromUtf8(error.what());
        }
        if (!errors.isEmpty()) {
            taskDescription().setStatus(TaskDescription::Failed);
            taskDescription().setMessage(errors.join(QLatin1Char('\n')));
        }
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
