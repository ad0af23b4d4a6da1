#include "ordinaryelement.h"

#include "module.h"

OrdinaryElement::OrdinaryElement(Module& module, bool (*permission)(Module const&))
    : Element(nullptr)
    , ContextOperation(module, permission, ElementContextType)
{ }

OrdinaryElement::~OrdinaryElement() = default;

OperationTypes OrdinaryElement::availableOperations() const
{
    return StartupOperation | ReadOperation | UpdateOperation;
}

void OrdinaryElement::performOperation(OperationType type, ElementData* data, int n)
{
    module()->performOperation(this, type, data, n);
}

ElementWidget* OrdinaryElement::elementWidget(ElementWidgetRole role)
{
    if (role != MainWidgetRole)
        return nullptr;
    return module()->elementWidget(elementType());
}

Element* OrdinaryElement::elementContext() const
{
    return const_cast<OrdinaryElement*>(this);
}

ElementWidget* OrdinaryElement::elementWidgetContext() const
{
    return nullptr;
}
