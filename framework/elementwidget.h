#pragma once

#include "contextoperation.h"
#include "covaframework_export.h"
#include "operationtype.h"

#include <QPointer>
#include <QWidget>

class Element;
class Module;

// The widget the console shows for an element; the module owns it.
class COVAFRAMEWORK_EXPORT ElementWidget : public QWidget, public ContextOperation
{
    Q_OBJECT
public:
    ElementWidget(Module& module, bool (*permission)(Module const&), QWidget* parent);
    ~ElementWidget() override;

    void setElement(Element* element, int role);
    Element* element() const;
    int role() const;
    QString caption() const;

    Element* elementContext() const override;
    ElementWidget* elementWidgetContext() const override;

private:
    QPointer<Element> _element;
    int _role;
};
