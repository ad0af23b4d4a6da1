#include "settingswriter.h"

#include "commandoutput.h"
#include "digsigconfigmanager.h"
#include "digsigelementdata.h"
#include "exitcode.h"
#include "initramfsrebuild.h"

#include <QJsonArray>

SettingsWriter::SettingsWriter(CommandOutput& output, bool rebuild)
    : _output(output)
    , _rebuild(rebuild)
{ }

int SettingsWriter::write(DigSigElementData& data)
{
    // The settings page's own message would send the administrator to its Refresh button.
    const QStringList changed = DigSigConfigManager::changedSinceRead(
        data.settingsFingerprint(), data.xattrControlFingerprint());
    for (const QString& path : changed)
        _output.error(tr("%1 has changed since it was read; nothing was written. Run the command "
                         "again to apply it to what the file holds now.")
                          .arg(path));
    if (!changed.isEmpty())
        return ExitEnvironment;
    const QStringList errors = DigSigConfigManager::instance()->save(data);
    if (!errors.isEmpty()) {
        for (const QString& error : errors)
            _output.error(error);
        return ExitEnvironment;
    }
    _changed = true;
    return rebuildAfterChange();
}

int SettingsWriter::rebuildAfterChange()
{
    if (_rebuild)
        return rebuild();
    _leftOut = true;
    const QString error = InitramfsRebuild::markPending();
    if (!error.isEmpty())
        _output.warning(error);
    return ExitDone;
}

int SettingsWriter::rebuildIfPending()
{
    if (!_rebuild || !InitramfsRebuild::isPending())
        return ExitDone;
    _changed = true;
    return rebuild();
}

int SettingsWriter::rebuild()
{
    QStringList errors;
    InitramfsRebuild::Options options;
    options.whenWaiting = [this] {
        _output.notice(tr("Another rebuild of the initial RAM file system is running; waiting "
                          "for it to end."));
    };
    InitramfsRebuild::run(errors, _warnings, options);
    if (!errors.isEmpty()) {
        _output.error(tr("The initial RAM file system was not rebuilt; the settings take effect "
                         "only after a rebuild and a reboot:"));
        for (const QString& error : qAsConst(errors))
            _output.error(error);
        return ExitEnvironment;
    }
    for (const QString& warning : qAsConst(_warnings))
        _output.warning(warning);
    _rebuilt = true;
    return ExitDone;
}

QJsonObject SettingsWriter::json() const
{
    return {{QStringLiteral("rebuilt"), _rebuilt},
            {QStringLiteral("rebuildPending"), InitramfsRebuild::isPending()},
            {QStringLiteral("warnings"), QJsonArray::fromStringList(_warnings)}};
}

void SettingsWriter::report() const
{
    if (_rebuilt)
        _output.print(tr("The initial RAM file system was rebuilt; reboot for the settings to "
                         "take effect."));
    else if (_leftOut)
        _output.print(tr("The initial RAM file system was not rebuilt; the settings take effect "
                         "after a rebuild (the next change without --no-rebuild does it) and a "
                         "reboot."));
}
