#pragma once

#include "abstracttask.h"

class UpdateInitramfsTask : public AbstractTask
{
public:
    UpdateInitramfsTask(ElementData* data);
    ~UpdateInitramfsTask() override;

    void run() override;
    void afterRun() override;
};
