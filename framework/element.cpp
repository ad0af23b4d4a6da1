#include "element.h"

#include "treenode.h"

Element::Element(QObject* parent)
    : QObject(parent)
{ }

Element::~Element() = default;

QVariant Element::data(int column, int role) const
{
    const auto* node = dynamic_cast<const TreeNode*>(this);
    if (node && column == 0 && (role == Qt::DisplayRole || role == Qt::ToolTipRole))
        return node->displayName();
    return {};
}

OperationTypes Element::availableOperations() const
{
    return NoOperation;
}

void Element::performOperation(OperationType, ElementData*, int)
{ }

QString Element::caption() const
{
    return data(0, Qt::DisplayRole).toString();
}

ElementWidget* Element::elementWidget(ElementWidgetRole)
{
    return nullptr;
}
