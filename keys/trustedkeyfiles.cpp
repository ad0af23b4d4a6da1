#include "trustedkeyfiles.h"

#include "digsigconstants.h"
#include "sysroot.h"

#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

QList<TrustedKeyFiles::File> TrustedKeyFiles::read()
{
    const QList<QPair<QString, Folder>> folders {{DigSig::keysDirectory(), ElfKeys},
                                                 {DigSig::xattrKeysDirectory(), XattrKeys}};
    QList<File> files;
    for (const auto& folder : folders) {
        QStringList paths;
        // Without QDir::System, FIFOs, sockets and devices are not listed.
        QDirIterator it(Sysroot::path(folder.first), {QStringLiteral("*.gpg")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            paths << it.next();
        std::sort(paths.begin(), paths.end());
        for (const QString& path : qAsConst(paths))
            files.append({Sysroot::systemPath(path), folder.second, KeyFileReader::read(path)});
    }
    return files;
}
