#include "contextoperation.h"

const QString ContextOperation::allElementType = QStringLiteral("*");

ContextOperation::ContextOperation(Module& module, bool (*permission)(Module const&),
                                   ContextType type)
    : _module(module)
    , _permission(permission)
    , _contextType(type)
{ }

ContextOperation::~ContextOperation() = default;

int ContextOperation::contextType() const
{
    return _contextType;
}

QString ContextOperation::elementType() const
{
    return _elementType;
}

Module* ContextOperation::module() const
{
    return &_module;
}

bool ContextOperation::isEditable() const
{
    return !_permission || _permission(_module);
}
