#include "digsigplugin.h"

#include "digsigmodule.h"
#include "translationloader.h"

#include <QCoreApplication>

DigSigPlugin::DigSigPlugin(QObject* parent)
    : Plugin(parent)
{
    setAttribute(1);
    setName(tr("DigSigPlugin"));
    setDescription(tr("Digital signature management"));
    modules().append(new DigSigModule(this));
}

DigSigPlugin::~DigSigPlugin() = default;

bool DigSigPlugin::isValid() const
{
    return true;
}

Q_COREAPP_STARTUP_FUNCTION(loadTranslations)
