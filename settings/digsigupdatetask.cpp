#include "digsigupdatetask.h"

#include "contextoperation.h"
#include "digsigconfigmanager.h"
#include "digsigelementdata.h"
#include "element.h"
#include "initramfsrebuild.h"
#include "module.h"
#include "vieweditelementwidget.h"

#include <QObject>

DigSigUpdateTask::DigSigUpdateTask(Element* element, ElementData* data)
    : UpdateTask(element, data)
{
    taskDescription().setDescription(QObject::tr("Update digital signature settings"));
}

DigSigUpdateTask::~DigSigUpdateTask() = default;

void DigSigUpdateTask::run()
{
    QStringList errors;
    QStringList warnings;
    const auto* settings = dynamic_cast<const DigSigElementData*>(data());
    if (!settings)
        errors << QObject::tr("No digital signature settings were given to save");
    else
        errors = DigSigConfigManager::instance()->save(*settings);
    if (errors.isEmpty())
        InitramfsRebuild::run(errors, warnings);
    InitramfsRebuild::report(taskDescription(), errors, warnings);
    AbstractTask::run();
}

void DigSigUpdateTask::afterRun()
{
    Element* target = element();
    const auto* context = dynamic_cast<const ContextOperation*>(target);
    if (!target || !context || !context->module()) {
        UpdateTask::afterRun();
        return;
    }

    const QVariant paranoid = context->module()->getData(QStringLiteral("paranoid"));
    if ((!paranoid.isValid() || paranoid.toBool())
        && (target->availableOperations() & ReadOperation))
        target->performOperation(ReadOperation, nullptr, 0);

    auto* widget = qobject_cast<ViewEditElementWidget*>(target->elementWidget(MainWidgetRole));
    if (widget && taskDescription().status() != TaskDescription::Failed) {
        widget->afterSuccessfulUpdate();
        widget->setUnchanged();
    }
    UpdateTask::afterRun();
}
