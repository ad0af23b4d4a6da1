#pragma once

#include "covaframework_export.h"

#include <QList>
#include <QObject>

class Module;

// The object a console plug-in library exports; it owns the modules it lists.
class COVAFRAMEWORK_EXPORT Plugin : public QObject
{
    Q_OBJECT
public:
    explicit Plugin(QObject* parent = nullptr);
    ~Plugin() override;

    virtual bool isValid() const;

    QString name() const;
    void setName(const QString& name);
    QString description() const;
    void setDescription(const QString& description);
    int attribute() const;
    void setAttribute(int attribute);

    QList<Module*>& modules();

private:
    QString _name;
    QString _description;
    int _attribute;
    QList<Module*> _modules;
};

#define KiroAdminCovaPluginInterface_iid "kiro-admin-cova/0.0"

// Marks a plug-in object as one of the console's; a plug-in answers this identifier through
// qt_metacast by listing it in Q_INTERFACES.
class KiroAdminCovaPluginInterface
{
};
Q_DECLARE_INTERFACE(KiroAdminCovaPluginInterface, KiroAdminCovaPluginInterface_iid)
