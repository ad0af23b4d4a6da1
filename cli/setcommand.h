#pragma once

#include "command.h"

#include <QJsonObject>

#include <array>

class DigSigSettings;

// "set": changes the verification modes and the two flags of the settings file. Asking for what
// is already there changes nothing and says so; switching ELF verification to On first checks
// that the programs and libraries are signed.
class SetCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(SetCommand)
public:
    QString name() const override;
    QString synopsis() const override;
    QString summary() const override;

protected:
    QString description() const override;
    void addOptions(QCommandLineParser& parser) const override;
    int run(const QCommandLineParser& parser, CommandOutput& output) override;

private:
    // The four options in the order of the settings file: the two modes (VerificationMode),
    // then the two flags (0 or 1).
    using Values = std::array<int, 4>;

    // Fills in what the command line asks for; a usage error otherwise.
    int requested(const QCommandLineParser& parser, CommandOutput& output, Values* values,
                  QStringList* given) const;
    // The check before ELF verification is switched to On: refuses (ExitFilesFailed) when an
    // ELF file in the program folders, or under --audit, lacks a good signature.
    // Passed, it tells what it found in `findings` and how many files it checked.
    int checkExecutables(const QCommandLineParser& parser, CommandOutput& output, QString* findings,
                         qint64* checked) const;
    static Values readValues(const DigSigSettings& settings);
    // Options in `invalid` had no valid value: null.
    static QJsonObject json(const Values& values, const QStringList& invalid = {});
    static QString text(int option, int value);
    void reportChanges(CommandOutput& output, const Values& before, const Values& after,
                       const QStringList& invalid) const;
};
