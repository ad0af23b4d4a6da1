#pragma once

#include "covaframework_export.h"
#include "operationtype.h"

#include <QObject>
#include <QVariant>

class ElementData;
class ElementWidget;

// An item of the console tree. Column 0 shows the display name of its tree node.
class COVAFRAMEWORK_EXPORT Element : public QObject
{
    Q_OBJECT
public:
    explicit Element(QObject* parent = nullptr);
    ~Element() override;

    virtual QVariant data(int column, int role) const;
    virtual OperationTypes availableOperations() const;
    virtual void performOperation(OperationType type, ElementData* data, int n);
    virtual QString caption() const;
    virtual ElementWidget* elementWidget(ElementWidgetRole role);
};
