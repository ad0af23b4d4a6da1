#include "digsigelementdata.h"

DigSigElementData::DigSigElementData()
    : _elfMode(Invalid)
    , _xattrMode(Invalid)
    , _ignoreXattrKeys(false)
    , _ignoreGost2001(false)
    , _keepXattrControl(false)
    , _keepSettings(false)
{ }

DigSigElementData::~DigSigElementData() = default;

int DigSigElementData::elfMode() const
{
    return _elfMode;
}

void DigSigElementData::setElfMode(int mode)
{
    _elfMode = mode;
}

int DigSigElementData::xattrMode() const
{
    return _xattrMode;
}

void DigSigElementData::setXattrMode(int mode)
{
    _xattrMode = mode;
}

bool DigSigElementData::ignoreXattrKeys() const
{
    return _ignoreXattrKeys;
}

void DigSigElementData::setIgnoreXattrKeys(bool ignore)
{
    _ignoreXattrKeys = ignore;
}

bool DigSigElementData::ignoreGost2001() const
{
    return _ignoreGost2001;
}

void DigSigElementData::setIgnoreGost2001(bool ignore)
{
    _ignoreGost2001 = ignore;
}

QString DigSigElementData::xattrControl() const
{
    return _xattrControl;
}

void DigSigElementData::setXattrControl(const QString& text)
{
    _xattrControl = text;
}

QByteArray DigSigElementData::settingsFingerprint() const
{
    return _settingsFingerprint;
}

void DigSigElementData::setSettingsFingerprint(const QByteArray& fingerprint)
{
    _settingsFingerprint = fingerprint;
}

QByteArray DigSigElementData::xattrControlFingerprint() const
{
    return _xattrControlFingerprint;
}

void DigSigElementData::setXattrControlFingerprint(const QByteArray& fingerprint)
{
    _xattrControlFingerprint = fingerprint;
}

bool DigSigElementData::keepXattrControl() const
{
    return _keepXattrControl;
}

void DigSigElementData::setKeepXattrControl(bool keep)
{
    _keepXattrControl = keep;
}

bool DigSigElementData::keepSettings() const
{
    return _keepSettings;
}

void DigSigElementData::setKeepSettings(bool keep)
{
    _keepSettings = keep;
}
