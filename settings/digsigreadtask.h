#pragma once

#include "readpropertyheavytask.h"

class DigSigReadTask : public ReadPropertyHeavyTask
{
public:
    DigSigReadTask(Element* element);
    ~DigSigReadTask() override;

    void run() override;
    void afterRun() override;
};
