#pragma once

#include <QStringList>

// Items named in a message, one a line: at most a handful, then how many more there are, so
// that a question about thousands of paths still fits on the screen.
namespace ShortList {

constexpr int shownItems = 10;

QString format(const QStringList& items, int shown = shownItems);

} // namespace ShortList
