#include "xattrcontrolfile.h"

#include "atomicfile.h"
#include "digsigconstants.h"
#include "sysroot.h"

#include <algorithm>

namespace {

QString realPath()
{
    return Sysroot::path(DigSig::controlFilePath());
}

} // namespace

bool XattrControlFile::read()
{
    const AtomicFile::Contents file = AtomicFile::read(realPath());
    _content = file.content;
    _fingerprint = file.fingerprint;
    return file.status == AtomicFile::Contents::Read;
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

QStringList XattrControlFile::templatesNamingNoFile(const QString& text)
{
    QStringList odd;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('/')))
            odd << trimmed;
    }
    return odd;
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
