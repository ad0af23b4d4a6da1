#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Plugin;
class QPluginLoader;

// Loads every console plug-in of a directory whose interface identifier is the console's.
// A library that fails to load is remembered with Qt's reason; the others still load.
class PluginCatalog
{
public:
    PluginCatalog();
    ~PluginCatalog();
    PluginCatalog(const PluginCatalog&) = delete;
    PluginCatalog& operator=(const PluginCatalog&) = delete;

    static QString interfaceIdentifier();
    // The build's plug-in directory when running from the build tree, else the installed one.
    static QString defaultDirectory();

    void load(const QString& directory);
    QList<Plugin*> plugins() const;
    QStringList errors() const;

private:
    void loadFile(const QString& path);

    QList<QPluginLoader*> _loaders;
    QList<Plugin*> _plugins;
    QStringList _errors;
};
