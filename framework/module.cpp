#include "module.h"

#include "element.h"
#include "elementdata.h"
#include "elementwidget.h"
#include "sysroot.h"
#include "treenode.h"

#include <unistd.h>

Module::Module(const QString& name, QObject* parent, bool)
    : QObject(parent)
    , _name(name)
    , _attribute(0)
{
    setObjectName(name);
}

Module::~Module()
{
    qDeleteAll(_widgets);
    qDeleteAll(_elements);
}

QString Module::name() const
{
    return _name;
}

int Module::attribute() const
{
    return _attribute;
}

void Module::setAttribute(int attribute)
{
    _attribute = attribute;
}

QList<Element*>& Module::elements()
{
    return _elements;
}

const QList<Element*>& Module::elements() const
{
    return _elements;
}

QVariant Module::getData(const QString& key) const
{
    return _data.value(key);
}

void Module::setData(const QString& key, const QVariant& value)
{
    _data.insert(key, value);
}

void Module::removeData(const QString& key)
{
    _data.remove(key);
}

void Module::insertElementWidget(ElementWidget* widget)
{
    if (widget && !_widgets.contains(widget))
        _widgets.append(widget);
}

void Module::connectElementWidgets()
{
    for (ElementWidget* widget : qAsConst(_widgets)) {
        for (Element* element : qAsConst(_elements)) {
            const auto* context = dynamic_cast<const ContextOperation*>(element);
            if (context && context->elementType() == widget->elementType())
                widget->setElement(element, MainWidgetRole);
        }
    }
}

ElementWidget* Module::elementWidget(const QString& elementType) const
{
    for (ElementWidget* widget : _widgets) {
        if (widget->elementType() == elementType)
            return widget;
    }
    return nullptr;
}

QList<ElementWidget*> Module::elementWidgets() const
{
    return _widgets;
}

bool Module::isAdministrator(Module const&)
{
    return geteuid() == 0 || Sysroot::isActive();
}

bool Module::isAdministratorHierarchy(Module const& module)
{
    return isAdministrator(module);
}

void Module::performOperation(ContextOperation* operation, OperationType type, ElementData* data,
                              int n)
{
    delete data;
    Q_EMIT operationPerformed(operation, type, n);
}
