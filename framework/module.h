#pragma once

#include "covaframework_export.h"
#include "operationtype.h"

#include <QList>
#include <QObject>
#include <QVariantMap>

class ContextOperation;
class Element;
class ElementData;
class ElementWidget;

// A console module: owns its elements and their widgets and turns operations into work.
class COVAFRAMEWORK_EXPORT Module : public QObject
{
    Q_OBJECT
public:
    // The flag is part of the console's contract; this console shows every module.
    Module(const QString& name, QObject* parent, bool hidden);
    ~Module() override;

    QString name() const;
    int attribute() const;
    void setAttribute(int attribute);

    QList<Element*>& elements();
    const QList<Element*>& elements() const;

    QVariant getData(const QString& key) const;
    void setData(const QString& key, const QVariant& value);
    void removeData(const QString& key);

    void insertElementWidget(ElementWidget* widget);
    // Attaches every widget to the elements of its element type, with the main widget role.
    void connectElementWidgets();
    ElementWidget* elementWidget(const QString& elementType) const;
    QList<ElementWidget*> elementWidgets() const;

    // Effective user id 0, or any user while a sandbox root is in effect.
    static bool isAdministrator(Module const& module);
    static bool isAdministratorHierarchy(Module const& module);

    // The base implementation announces the operation and deletes data.
    virtual void performOperation(ContextOperation* operation, OperationType type,
                                  ElementData* data, int n);

Q_SIGNALS:
    void operationPerformed(ContextOperation* operation, int type, int n);

private:
    QString _name;
    int _attribute;
    QList<Element*> _elements;
    QList<ElementWidget*> _widgets;
    QVariantMap _data;
};
