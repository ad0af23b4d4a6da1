#pragma once

#include <QString>

class QCoreApplication;

// What the console sets up on its application object before any window: the catalogues of Qt
// and of the console itself in the system's language, and the name its windows and message
// boxes carry.
class ConsoleSetup
{
public:
    // The build's catalogue directory when running from the build tree, else the installed one.
    static QString defaultTranslationsDirectory();
    static void installTranslations(QCoreApplication* app, const QString& directory);
    static void nameApplication();
};
