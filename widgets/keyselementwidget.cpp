#include "keyselementwidget.h"

KeysElementWidget::KeysElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent)
    : ViewEditElementWidget(module, permission, parent)
{
    _elementType = QStringLiteral("DigSigKeys");
    _targetElementType = _elementType;
}

KeysElementWidget::~KeysElementWidget() = default;
