#include "shortlist.h"

#include <QCoreApplication>

namespace ShortList {

QString format(const QStringList& items, int shown)
{
    QStringList lines = items.mid(0, shown);
    const int more = items.size() - lines.size();
    if (more > 0)
        lines << QCoreApplication::translate("ShortList", "and %n more", nullptr, more);
    return lines.join(QLatin1Char('\n'));
}

} // namespace ShortList
