#pragma once

#include <QString>

// How a path appears in a log line: the path the administrator knows (sandbox root taken off),
// with every character that could break a line, and the backslash that introduces the escapes,
// written as an escape, so that a file name can never forge a line of its own.
QString printablePath(const QString& path);
