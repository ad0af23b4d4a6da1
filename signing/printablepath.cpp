#include "printablepath.h"

#include "sysroot.h"

namespace {

bool breaksLines(ushort code)
{
    return code < 0x20 || code == 0x7f || code == 0x85 || code == 0x2028 || code == 0x2029;
}

} // namespace

QString printablePath(const QString& path)
{
    const QString shown = Sysroot::systemPath(path);
    QString result;
    result.reserve(shown.size());
    for (const QChar character : shown) {
        const ushort code = character.unicode();
        if (code == '\\')
            result += QLatin1String("\\\\");
        else if (code == '\n')
            result += QLatin1String("\\n");
        else if (code == '\r')
            result += QLatin1String("\\r");
        else if (code == '\t')
            result += QLatin1String("\\t");
        else if (breaksLines(code))
            result += QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0'));
        else
            result += character;
    }
    return result;
}
