#pragma once

#include "keyfilereader.h"

#include <QList>
#include <QString>

// The public key files the kernel trusts: every "*.gpg" file below the key folder of ELF
// signatures and below that of extended-attribute signatures, with the keys each one holds,
// read without importing them. Only regular files are read: a FIFO or device named like a key
// file would block the reader.
class TrustedKeyFiles
{
public:
    enum Folder { ElfKeys, XattrKeys };

    struct File
    {
        // As the administrator knows it (sandbox root taken off).
        QString path;
        Folder folder = ElfKeys;
        KeyFileReader::Result contents;
    };

    // The ELF key folder's files first, each folder's in path order. A missing folder has none.
    static QList<File> read();
};
