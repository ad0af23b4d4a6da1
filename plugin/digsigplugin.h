#pragma once

#include "plugin.h"

// The plug-in object the console loads; it contributes the digital signature module.
class DigSigPlugin : public Plugin, public KiroAdminCovaPluginInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KiroAdminCovaPluginInterface_iid)
    Q_INTERFACES(KiroAdminCovaPluginInterface)
public:
    explicit DigSigPlugin(QObject* parent = nullptr);
    ~DigSigPlugin() override;

    bool isValid() const override;
};
