#pragma once

#include "command.h"

#include <QByteArray>
#include <QList>

// "control": lists the extended-attribute control file, or adds templates to it and removes
// them, through the same code as the settings page's Apply. Adding what is there, or removing
// what is not, changes nothing and says so.
class ControlCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(ControlCommand)
public:
    QString name() const override;
    QString synopsis() const override;
    QString summary() const override;

protected:
    QString description() const override;
    void addOptions(QCommandLineParser& parser) const override;
    int run(const QCommandLineParser& parser, CommandOutput& output) override;

private:
    int list(const QCommandLineParser& parser, CommandOutput& output) const;
    int change(const QCommandLineParser& parser, CommandOutput& output, bool adding) const;
    // The templates a path argument stands for: "//FILE" and "FOLDER/" as written, a plain
    // absolute path the template of what it names now (when adding) or either template (when
    // removing). A usage error for anything else.
    int templatesFor(const QString& argument, bool adding, CommandOutput& output,
                     QStringList* templates) const;
};
