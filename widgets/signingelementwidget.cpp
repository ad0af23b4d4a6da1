#include "signingelementwidget.h"

SigningElementWidget::SigningElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent)
    : ViewEditElementWidget(module, permission, parent)
{
    _elementType = QStringLiteral("DigSigSigning");
    _targetElementType = _elementType;
}

SigningElementWidget::~SigningElementWidget() = default;
