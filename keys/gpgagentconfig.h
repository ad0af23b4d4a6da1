#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// Root's gpg-agent configuration. Every function throws std::runtime_error with a translated,
// UTF-8 encoded message on failure. Updates are read-merge-replace sequences: callers must not
// run two of them at the same time. Whatever reloads the agent runs gpg-connect-agent and blocks
// for up to gpgAgentReloadTimeoutMsecs: never call these functions on the GUI thread.

// A running agent answers a reload at once; one that does not within this time hangs.
constexpr int gpgAgentReloadTimeoutMsecs = 5000;

// Makes sure root's GnuPG home exists; a new one is private to its owner.
void ensureGnupgHome();

// Asks the running agent to reload its configuration, waiting at most timeoutMsecs.
void reloadGpgAgent(int timeoutMsecs = gpgAgentReloadTimeoutMsecs);

// The configuration text with the first line of each option replaced in place, every other line
// kept and the options not found appended; `existing` is the file's bytes.
QByteArray mergedGpgAgentConf(const QByteArray& existing, QHash<QString, QString> options);

// Sets the options in the configuration file, keeping every other line, and reloads the agent.
void writeGpgAgentConf(QHash<QString, QString> options);

void writeGpgAgentConfOption(QString key, QString value);

// Raises the pinentry and cache times for a signing run, so that the pass phrase is asked once.
// The administrator's own lines for them are recorded first (under /var/lib), so that a run
// that never ends (the console killed) is undone at the next start. The recording process
// holds a lock until it restores the times, so that a run still going on in another console
// is told from one that ended.
void raiseGpgAgentTimes();

// Puts back the lines the administrator had for the times (or none where there was none) and
// drops the record. Does nothing when no run raised them, or when a run in another console
// still holds them.
void restoreGpgAgentTimes();

// Whether a record of raised times exists: a run is going on, or one ended without restoring.
bool gpgAgentTimesRaised();

// Restores the times when the record says that a run raised them and no process runs it any
// more; returns whether it did.
bool restoreGpgAgentTimesOfEndedRun();
