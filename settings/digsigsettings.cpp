#include "digsigsettings.h"

#include "atomicfile.h"
#include "digsigconstants.h"
#include "sysroot.h"
#include "xattrcontrolfile.h"

#include <QHash>
#include <QObject>
#include <QRegularExpression>

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

QString quoted(const QString& text)
{
    return DigSig::shortened(text, DigSigSettings::quotedTextLimit);
}

// The value messages name their key literally so that each is one translatable text.
QString invalidValueMessage(const QString& key, const QString& rawValue)
{
    const QString value = quoted(rawValue);
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
    , _unlistedProblems(0)
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

QStringList DigSigSettings::invalidOptions() const
{
    return _invalidOptions;
}

QByteArray DigSigSettings::xattrControlBytes() const
{
    return _xattrControlBytes;
}

bool DigSigSettings::isXattrControlText() const
{
    return !_xattrControlBytes.contains('\0') && !_xattrControlBytes.contains('\r')
        && _xattrControl.toUtf8() == _xattrControlBytes;
}

QByteArray DigSigSettings::settingsFingerprint() const
{
    return _settingsFingerprint;
}

QByteArray DigSigSettings::xattrControlFingerprint() const
{
    return _xattrControlFingerprint;
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
    const AtomicFile::Contents file = AtomicFile::read(Sysroot::path(path), settingsFileSizeLimit);
    _settingsFingerprint = file.fingerprint;
    if (file.status != AtomicFile::Contents::Read)
        _invalidOptions = DigSig::keyList();
    switch (file.status) {
    case AtomicFile::Contents::Read:
        parseSettings(path, file.content);
        break;
    case AtomicFile::Contents::TooLarge:
        _errors << QObject::tr("file %1 is larger than %2 bytes, far larger than any settings "
                               "file; it was not read.")
                       .arg(path)
                       .arg(settingsFileSizeLimit);
        break;
    default:
        _errors << QObject::tr("Can't open file %1").arg(path);
        break;
    }
}

void DigSigSettings::parseSettings(const QString& path, const QByteArray& bytes)
{
    // Read as text: carriage returns go, a UTF-8 byte order mark is not part of the first line.
    QString text = QString::fromUtf8(QByteArray(bytes).replace('\r', QByteArray()));
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();

    QHash<QString, QString> values;
    for (const QString& line : qAsConst(lines)) {
        if (!validLinePattern().match(line).hasMatch()) {
            report(QObject::tr("file %1 has invalid line: %2").arg(path, quoted(line)));
            continue;
        }
        const QRegularExpressionMatch assignment = assignmentPattern().match(line);
        if (!assignment.hasMatch())
            continue;
        const QString key = assignment.captured(QStringLiteral("key"));
        if (!DigSig::keyList().contains(key)) {
            report(QObject::tr("file %1 contains invalid key: %2").arg(path, quoted(key)));
            continue;
        }
        values.insert(key, assignment.captured(QStringLiteral("value")));
    }

    for (const QString& key : DigSig::keyList()) {
        if (!values.contains(key))
            report(QObject::tr("file %1 does not contain the required option %2").arg(path, key));
    }

    _elfMode = readMode(DigSig::elfModeKey(), values.value(DigSig::elfModeKey()));
    _xattrMode = readMode(DigSig::xattrModeKey(), values.value(DigSig::xattrModeKey()));
    _ignoreXattrKeys
        = readFlag(DigSig::ignoreXattrKeysKey(), values.value(DigSig::ignoreXattrKeysKey()));
    _ignoreGost2001
        = readFlag(DigSig::ignoreGost2001Key(), values.value(DigSig::ignoreGost2001Key()));
    if (_unlistedProblems > 0)
        _errors << QObject::tr("file %1 has %2 more problems that are not listed.")
                       .arg(path)
                       .arg(_unlistedProblems);
}

void DigSigSettings::report(const QString& message)
{
    if (_errors.size() < listedProblemLimit)
        _errors << message;
    else
        ++_unlistedProblems;
}

int DigSigSettings::readMode(const QString& key, const QString& value)
{
    if (value == QLatin1String("0"))
        return Off;
    if (value == QLatin1String("1"))
        return On;
    if (value == QLatin1String("2"))
        return Debug;
    report(invalidValueMessage(key, value));
    _invalidOptions << key;
    return Invalid;
}

bool DigSigSettings::readFlag(const QString& key, const QString& value)
{
    if (value == QLatin1String("0"))
        return false;
    if (value == QLatin1String("1"))
        return true;
    report(invalidValueMessage(key, value));
    _invalidOptions << key;
    return false;
}

void DigSigSettings::readXattrControl()
{
    XattrControlFile file;
    const bool read = file.read();
    _xattrControlFingerprint = file.fingerprint();
    if (!read) {
        _errors << QObject::tr("file %1 can not be opened").arg(DigSig::controlFilePath());
        return;
    }
    _xattrControlBytes = file.content();
    // As a text file is read: carriage returns dropped, and nothing after a NUL byte.
    QByteArray text = _xattrControlBytes;
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    _xattrControl = QString::fromUtf8(text.replace('\r', QByteArray()));
}
