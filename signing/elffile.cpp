#include "elffile.h"

#include "digsigconstants.h"

#include <QFile>

bool isElfFile(const QFileInfo& info)
{
    if (!info.isFile() || info.size() == 0 || info.suffix() == QLatin1String("o"))
        return false;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray& magic = DigSig::elfMagic();
    return file.read(magic.size()) == magic;
}

bool isElfFile(const QString& path)
{
    return isElfFile(QFileInfo(path));
}
