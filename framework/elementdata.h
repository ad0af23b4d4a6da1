#pragma once

#include "covaframework_export.h"

// Polymorphic record handed from a widget to a task; the task that receives it owns it.
class COVAFRAMEWORK_EXPORT ElementData
{
public:
    ElementData() = default;
    virtual ~ElementData();
    ElementData(const ElementData&) = delete;
    ElementData& operator=(const ElementData&) = delete;

    virtual void configureParams();
};
