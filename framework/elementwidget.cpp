#include "elementwidget.h"

#include "element.h"

ElementWidget::ElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent)
    : QWidget(parent)
    , ContextOperation(module, permission, WidgetContextType)
    , _role(NoWidgetRole)
{ }

ElementWidget::~ElementWidget() = default;

void ElementWidget::setElement(Element* element, int role)
{
    _element = element;
    _role = role;
}

Element* ElementWidget::element() const
{
    return _element;
}

int ElementWidget::role() const
{
    return _role;
}

QString ElementWidget::caption() const
{
    return _element ? _element->caption() : windowTitle();
}

Element* ElementWidget::elementContext() const
{
    return _element;
}

ElementWidget* ElementWidget::elementWidgetContext() const
{
    return const_cast<ElementWidget*>(this);
}
