#pragma once

#include "readpropertyheavytask.h"

// Validates the settings file and the control file, then has the settings widget refill itself.
class DigSigReadTask : public ReadPropertyHeavyTask
{
public:
    explicit DigSigReadTask(Element* element);
    ~DigSigReadTask() override;

    void run() override;
    void afterRun() override;
};
