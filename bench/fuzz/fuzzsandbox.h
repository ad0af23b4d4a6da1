#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>

// Shared by the fuzz targets: a failed property aborts, so that libFuzzer saves the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace FuzzSandbox {

inline QString& root()
{
    static QString path;
    return path;
}

inline void removeRoot()
{
    if (!root().isEmpty())
        QDir(root()).removeRecursively();
}

// The sandbox root must be set before the code under test first asks for it: it is read once.
inline void create()
{
    const QByteArray temp
        = qEnvironmentVariableIsEmpty("TMPDIR") ? QByteArray("/tmp") : qgetenv("TMPDIR");
    QByteArray pattern = temp + "/digsig-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    root() = QString::fromLocal8Bit(pattern);
    qputenv("DIGSIG_SYSROOT", pattern);
    QDir().mkpath(root() + QStringLiteral("/etc/digsig"));
    std::atexit(removeRoot);
}

inline QString path(const QString& systemPath)
{
    return root() + systemPath;
}

inline bool write(const QString& systemPath, const QByteArray& bytes)
{
    QFile file(path(systemPath));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

inline QByteArray read(const QString& systemPath)
{
    QFile file(path(systemPath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace FuzzSandbox
