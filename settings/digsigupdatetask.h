#pragma once

#include "updatetask.h"

// Writes the edited settings and rebuilds the initial RAM file system; afterwards has the
// settings read back and, after a non-failed update, lets the widget ask for a reboot.
class DigSigUpdateTask : public UpdateTask
{
public:
    DigSigUpdateTask(Element* element, ElementData* data);
    ~DigSigUpdateTask() override;

    void run() override;
    void afterRun() override;
};
