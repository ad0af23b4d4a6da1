#pragma once

#include "vieweditelementwidget.h"

class DigSigElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    DigSigElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~DigSigElementWidget() override;
};
