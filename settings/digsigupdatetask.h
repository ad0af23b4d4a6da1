#pragma once

#include "updatetask.h"

class DigSigUpdateTask : public UpdateTask
{
public:
    DigSigUpdateTask(Element* element, ElementData* data);
    ~DigSigUpdateTask() override;

    void run() override;
    void afterRun() override;
};
