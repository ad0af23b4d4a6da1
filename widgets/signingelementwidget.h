#pragma once

#include "vieweditelementwidget.h"

class SigningElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    SigningElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~SigningElementWidget() override;
};
