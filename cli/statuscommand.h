#pragma once

#include "command.h"

// "status": what the settings file and the control file hold, the trusted key files, and the
// state of /boot, of the rebuild and of gpg-agent's times.
class StatusCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(StatusCommand)
public:
    QString name() const override;
    QString synopsis() const override;
    QString summary() const override;

protected:
    QString description() const override;
    void addOptions(QCommandLineParser& parser) const override;
    int run(const QCommandLineParser& parser, CommandOutput& output) override;
};
