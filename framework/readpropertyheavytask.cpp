#include "readpropertyheavytask.h"

ReadPropertyHeavyTask::ReadPropertyHeavyTask(Element* element)
    : ElementTask(element, nullptr)
{ }

ReadPropertyHeavyTask::~ReadPropertyHeavyTask() = default;
