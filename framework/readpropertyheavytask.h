#pragma once

#include "elementtask.h"

// Reads an element's state; the reading may take long and runs off the GUI thread.
class COVAFRAMEWORK_EXPORT ReadPropertyHeavyTask : public ElementTask
{
public:
    explicit ReadPropertyHeavyTask(Element* element);
    ~ReadPropertyHeavyTask() override;
};
