#pragma once

#include "command.h"

// "verify": verifies the signatures of every file under the paths, several files at once, and
// tells for each file its ELF and extended-attribute state.
class VerifyCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(VerifyCommand)
public:
    QString name() const override;
    QString synopsis() const override;
    QString summary() const override;

protected:
    QString description() const override;
    void addOptions(QCommandLineParser& parser) const override;
    int run(const QCommandLineParser& parser, CommandOutput& output) override;
};
