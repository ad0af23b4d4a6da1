#pragma once

#include "module.h"

class DigSigPlugin;

// The one module of the plug-in: three elements, their widgets, and the settings element's
// operations turned into tasks.
class DigSigModule : public Module
{
    Q_OBJECT
public:
    explicit DigSigModule(QObject* parent);
    ~DigSigModule() override;

    void performOperation(ContextOperation* operation, OperationType type, ElementData* data,
                          int n) override;
};
