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
    auto* settings = dynamic_cast<DigSigElementData*>(data());
    if (!settings) {
        errors << QObject::tr("No digital signature settings were given to save");
    } else {
        _readFingerprints[0] = settings->settingsFingerprint();
        _readFingerprints[1] = settings->xattrControlFingerprint();
        errors = DigSigConfigManager::instance()->save(*settings);
        _savedFingerprints[0] = settings->settingsFingerprint();
        _savedFingerprints[1] = settings->xattrControlFingerprint();
    }
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
    // Whatever else failed, the files written are now what the widget shows: its next Apply
    // must not be refused for our own change. Named, not linked: widgets build on this library.
    if (widget && widget->inherits("DigSigElementWidget")) {
        QMetaObject::invokeMethod(widget, "takeSavedFiles", Q_ARG(QByteArray, _readFingerprints[0]),
                                  Q_ARG(QByteArray, _readFingerprints[1]),
                                  Q_ARG(QByteArray, _savedFingerprints[0]),
                                  Q_ARG(QByteArray, _savedFingerprints[1]));
    }
    if (widget && taskDescription().status() != TaskDescription::Failed) {
        widget->afterSuccessfulUpdate();
        widget->setUnchanged();
    }
    UpdateTask::afterRun();
}
