#pragma once

#include "ordinaryelement.h"

// The settings element "DigSig" under the console's local computer node.
class DigSigElement : public OrdinaryElement
{
    Q_OBJECT
public:
    DigSigElement(Module& module, bool (*permission)(Module const&));
    ~DigSigElement() override;

    QVariant data(int column, int role) const override;
    QString caption() const override;

protected:
    virtual QIcon icon() const;
};
