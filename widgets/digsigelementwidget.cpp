#include "digsigelementwidget.h"

DigSigElementWidget::DigSigElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent)
    : ViewEditElementWidget(module, permission, parent)
{
    _elementType = QStringLiteral("DigSig");
    _targetElementType = _elementType;
}

DigSigElementWidget::~DigSigElementWidget() = default;
