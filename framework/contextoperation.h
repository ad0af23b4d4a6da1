#pragma once

#include "covaframework_export.h"

#include <QString>

class Element;
class ElementWidget;
class Module;

// What an operation is about: an element of the tree (context 0) or an element widget (context 1).
class COVAFRAMEWORK_EXPORT ContextOperation
{
public:
    enum ContextType {
        ElementContextType = 0,
        WidgetContextType = 1,
    };

    // Element type that matches every element.
    static const QString allElementType;

    ContextOperation(Module& module, bool (*permission)(Module const&), ContextType type);
    virtual ~ContextOperation();
    ContextOperation(const ContextOperation&) = delete;
    ContextOperation& operator=(const ContextOperation&) = delete;

    int contextType() const;
    virtual Element* elementContext() const = 0;
    virtual ElementWidget* elementWidgetContext() const = 0;
    QString elementType() const;
    Module* module() const;
    bool isEditable() const;

protected:
    QString _elementType;
    // Element types this context may act on; the element type itself unless widened.
    QString _targetElementType;

private:
    Module& _module;
    bool (*_permission)(Module const&);
    ContextType _contextType;
};
