#include "digsigconstants.h"

#include "sysroot.h"

#include <QDir>
#include <QObject>

namespace DigSig {

const QStringList& keyList()
{
    static const QStringList keys {elfModeKey(), xattrModeKey(), ignoreXattrKeysKey(),
                                   ignoreGost2001Key()};
    return keys;
}

const QSet<QString>& trustedDirectories()
{
    static const QSet<QString> directories {QStringLiteral("/bin"),   QStringLiteral("/lib"),
                                            QStringLiteral("/lib32"), QStringLiteral("/lib64"),
                                            QStringLiteral("/opt"),   QStringLiteral("/sbin"),
                                            QStringLiteral("/srv"),   QStringLiteral("/usr")};
    return directories;
}

QStringList outsideTrustedDirectories(const QStringList& realPaths)
{
    QStringList outside;
    for (const QString& path : realPaths) {
        const QString systemPath = Sysroot::systemPath(path);
        const QStringList parts = systemPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (parts.isEmpty() || !trustedDirectories().contains(QLatin1Char('/') + parts.first()))
            outside << systemPath;
    }
    return outside;
}

const QIcon& settingsElementIcon()
{
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("application-pkcs7-signature"));
    return icon;
}

const QIcon& keysElementIcon()
{
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("application-pgp-keys"));
    return icon;
}

const QIcon& signingElementIcon()
{
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("application-pgp-signature"));
    return icon;
}

const QByteArray& elfMagic()
{
    static const QByteArray magic("\x7f"
                                  "ELF",
                                  4);
    return magic;
}

QString truncationMark()
{
    return QObject::tr("(truncated)");
}

QString shortened(const QString& text, int limit)
{
    if (text.size() <= limit)
        return text;
    return text.left(limit) + QLatin1Char(' ') + truncationMark();
}

} // namespace DigSig
