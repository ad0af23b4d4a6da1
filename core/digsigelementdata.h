#pragma once

#include "elementdata.h"
#include "verificationmode.h"

#include <QByteArray>
#include <QString>

// The edited settings carried from the settings widget to the update task, with what the widget
// read: the fingerprints (AtomicFile) of both files, so that the update refuses to overwrite a
// file changed since, and whether the control file is to be left as it is.
class DigSigElementData : public ElementData
{
public:
    DigSigElementData();
    ~DigSigElementData() override;

    int elfMode() const;
    void setElfMode(int mode);
    int xattrMode() const;
    void setXattrMode(int mode);
    bool ignoreXattrKeys() const;
    void setIgnoreXattrKeys(bool ignore);
    bool ignoreGost2001() const;
    void setIgnoreGost2001(bool ignore);
    QString xattrControl() const;
    void setXattrControl(const QString& text);
    // Empty: not checked.
    QByteArray settingsFingerprint() const;
    void setSettingsFingerprint(const QByteArray& fingerprint);
    QByteArray xattrControlFingerprint() const;
    void setXattrControlFingerprint(const QByteArray& fingerprint);
    // The control file is not written (its text was not edited, or could not be shown as it is).
    bool keepXattrControl() const;
    void setKeepXattrControl(bool keep);
    // The settings file is not written (only the control text changes); it is still checked.
    bool keepSettings() const;
    void setKeepSettings(bool keep);

private:
    int _elfMode;
    int _xattrMode;
    bool _ignoreXattrKeys;
    bool _ignoreGost2001;
    QString _xattrControl;
    QByteArray _settingsFingerprint;
    QByteArray _xattrControlFingerprint;
    bool _keepXattrControl;
    bool _keepSettings;
};
