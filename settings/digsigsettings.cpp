#include "digsigsettings.h"

#include "digsigconstants.h"
#include "sysroot.h"

#include <QFile>
#include <QHash>
#include <QObject>
#include <QRegularExpression>
#include <QTextStream>

namespace {

const QRegularExpression& validLinePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^([[:space:]]*|[[:space:]]*#.*|[[:space:]]*[_A-Z\\d]+=\\d+[[:space:]]*)$"));
    return pattern;
}

const QRegularExpression& assignmentPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^[[:space:]]*(?<key>[_A-Z\\d]+)=(?<value>\\d+)[[:space:]]*$"));
    return pattern;
}

// The value messages name their key literally so that each is one translatable text.
QString invalidValueMessage(const QString& key, const QString& value)
{
    if (key == DigSig::elfModeKey())
        return QObject::tr("DIGSIG_ELF_MODE value \"%1\" is invalid").arg(value);
    if (key == DigSig::xattrModeKey())
        return QObject::tr("DIGSIG_XATTR_MODE value \"%1\" is invalid").arg(value);
    if (key == DigSig::ignoreXattrKeysKey())
        return QObject::tr("DIGSIG_IGNORE_XATTR_KEYS value \"%1\" is invalid").arg(value);
    return QObject::tr("DIGSIG_IGNORE_GOST2001 value \"%1\" is invalid").arg(value);
}

} // namespace

DigSigSettings::DigSigSettings(DigSigConfigManager*)
    : _elfMode(Invalid)
    , _xattrMode(Invalid)
    , _ignoreXattrKeys(false)
    , _ignoreGost2001(false)
{
    readSettings();
    readXattrControl();
}

int DigSigSettings::elfMode() const
{
    return _elfMode;
}

int DigSigSettings::xattrMode() const
{
    return _xattrMode;
}

bool DigSigSettings::ignoreXattrKeys() const
{
    return _ignoreXattrKeys;
}

bool DigSigSettings::ignoreGost2001() const
{
    return _ignoreGost2001;
}

QString DigSigSettings::xattrControl() const
{
    return _xattrControl;
}

QStringList DigSigSettings::errors() const
{
    return _errors;
}

bool DigSigSettings::isElfEnabled() const
{
    return isVerificationEnabled(_elfMode);
}

bool DigSigSettings::isXattrEnabled() const
{
    return isVerificationEnabled(_xattrMode);
}

void DigSigSettings::readSettings()
{
    const QString path = DigSig::settingsFilePath();
    QFile file(Sysroot::path(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        _errors << QObject::tr("Can't open file %1").arg(path);
        return;
    }

    QHash<QString, QString> values;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (!validLinePattern().match(line).hasMatch()) {
            _errors << QObject::tr("file %1 has invalid line: %2").arg(path, line);
            continue;
        }
        const QRegularExpressionMatch assignment = assignmentPattern().match(line);
        if (!assignment.hasMatch())
            continue;
        const QString key = assignment.captured(QStringLiteral("key"));
        if (!DigSig::keyList().contains(key)) {
            _errors << QObject::tr("file %1 contains invalid key: %2").arg(path, key);
            continue;
        }
        values.insert(key, assignment.captured(QStringLiteral("value")));
    }

    for (const QString& key : DigSig::keyList()) {
        if (!values.contains(key))
            _errors
                << QObject::tr("file %1 does not contain the required option %2").arg(path, key);
    }

    _elfMode = readMode(DigSig::elfModeKey(), values.value(DigSig::elfModeKey()));
    _xattrMode = readMode(DigSig::xattrModeKey(), values.value(DigSig::xattrModeKey()));
    _ignoreXattrKeys
        = readFlag(DigSig::ignoreXattrKeysKey(), values.value(DigSig::ignoreXattrKeysKey()));
    _ignoreGost2001
        = readFlag(DigSig::ignoreGost2001Key(), values.value(DigSig::ignoreGost2001Key()));
}

int DigSigSettings::readMode(const QString& key, const QString& value)
{
    if (value == QLatin1String("0"))
        return Off;
    if (value == QLatin1String("1"))
        return On;
    if (value == QLatin1String("2"))
        return Debug;
    _errors << invalidValueMessage(key, value);
    return Invalid;
}

bool DigSigSettings::readFlag(const QString& key, const QString& value)
{
    if (value == QLatin1String("0"))
        return false;
    if (value == QLatin1String("1"))
        return true;
    _errors << invalidValueMessage(key, value);
    return false;
}

void DigSigSettings::readXattrControl()
{
    const QString path = DigSig::controlFilePath();
    QFile file(Sysroot::path(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        _errors << QObject::tr("file %1 can not be opened").arg(path);
        return;
    }
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    _xattrControl = QString::fromUtf8(bytes);
}
