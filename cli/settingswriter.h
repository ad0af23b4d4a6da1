#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QStringList>

class CommandOutput;
class DigSigElementData;

// Writes the settings file and the control file through the same code as the settings page's
// Apply (validation, line limit, refusal of a file changed since it was read), then rebuilds the
// initial RAM file system with /boot remounted around it, or records the rebuild as pending
// when asked to leave it out.
class SettingsWriter
{
    Q_DECLARE_TR_FUNCTIONS(SettingsWriter)
public:
    SettingsWriter(CommandOutput& output, bool rebuild);

    // Returns ExitDone, or ExitEnvironment after reporting why.
    int write(DigSigElementData& data);
    // For a command that found nothing to change: a rebuild an earlier run left pending is
    // done now (unless rebuilds are left out). Returns like write().
    int rebuildIfPending();
    // For what changed the files by other means (a signing run's merge): rebuilds, or records
    // the rebuild as pending when rebuilds are left out. Returns like write().
    int rebuildAfterChange();

    // Whether write() or rebuildIfPending() changed anything on the system.
    bool changed() const { return _changed; }
    // The "rebuilt", "rebuildPending" and "warnings" members of a command's JSON.
    QJsonObject json() const;
    // Tells a person what happened to the rebuild.
    void report() const;

private:
    int rebuild();

    CommandOutput& _output;
    const bool _rebuild;
    bool _changed = false;
    bool _rebuilt = false;
    bool _leftOut = false;
    QStringList _warnings;
};
