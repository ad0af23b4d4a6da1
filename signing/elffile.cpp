#include "elffile.h"

bool isElfFile(const QString&)
{
    return false;
}
