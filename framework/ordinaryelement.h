#pragma once

#include "contextoperation.h"
#include "element.h"
#include "treenode.h"

class Module;

// An element that belongs to a module: operations go to the module with the element as context.
class COVAFRAMEWORK_EXPORT OrdinaryElement : public Element,
                                             public TreeNode,
                                             public ContextOperation
{
    Q_OBJECT
public:
    OrdinaryElement(Module& module, bool (*permission)(Module const&));
    ~OrdinaryElement() override;

    OperationTypes availableOperations() const override;
    // Sends the operation to the module with this element as context; the module owns data.
    void performOperation(OperationType type, ElementData* data, int n) override;
    ElementWidget* elementWidget(ElementWidgetRole role) override;

    Element* elementContext() const override;
    ElementWidget* elementWidgetContext() const override;
};
