#include "plugincatalog.h"

#include "plugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>

PluginCatalog::PluginCatalog() = default;

PluginCatalog::~PluginCatalog()
{
    // Plug-in objects (and with them modules, elements and widgets) go before their libraries.
    for (QPluginLoader* loader : qAsConst(_loaders))
        delete loader->instance();
    qDeleteAll(_loaders);
}

QString PluginCatalog::interfaceIdentifier()
{
    return QStringLiteral(KiroAdminCovaPluginInterface_iid);
}

QString PluginCatalog::defaultDirectory()
{
    const QDir applicationDir(QCoreApplication::applicationDirPath());
    const QString buildTree = applicationDir.absoluteFilePath(QStringLiteral("../plugins"));
    if (QDir(buildTree).exists())
        return QDir::cleanPath(buildTree);
    return QDir::cleanPath(
        applicationDir.absoluteFilePath(QStringLiteral(COVA_INSTALLED_PLUGIN_DIR)));
}

void PluginCatalog::load(const QString& directory)
{
    const QDir dir(directory);
    if (!dir.exists()) {
        _errors.append(
            QCoreApplication::translate("PluginCatalog", "Plug-in directory %1 does not exist.")
                .arg(QDir::toNativeSeparators(directory)));
        return;
    }
    const QStringList files = dir.entryList({QStringLiteral("*.so")}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        loadFile(dir.absoluteFilePath(file));
}

void PluginCatalog::loadFile(const QString& path)
{
    auto* loader = new QPluginLoader(path);
    const QString iid = loader->metaData().value(QStringLiteral("IID")).toString();
    if (iid != interfaceIdentifier()) {
        const QString reason = loader->metaData().isEmpty()
            ? loader->errorString()
            : QCoreApplication::translate("PluginCatalog",
                                          "interface identifier \"%1\" is not \"%2\"")
                  .arg(iid, interfaceIdentifier());
        _errors.append(QCoreApplication::translate("PluginCatalog", "%1: %2").arg(path, reason));
        delete loader;
        return;
    }
    auto* plugin = qobject_cast<Plugin*>(loader->instance());
    if (!plugin || !plugin->isValid()) {
        const QString reason = plugin
            ? QCoreApplication::translate("PluginCatalog", "invalid plug-in")
            : loader->errorString();
        _errors.append(QCoreApplication::translate("PluginCatalog", "%1: %2").arg(path, reason));
        delete loader;
        return;
    }
    _loaders.append(loader);
    _plugins.append(plugin);
}

QList<Plugin*> PluginCatalog::plugins() const
{
    return _plugins;
}

QStringList PluginCatalog::errors() const
{
    return _errors;
}
