#include "settingsvalues.h"

#include "verificationmode.h"

bool SettingsValues::parseMode(const QString& word, int* mode)
{
    const QString lower = word.toLower();
    if (lower == QLatin1String("off"))
        *mode = Off;
    else if (lower == QLatin1String("debug"))
        *mode = Debug;
    else if (lower == QLatin1String("on"))
        *mode = On;
    else
        return false;
    return true;
}

bool SettingsValues::parseFlag(const QString& word, bool* flag)
{
    const QString lower = word.toLower();
    if (lower != QLatin1String("yes") && lower != QLatin1String("no"))
        return false;
    *flag = lower == QLatin1String("yes");
    return true;
}

QJsonValue SettingsValues::modeJson(int mode)
{
    switch (mode) {
    case Off:
        return QStringLiteral("off");
    case Debug:
        return QStringLiteral("debug");
    case On:
        return QStringLiteral("on");
    default:
        return QJsonValue::Null;
    }
}

QString SettingsValues::modeText(int mode)
{
    switch (mode) {
    case Off:
        return tr("Off");
    case Debug:
        return tr("Debug");
    case On:
        return tr("On");
    default:
        return tr("not set");
    }
}

QString SettingsValues::flagText(bool flag)
{
    return flag ? tr("yes") : tr("no");
}
