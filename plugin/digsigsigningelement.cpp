#include "digsigsigningelement.h"

#include "digsigconstants.h"

DigSigSigningElement::DigSigSigningElement(Module& module, bool (*permission)(Module const&))
    : DigSigElement(module, permission)
{
    _nodeType = QStringLiteral("DigSigSigning");
    _parentType = QStringLiteral("DigSig");
    _level = 3;
    _elementType = _nodeType;
    _displayName = tr("Signing signature");
}

DigSigSigningElement::~DigSigSigningElement() = default;

OperationTypes DigSigSigningElement::availableOperations() const
{
    return NoOperation;
}

QString DigSigSigningElement::caption() const
{
    return tr("Signing settings");
}

QIcon DigSigSigningElement::icon() const
{
    return DigSig::signingElementIcon();
}
