#pragma once

#include "elementtask.h"

class AnalizPinentryTask : public ElementTask
{
public:
    AnalizPinentryTask(Element* element, ElementData* data);
    ~AnalizPinentryTask() override;

    void run() override;
    void afterRun() override;
};
