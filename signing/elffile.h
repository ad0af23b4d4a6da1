#pragma once

#include <QString>

// True for a non-empty regular file that starts with the ELF magic and is not an object file.
bool isElfFile(const QString& path);
