#pragma once

#include "elementtask.h"

// Points root's gpg-agent at the graphical pinentry, so that signing can ask for pass phrases.
class AnalizPinentryTask : public ElementTask
{
public:
    AnalizPinentryTask(Element* element, ElementData* data);
    ~AnalizPinentryTask() override;

    void run() override;
    void afterRun() override;

private:
    bool isAdministrator() const;
};
