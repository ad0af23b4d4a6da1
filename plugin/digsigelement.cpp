#include "digsigelement.h"

#include "digsigconstants.h"

namespace {
// Role under which the console asks for an element's tree icon besides the decoration.
constexpr int TreeIconRole = Qt::UserRole + 7;
} // namespace

DigSigElement::DigSigElement(Module& module, bool (*permission)(Module const&))
    : OrdinaryElement(module, permission)
{
    _nodeType = QStringLiteral("DigSig");
    _parentType = QStringLiteral("LocalComputer");
    _level = 2;
    _elementType = _nodeType;
    _displayName = tr("Digital signature management");
}

DigSigElement::~DigSigElement() = default;

QVariant DigSigElement::data(int column, int role) const
{
    if (column == 0 && (role == Qt::DecorationRole || role == TreeIconRole))
        return icon();
    return Element::data(column, role);
}

QString DigSigElement::caption() const
{
    return tr("Digital signature management settings");
}

QIcon DigSigElement::icon() const
{
    return DigSig::settingsElementIcon();
}
