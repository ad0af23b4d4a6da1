#pragma once

#include "plugin.h"

// The plug-in object the console loads; it contributes the digital signature module.
class DigSigPlugin : public Plugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KiroAdminCovaPluginInterface_iid)
public:
    explicit DigSigPlugin(QObject* parent = nullptr);
    ~DigSigPlugin() override;

    bool isValid() const override;
};
