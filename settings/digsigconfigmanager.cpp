#include "digsigconfigmanager.h"

#include "digsigconstants.h"
#include "digsigelementdata.h"
#include "sysroot.h"

#include <QFile>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>

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

bool runMount(const QString& options)
{
    return QProcess::execute(QStringLiteral("mount"),
                             {QStringLiteral("-o"), options, QStringLiteral("/boot")})
        == 0;
}

} // namespace

DigSigConfigManager* DigSigConfigManager::instance()
{
    // A function-local static is initialised exactly once even when threads race for it.
    static DigSigConfigManager* const manager = new DigSigConfigManager;
    return manager;
}

QStringList DigSigConfigManager::save(const DigSigElementData& data)
{
    const QStringList errors = saveSettings(data);
    if (!errors.isEmpty())
        return errors;
    return saveXattrControl(data.xattrControl());
}

QStringList DigSigConfigManager::saveSettings(const DigSigElementData& data)
{
    const QString path = DigSig::settingsFilePath();
    QSaveFile file(Sysroot::path(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return {QObject::tr("file %1 can not be opened").arg(path)};

    const QStringList values {modeText(data.elfMode()), modeText(data.xattrMode()),
                              flagText(data.ignoreXattrKeys()), flagText(data.ignoreGost2001())};
    QByteArray text;
    for (int i = 0; i < DigSig::keyList().size(); ++i)
        text += (DigSig::keyList().at(i) + QLatin1Char('=') + values.at(i) + QLatin1Char('\n'))
                    .toUtf8();
    // A short write leaves QSaveFile in its error state, so commit() refuses below.
    file.write(text);
    if (!file.flush() || !file.commit())
        return {QObject::tr("file %1 can not be saved").arg(path)};
    return {};
}

QStringList DigSigConfigManager::saveXattrControl(const QString& text)
{
    const QString path = DigSig::controlFilePath();
    QSaveFile file(Sysroot::path(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return {QObject::tr("file %1 can not be opened").arg(path)};

    QStringList parts = text.split(QLatin1Char('\n'));
    // A final line feed ends the last line: the editor hands back the file's own final line
    // feed, and taking it for one more empty line would grow the file on every save.
    if (parts.size() > 1 && parts.last().isEmpty())
        parts.removeLast();
    for (const QString& part : qAsConst(parts)) {
        const QByteArray line = (part.trimmed() + QLatin1Char('\n')).toUtf8();
        if (line.size() > DigSig::controlLineLimit) {
            file.cancelWriting();
            return {QObject::tr("Line %1 exceeds the size limit.").arg(part)};
        }
        file.write(line);
    }
    if (!file.flush() || !file.commit())
        return {QObject::tr("file %1 can not be saved").arg(path)};
    return {};
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

bool DigSigConfigManager::remountBootReadWrite()
{
    return runMount(QStringLiteral("remount,rw"));
}

void DigSigConfigManager::remountBootReadOnly()
{
    runMount(QStringLiteral("remount,ro"));
}

QStringList DigSigConfigManager::updateInitramfs()
{
    const QString program = QStringLiteral("update-initramfs");
    const QStringList arguments {QStringLiteral("-u"), QStringLiteral("-k"), QStringLiteral("all")};
    const QString joined = arguments.join(QLatin1Char(' '));

    // Every message is filled in one pass, so that a "%2" in the program's output stays as is.
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        throw failure(QObject::tr("Process: \"%1 %2\". Error: %3.\n\"Not started\"")
                          .arg(program, joined, QString::number(process.error())));
    }
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit) {
        throw failure(QObject::tr("Process: \"%1 %2\". Error: %3.\n\"Not finished\"")
                          .arg(program, joined, QString::number(process.error())));
    }

    QByteArray errorBytes = process.readAllStandardError();
    const int nul = errorBytes.indexOf('\0');
    if (nul >= 0)
        errorBytes.truncate(nul);
    const QString errorText = QString::fromUtf8(errorBytes);

    if (process.exitCode() != 0) {
        throw failure(QObject::tr("Process: \"%1 %2\" finished with errors:\n%3\nExit code: %4")
                          .arg(program, joined, errorText, QString::number(process.exitCode())));
    }
    if (errorText.isEmpty())
        return {};
    if (!isInitramfsWarning(errorText)) {
        throw failure(QObject::tr("Process: \"%1 %2\" finished with errors:\n%3")
                          .arg(program, joined, errorText));
    }
    return {QObject::tr("Process: \"%1 %2\" finished with warnings:\n%3")
                .arg(program, joined, errorText)};
}
