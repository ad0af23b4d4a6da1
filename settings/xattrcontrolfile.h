#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The extended-attribute control file as bytes, with the fingerprint of what was read. Paths
// are bytes on Linux: lines are never decoded and encoded again, so that templates in any
// encoding survive every writer unchanged.
class XattrControlFile
{
public:
    // Reads the file; false when it cannot be read. A missing file still has a fingerprint, so
    // that one created meanwhile is not overwritten.
    bool read();
    QByteArray content() const;
    QByteArray fingerprint() const;

    // Replaces the file with content, unless it changed since it was read. Returns an empty
    // string on success, otherwise the reason; the file is then unchanged.
    QString write(const QByteArray& content) const;

    // The template that puts a path under control: "/" before a file's path, "/" after a
    // directory's.
    static QByteArray entry(const QByteArray& path, bool isDirectory);
    // The lines of a control text, blanks removed, that are not absolute paths and so name no
    // file: most likely typing errors. Empty lines name nothing and are not listed.
    static QStringList templatesNamingNoFile(const QString& text);
    // Whether an entry with its line feed stays within the line limit the kernel reads.
    static bool fitsLineLimit(const QByteArray& entry);
    // The file's lines with surrounding blanks removed and empty lines dropped, the entries
    // added, sorted and each once. Lines over the limit are left out and listed in tooLong.
    static QByteArray merged(const QByteArray& existing, const QList<QByteArray>& entries,
                             QList<QByteArray>* tooLong);

private:
    QByteArray _content;
    QByteArray _fingerprint;
};
