#pragma once

#include "elementtask.h"

class ImportQuillKeysTask : public ElementTask
{
public:
    ImportQuillKeysTask(Element* element, ElementData* data);
    ~ImportQuillKeysTask() override;

    void run() override;
    void afterRun() override;
};
