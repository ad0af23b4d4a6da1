#pragma once

#include "command.h"

class KeyManager;

// "sign": the same signing run as the signing dialog, from the command line: the selection is
// listed and signed in parallel, the first failure stops the run unless told to keep going, and
// a run that signed everything exports the public key and merges the selection into the control
// file. Every run ends with a summary line.
class SignCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(SignCommand)
public:
    QString name() const override;
    QString synopsis() const override;
    QString summary() const override;

protected:
    QString description() const override;
    void addOptions(QCommandLineParser& parser) const override;
    int run(const QCommandLineParser& parser, CommandOutput& output) override;

private:
    // The fingerprint of the one usable signing key that the ID names (a fingerprint or the
    // end of one, as a key ID is).
    int resolveKey(KeyManager& keyManager, const QString& id, CommandOutput& output,
                   QString* fingerprint) const;
};
