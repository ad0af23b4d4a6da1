#include "xattrcontrolfile.h"

#include "atomicfile.h"
#include "digsigconstants.h"
#include "sysroot.h"

#include <QFile>

#include <algorithm>

namespace {

QString realPath()
{
    return Sysroot::path(DigSig::controlFilePath());
}

} // namespace

bool XattrControlFile::read()
{
    QFile file(realPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    _content = file.readAll();
    _fingerprint = AtomicFile::fingerprint(_content);
    return file.error() == QFileDevice::NoError;
}

QByteArray XattrControlFile::content() const
{
    return _content;
}

QByteArray XattrControlFile::fingerprint() const
{
    return _fingerprint;
}

QString XattrControlFile::write(const QByteArray& content) const
{
    return AtomicFile::replace(realPath(), content, AtomicFile::publicMode, _fingerprint);
}

QByteArray XattrControlFile::entry(const QByteArray& path, bool isDirectory)
{
    return isDirectory ? path + '/' : '/' + path;
}

bool XattrControlFile::fitsLineLimit(const QByteArray& entry)
{
    return entry.size() + 1 <= DigSig::controlLineLimit;
}

QByteArray XattrControlFile::merged(const QByteArray& existing, const QList<QByteArray>& entries,
                                    QList<QByteArray>* tooLong)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : existing.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    lines += entries;
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    QByteArray content;
    for (const QByteArray& line : qAsConst(lines)) {
        if (fitsLineLimit(line))
            content += line + '\n';
        else
            tooLong->append(line);
    }
    return content;
}
