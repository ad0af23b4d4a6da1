#include "testsupport.h"

#include "sysroot.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace TestSupport {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString sandboxRoot()
{
    return Sysroot::root();
}

QString sandboxPath(const QString& systemPath)
{
    return Sysroot::path(systemPath);
}

QByteArray elfBytes()
{
    static const QByteArray bytes = readFile(QStringLiteral("/bin/true"));
    return bytes;
}

bool writeElf(const QString& path)
{
    return writeFile(path, elfBytes())
        && QFile::setPermissions(path,
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                     | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                     | QFile::ExeOther);
}

void stopGnupgDaemons(const QString& home)
{
    QProcess gpgconf;
    gpgconf.start(
        QStringLiteral("gpgconf"),
        {QStringLiteral("--homedir"), home, QStringLiteral("--kill"), QStringLiteral("all")});
    gpgconf.waitForFinished(10000);
}

bool processGroupAlive(qint64 group)
{
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& process : processes) {
        const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(process));
        // pid (name) state ppid pgrp ...: the name may hold blanks, so count from its end.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields.at(0) != "Z" && fields.at(2).toLongLong() == group)
            return true;
    }
    return false;
}

QStringList readLog(const QString& path)
{
    const QString text = QString::fromUtf8(readFile(path));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

namespace {

bool& hasPrivateMounts()
{
    static bool value = false;
    return value;
}

} // namespace

void enterPrivateMountNamespace()
{
    // Mounts made later must not propagate back into the machine's namespace.
    hasPrivateMounts() = ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool mountTmpfs(const QString& directory, int kilobytes, QString* skipReason)
{
    if (!hasPrivateMounts()) {
        *skipReason = QStringLiteral("needs root and a private mount namespace (unshare)");
        return false;
    }
    QDir().mkpath(directory);
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    if (::mount("tmpfs", QFile::encodeName(directory).constData(), "tmpfs", 0, options.constData())
        != 0) {
        *skipReason = QStringLiteral("mount tmpfs: ") + qt_error_string(errno);
        return false;
    }
    return true;
}

void unmount(const QString& directory)
{
    ::umount2(QFile::encodeName(directory).constData(), MNT_DETACH);
}

} // namespace TestSupport
