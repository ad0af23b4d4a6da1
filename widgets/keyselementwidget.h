#pragma once

#include "vieweditelementwidget.h"

class KeysElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    KeysElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~KeysElementWidget() override;
};
