#pragma once

#include "abstracttask.h"

// Only rebuilds the initial RAM file system (after a signing run).
class UpdateInitramfsTask : public AbstractTask
{
public:
    explicit UpdateInitramfsTask(ElementData* data);
    ~UpdateInitramfsTask() override;

    void run() override;
    void afterRun() override;
};
