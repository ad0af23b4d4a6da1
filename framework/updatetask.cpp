#include "updatetask.h"

UpdateTask::UpdateTask(Element* element, ElementData* data)
    : ElementTask(element, data)
{ }

UpdateTask::~UpdateTask() = default;
