#pragma once

#include <QCoreApplication>
#include <QJsonValue>
#include <QString>

// How the command line writes the values of the settings file: modes as off, debug and on,
// flags as yes and no; JSON writes modes as those words too (null for none) and flags as
// booleans.
class SettingsValues
{
    Q_DECLARE_TR_FUNCTIONS(SettingsValues)
public:
    // False for anything but off, debug and on (any case).
    static bool parseMode(const QString& word, int* mode);
    static bool parseFlag(const QString& word, bool* flag);

    static QJsonValue modeJson(int mode);
    // For people, translated.
    static QString modeText(int mode);
    static QString flagText(bool flag);

private:
    SettingsValues() = delete;
};
