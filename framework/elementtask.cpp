#include "elementtask.h"

ElementTask::ElementTask(Element* element, ElementData* data)
    : AbstractTask(data)
    , _element(element)
{ }

ElementTask::~ElementTask() = default;

Element* ElementTask::element() const
{
    return _element;
}
