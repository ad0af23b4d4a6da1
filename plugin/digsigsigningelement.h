#pragma once

#include "digsigelement.h"

// The element "DigSigSigning" below the settings element; it offers no operation of its own.
class DigSigSigningElement : public DigSigElement
{
    Q_OBJECT
public:
    DigSigSigningElement(Module& module, bool (*permission)(Module const&));
    ~DigSigSigningElement() override;

    OperationTypes availableOperations() const override;
    QString caption() const override;

protected:
    QIcon icon() const override;
};
