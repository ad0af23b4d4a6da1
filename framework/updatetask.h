#pragma once

#include "elementtask.h"

// Writes an element's edited state.
class COVAFRAMEWORK_EXPORT UpdateTask : public ElementTask
{
public:
    UpdateTask(Element* element, ElementData* data);
    ~UpdateTask() override;
};
