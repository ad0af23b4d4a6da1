#pragma once

#include <QFileInfo>
#include <QString>

// True for a non-empty regular file (symbolic links followed) that opens for reading, starts
// with the ELF magic and whose suffix is not exactly "o": object files are not signed.
bool isElfFile(const QFileInfo& info);
bool isElfFile(const QString& path);
