#include "digsigreadtask.h"

#include "digsigconfigmanager.h"
#include "digsigsettings.h"
#include "element.h"
#include "elementdata.h"
#include "vieweditelementwidget.h"

#include <QObject>

DigSigReadTask::DigSigReadTask(Element* element)
    : ReadPropertyHeavyTask(element)
{
    taskDescription().setDescription(QObject::tr("Read digital signature settings"));
    setData(new ElementData);
}

DigSigReadTask::~DigSigReadTask() = default;

void DigSigReadTask::run()
{
    const QStringList errors = DigSigSettings(DigSigConfigManager::instance()).errors();
    if (errors.isEmpty()) {
        taskDescription().setStatus(TaskDescription::Succeeded);
    } else {
        taskDescription().setStatus(TaskDescription::Failed);
        taskDescription().setMessage(errors.join(QLatin1Char('\n')));
    }
    AbstractTask::run();
}

void DigSigReadTask::afterRun()
{
    Element* target = element();
    // The widget shows what the files hold even after a failed read. Its class is named, not
    // linked, because the widgets library builds on this one.
    auto* widget = target
        ? qobject_cast<ViewEditElementWidget*>(target->elementWidget(MainWidgetRole))
        : nullptr;
    if (widget && widget->inherits("DigSigElementWidget"))
        widget->afterSuccessfulRead(target, data());
    ReadPropertyHeavyTask::afterRun();
}
