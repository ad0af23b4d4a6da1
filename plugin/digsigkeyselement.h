#pragma once

#include "digsigelement.h"

// The element "DigSigKeys" below the settings element; it offers no operation of its own.
class DigSigKeysElement : public DigSigElement
{
    Q_OBJECT
public:
    DigSigKeysElement(Module& module, bool (*permission)(Module const&));
    ~DigSigKeysElement() override;

    OperationTypes availableOperations() const override;
    QString caption() const override;

protected:
    QIcon icon() const override;
};
