#include "digsigconfigmanager.h"

#include "atomicfile.h"
#include "boundedprocess.h"
#include "digsigconstants.h"
#include "digsigelementdata.h"
#include "sysroot.h"
#include "xattrcontrolfile.h"

#include <QFile>
#include <QObject>
#include <QRegularExpression>

#include <mntent.h>

#include <stdexcept>
#include <vector>

namespace {

QString modeText(int mode)
{
    switch (mode) {
    case On:
        return QStringLiteral("1");
    case Debug:
        return QStringLiteral("2");
    default:
        return QStringLiteral("0");
    }
}

QString flagText(bool flag)
{
    return flag ? QStringLiteral("1") : QStringLiteral("0");
}

std::runtime_error failure(const QString& message)
{
    return std::runtime_error(message.toUtf8().toStdString());
}

bool runMount(const QString& options, int timeoutMsecs)
{
    return BoundedProcess::run(QStringLiteral("mount"),
                               {QStringLiteral("-o"), options, QStringLiteral("/boot")},
                               timeoutMsecs, BoundedProcess::ForwardOutput)
        .succeeded();
}

} // namespace

DigSigConfigManager* DigSigConfigManager::instance()
{
    // A function-local static is initialised exactly once even when threads race for it.
    static DigSigConfigManager* const manager = new DigSigConfigManager;
    return manager;
}

QStringList DigSigConfigManager::save(DigSigElementData& data)
{
    QStringList errors;
    for (const QString& path :
         changedSinceRead(data.settingsFingerprint(), data.xattrControlFingerprint())) {
        errors << QObject::tr("%1 has changed on disk since it was read; nothing was saved. Press "
                              "Refresh to see what it holds now, then make your changes again.")
                      .arg(path);
    }
    if (!errors.isEmpty())
        return errors;

    const bool writeControl = !data.keepXattrControl();
    const QByteArray control
        = writeControl ? xattrControlContent(data.xattrControl(), &errors) : QByteArray();
    if (!errors.isEmpty())
        return errors;
    if (!data.keepSettings()) {
        const QByteArray settings = settingsContent(data);
        errors = replace(DigSig::settingsFilePath(), settings, data.settingsFingerprint());
        if (!errors.isEmpty())
            return errors;
        data.setSettingsFingerprint(AtomicFile::fingerprint(settings));
    }
    if (!writeControl)
        return errors;
    errors = replace(DigSig::controlFilePath(), control, data.xattrControlFingerprint());
    if (errors.isEmpty())
        data.setXattrControlFingerprint(AtomicFile::fingerprint(control));
    return errors;
}

QStringList DigSigConfigManager::changedSinceRead(const QByteArray& settingsFingerprint,
                                                  const QByteArray& xattrControlFingerprint)
{
    QStringList changed;
    const QList<QPair<QString, QByteArray>> files {
        {DigSig::settingsFilePath(), settingsFingerprint},
        {DigSig::controlFilePath(), xattrControlFingerprint}};
    for (const auto& file : files) {
        if (!file.second.isEmpty()
            && AtomicFile::currentFingerprint(Sysroot::path(file.first)) != file.second)
            changed << file.first;
    }
    return changed;
}

QByteArray DigSigConfigManager::settingsContent(const DigSigElementData& data)
{
    const QStringList values {modeText(data.elfMode()), modeText(data.xattrMode()),
                              flagText(data.ignoreXattrKeys()), flagText(data.ignoreGost2001())};
    QByteArray text;
    for (int i = 0; i < DigSig::keyList().size(); ++i)
        text += (DigSig::keyList().at(i) + QLatin1Char('=') + values.at(i) + QLatin1Char('\n'))
                    .toUtf8();
    return text;
}

QByteArray DigSigConfigManager::xattrControlContent(const QString& text, QStringList* errors)
{
    // A line that stands in the file as it is was not edited: it is written back byte for byte,
    // blanks and all. Only the administrator's own lines are trimmed.
    XattrControlFile file;
    file.read();
    const QList<QByteArray> unedited = file.content().split('\n');

    QStringList parts = text.split(QLatin1Char('\n'));
    // A final line feed ends the last line: the editor hands back the file's own final line
    // feed, and taking it for one more empty line would grow the file on every save.
    if (parts.size() > 1 && parts.last().isEmpty())
        parts.removeLast();
    QByteArray content;
    for (const QString& part : qAsConst(parts)) {
        QByteArray line = part.toUtf8();
        if (!unedited.contains(line))
            line = part.trimmed().toUtf8();
        if (!XattrControlFile::fitsLineLimit(line)) {
            *errors << QObject::tr("Line %1 exceeds the size limit.").arg(part);
            return QByteArray();
        }
        content += line + '\n';
    }
    return content;
}

QStringList DigSigConfigManager::replace(const QString& path, const QByteArray& content,
                                         const QByteArray& fingerprint)
{
    const QString error
        = AtomicFile::replace(Sysroot::path(path), content, AtomicFile::publicMode, fingerprint);
    if (error.isEmpty())
        return {};
    return {QObject::tr("file %1 can not be saved").arg(path), error};
}

bool DigSigConfigManager::isBootReadOnly()
{
    FILE* table = setmntent(QFile::encodeName(Sysroot::path(DigSig::mtabPath())).constData(), "r");
    if (!table)
        throw failure(QObject::tr("Can't parse /etc/mtab"));

    // The reentrant reader, because the read task and the GUI thread may both ask.
    std::vector<char> buffer(64 * 1024);
    mntent entry {};
    bool readOnly = false;
    while (!readOnly && getmntent_r(table, &entry, buffer.data(), int(buffer.size()))) {
        const QString directory = QString::fromLocal8Bit(entry.mnt_dir);
        const QStringList options = QString::fromLocal8Bit(entry.mnt_opts).split(QLatin1Char(','));
        readOnly = directory == QLatin1String("/boot") && options.contains(QLatin1String("ro"));
    }
    endmntent(table);
    return readOnly;
}

bool DigSigConfigManager::isInitramfsWarning(const QString& errorText)
{
    static const QRegularExpression ldconfig(
        QStringLiteral("^ldconfig:\\s+input\\s+file\\s+.+?\\s+not\\s+found.*?$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    static const QRegularExpression cryptsetup(QStringLiteral("^cryptsetup:\\s+WARNING:.*?$"),
                                               QRegularExpression::CaseInsensitiveOption
                                                   | QRegularExpression::MultilineOption);
    return ldconfig.match(errorText).hasMatch() || cryptsetup.match(errorText).hasMatch();
}

bool DigSigConfigManager::remountBootReadWrite(int timeoutMsecs)
{
    return runMount(QStringLiteral("remount,rw"), timeoutMsecs);
}

void DigSigConfigManager::remountBootReadOnly(int timeoutMsecs)
{
    runMount(QStringLiteral("remount,ro"), timeoutMsecs);
}

QStringList DigSigConfigManager::updateInitramfs(int timeoutMsecs)
{
    const QString program = QStringLiteral("update-initramfs");
    const QStringList arguments {QStringLiteral("-u"), QStringLiteral("-k"), QStringLiteral("all")};
    const QString joined = arguments.join(QLatin1Char(' '));

    // Every message is filled in one pass, so that a "%2" in the program's output stays as is.
    const BoundedProcess::Result result
        = BoundedProcess::run(program, arguments, timeoutMsecs, BoundedProcess::KeepErrorOutput);
    if (!result.started) {
        throw failure(QObject::tr("Process: \"%1 %2\". Error: %3.\n\"Not started\"")
                          .arg(program, joined, QString::number(result.error)));
    }
    if (result.timedOut) {
        throw failure(
            QObject::tr("Process: \"%1 %2\" did not finish within %3 seconds and was stopped.")
                .arg(program, joined, QString::number(timeoutMsecs / 1000.0)));
    }
    if (result.crashed) {
        throw failure(QObject::tr("Process: \"%1 %2\". Error: %3.\n\"Not finished\"")
                          .arg(program, joined, QString::number(result.error)));
    }

    QByteArray errorBytes = result.errorOutput;
    const int nul = errorBytes.indexOf('\0');
    if (nul >= 0)
        errorBytes.truncate(nul);
    const QString errorText = QString::fromUtf8(errorBytes);
    const QString shownText = result.errorOutputTruncated
        ? errorText + QLatin1Char('\n') + DigSig::truncationMark()
        : errorText;

    if (result.exitCode != 0) {
        throw failure(QObject::tr("Process: \"%1 %2\" finished with errors:\n%3\nExit code: %4")
                          .arg(program, joined, shownText, QString::number(result.exitCode)));
    }
    if (errorText.isEmpty())
        return {};
    if (!isInitramfsWarning(errorText)) {
        throw failure(QObject::tr("Process: \"%1 %2\" finished with errors:\n%3")
                          .arg(program, joined, shownText));
    }
    return {QObject::tr("Process: \"%1 %2\" finished with warnings:\n%3")
                .arg(program, joined, shownText)};
}
