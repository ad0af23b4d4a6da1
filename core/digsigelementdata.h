#pragma once

#include "elementdata.h"
#include "verificationmode.h"

#include <QString>

// The edited settings carried from the settings widget to the update task.
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

private:
    int _elfMode;
    int _xattrMode;
    bool _ignoreXattrKeys;
    bool _ignoreGost2001;
    QString _xattrControl;
};
