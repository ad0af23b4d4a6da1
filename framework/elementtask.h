#pragma once

#include "abstracttask.h"

class Element;

// A task about one element of the console tree.
class COVAFRAMEWORK_EXPORT ElementTask : public AbstractTask
{
public:
    ElementTask(Element* element, ElementData* data);
    ~ElementTask() override;

    Element* element() const;

private:
    Element* _element;
};
