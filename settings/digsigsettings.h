#pragma once

#include "verificationmode.h"

#include <QString>
#include <QStringList>

class DigSigConfigManager;

// A snapshot of the settings file and the control file as read, with one translated line per
// problem met while reading. Constructing it reads both files; reading never throws.
class DigSigSettings
{
public:
    explicit DigSigSettings(DigSigConfigManager* manager);

    int elfMode() const;
    int xattrMode() const;
    bool ignoreXattrKeys() const;
    bool ignoreGost2001() const;
    QString xattrControl() const;
    QStringList errors() const;

    bool isElfEnabled() const;
    bool isXattrEnabled() const;

private:
    void readSettings();
    void readXattrControl();
    int readMode(const QString& key, const QString& value);
    bool readFlag(const QString& key, const QString& value);

    int _elfMode;
    int _xattrMode;
    bool _ignoreXattrKeys;
    bool _ignoreGost2001;
    QString _xattrControl;
    QStringList _errors;
};
