#include "plugin.h"

#include "module.h"

Plugin::Plugin(QObject* parent)
    : QObject(parent)
    , _attribute(0)
{ }

Plugin::~Plugin() = default;

bool Plugin::isValid() const
{
    return false;
}

QString Plugin::name() const
{
    return _name;
}

void Plugin::setName(const QString& name)
{
    _name = name;
}

QString Plugin::description() const
{
    return _description;
}

void Plugin::setDescription(const QString& description)
{
    _description = description;
}

int Plugin::attribute() const
{
    return _attribute;
}

void Plugin::setAttribute(int attribute)
{
    _attribute = attribute;
}

QList<Module*>& Plugin::modules()
{
    return _modules;
}
