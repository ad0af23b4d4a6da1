#include "digsigmodule.h"

#include "analizpinentrytask.h"
#include "contextoperation.h"
#include "digsigelement.h"
#include "digsigelementwidget.h"
#include "digsigkeyselement.h"
#include "digsigreadtask.h"
#include "digsigsigningelement.h"
#include "digsigupdatetask.h"
#include "elementdata.h"
#include "importquillkeystask.h"
#include "keyselementwidget.h"
#include "signingelementwidget.h"
#include "taskobserver.h"

DigSigModule::DigSigModule(QObject* parent)
    : Module(QStringLiteral("DigSigModule"), parent, false)
{
    setAttribute(1);
    removeData(QStringLiteral("paranoid"));
    setData(QStringLiteral("description"), tr("Digital signature management"));
    setData(QStringLiteral("administrator"), Module::isAdministrator(*this));

    elements().append(new DigSigElement(*this, Module::isAdministratorHierarchy));
    elements().append(new DigSigKeysElement(*this, Module::isAdministratorHierarchy));
    elements().append(new DigSigSigningElement(*this, Module::isAdministratorHierarchy));

    insertElementWidget(new DigSigElementWidget(*this, Module::isAdministratorHierarchy, nullptr));
    insertElementWidget(new KeysElementWidget(*this, Module::isAdministratorHierarchy, nullptr));
    insertElementWidget(new SigningElementWidget(*this, Module::isAdministratorHierarchy, nullptr));
    connectElementWidgets();
}

DigSigModule::~DigSigModule() = default;

void DigSigModule::performOperation(ContextOperation* operation, OperationType type,
                                    ElementData* data, int n)
{
    Element* element = operation && operation->contextType() == ContextOperation::ElementContextType
        ? operation->elementContext()
        : nullptr;
    const auto* context = dynamic_cast<const ContextOperation*>(element);
    if (!context || context->elementType() != QLatin1String("DigSig")) {
        Module::performOperation(operation, type, nullptr, n);
        delete data;
        return;
    }

    TaskObserver* observer = TaskObserver::instance(nullptr);
    switch (type) {
    case ReadOperation: {
        auto* task = new DigSigReadTask(element);
        Module::performOperation(operation, type, nullptr, n);
        observer->performTask(task);
        delete data;
        break;
    }
    case UpdateOperation: {
        auto* task = new DigSigUpdateTask(element, data);
        Module::performOperation(operation, type, nullptr, n);
        observer->performTask(task);
        break;
    }
    case StartupOperation:
        // Each task owns its data, so only the first one may take the record.
        observer->performTask(new AnalizPinentryTask(element, data));
        observer->performTask(new ImportQuillKeysTask(element, nullptr));
        Module::performOperation(operation, type, nullptr, n);
        break;
    default:
        Module::performOperation(operation, type, nullptr, n);
        delete data;
        break;
    }
}
