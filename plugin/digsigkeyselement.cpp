#include "digsigkeyselement.h"

#include "digsigconstants.h"

DigSigKeysElement::DigSigKeysElement(Module& module, bool (*permission)(Module const&))
    : DigSigElement(module, permission)
{
    _nodeType = QStringLiteral("DigSigKeys");
    _parentType = QStringLiteral("DigSig");
    _level = 3;
    _elementType = _nodeType;
    _displayName = tr("Keys");
}

DigSigKeysElement::~DigSigKeysElement() = default;

OperationTypes DigSigKeysElement::availableOperations() const
{
    return NoOperation;
}

QString DigSigKeysElement::caption() const
{
    return tr("Keys settings");
}

QIcon DigSigKeysElement::icon() const
{
    return DigSig::keysElementIcon();
}
