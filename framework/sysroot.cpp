#include "sysroot.h"

#include <QDir>

namespace Sysroot {

QString root()
{
    static const QString value = [] {
        const QString raw = qEnvironmentVariable("DIGSIG_SYSROOT");
        if (raw.isEmpty())
            return QString();
        const QString clean = QDir::cleanPath(QDir(raw).absolutePath());
        return clean == QLatin1String("/") ? QString() : clean;
    }();
    return value;
}

bool isActive()
{
    return !root().isEmpty();
}

QString path(const QString& systemPath)
{
    return root() + systemPath;
}

QString systemPath(const QString& realPath)
{
    const QString prefix = root();
    if (!prefix.isEmpty() && realPath == prefix)
        return QStringLiteral("/");
    if (prefix.isEmpty() || !realPath.startsWith(prefix + QLatin1Char('/')))
        return realPath;
    return realPath.mid(prefix.size());
}

} // namespace Sysroot
