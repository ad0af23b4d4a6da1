#pragma once

#include <QHash>
#include <QString>

// Root's gpg-agent configuration. Every function throws std::runtime_error with a translated,
// UTF-8 encoded message on failure. Updates are read-merge-replace sequences: callers must not
// run two of them at the same time.

// Makes sure root's GnuPG home exists; a new one is private to its owner.
void ensureGnupgHome();

// Asks the running agent to reload its configuration.
void reloadGpgAgent();

// The configuration text with the first line of each option replaced in place, every other line
// kept and the options not found appended; `existing` is the file's bytes.
QByteArray mergedGpgAgentConf(const QByteArray& existing, QHash<QString, QString> options);

// Sets the options in the configuration file, keeping every other line, and reloads the agent.
void writeGpgAgentConf(QHash<QString, QString> options);

void writeGpgAgentConfOption(QString key, QString value);

// Raises the pinentry and cache times for a signing run, so that the pass phrase is asked once.
void raiseGpgAgentTimes();

// Puts back the times a signing run raised.
void restoreGpgAgentTimes();
