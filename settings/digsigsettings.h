#pragma once

#include "verificationmode.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class DigSigConfigManager;

// A snapshot of the settings file and the control file as read, with one translated line per
// problem met while reading and the fingerprints (AtomicFile) of both files, so that a writer can
// refuse to overwrite what changed since. Constructing it reads both files; reading never throws.
class DigSigSettings
{
public:
    // A valid settings file holds four short lines; one this large is refused unread.
    static constexpr int settingsFileSizeLimit = 1024 * 1024;
    // At most this many problems of the settings file are listed, then one line with the rest.
    static constexpr int listedProblemLimit = 50;
    // Lines and values quoted in a message are cut to this many characters.
    static constexpr int quotedTextLimit = 200;

    explicit DigSigSettings(DigSigConfigManager* manager);

    int elfMode() const;
    int xattrMode() const;
    bool ignoreXattrKeys() const;
    bool ignoreGost2001() const;
    QString xattrControl() const;
    QStringList errors() const;
    // The options of the settings file (DigSig::keyList() order) that have no valid value:
    // missing, invalid, or all of them when the file could not be read. Writing the settings
    // without a new value for each of them would silently put a default in its place.
    QStringList invalidOptions() const;
    // The control file's bytes as they are, also those the text above cannot carry.
    QByteArray xattrControlBytes() const;
    // Whether the control file is text that the string above carries byte for byte: UTF-8
    // without NUL bytes or carriage returns.
    bool isXattrControlText() const;
    QByteArray settingsFingerprint() const;
    QByteArray xattrControlFingerprint() const;

    bool isElfEnabled() const;
    bool isXattrEnabled() const;

private:
    void readSettings();
    void parseSettings(const QString& path, const QByteArray& bytes);
    void readXattrControl();
    int readMode(const QString& key, const QString& value);
    bool readFlag(const QString& key, const QString& value);
    void report(const QString& message);

    int _elfMode;
    int _xattrMode;
    bool _ignoreXattrKeys;
    bool _ignoreGost2001;
    QString _xattrControl;
    QStringList _errors;
    QStringList _invalidOptions;
    QByteArray _xattrControlBytes;
    QByteArray _settingsFingerprint;
    QByteArray _xattrControlFingerprint;
    int _unlistedProblems;
};
