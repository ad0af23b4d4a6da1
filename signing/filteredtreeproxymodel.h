#pragma once

#include "checkabletreeproxymodel.h"

#include <QDateTime>
#include <QHash>
#include <QPersistentModelIndex>
#include <QString>

// The checkable file tree of the signing widget; on request it hides every file that is not
// an ELF file. It can also stand a directory in for the file system's root (a sandbox root):
// everything outside it is hidden and its row is named "/". The source model must be a
// QFileSystemModel.
class FilteredTreeProxyModel : public CheckableTreeProxyModel
{
    Q_OBJECT
public:
    explicit FilteredTreeProxyModel(QObject* parent = nullptr);

    bool elfOnly() const { return _elfOnly; }
    void setElfOnly(bool elfOnly);

    // Call after setSourceModel(); an empty path or "/" shows the whole file system.
    void setTopDirectory(const QString& path);
    QString topDirectory() const { return _top; }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    struct ElfAnswer
    {
        qint64 size = -1;
        QDateTime modified;
        bool elf = false;
    };

    bool isCachedElfFile(const QString& path) const;
    bool isOnTopDirectoryPath(const QString& path) const;

    bool _elfOnly = false;
    QString _top;
    QPersistentModelIndex _topIndex;
    // The filter runs on the GUI thread for every row on every invalidation; opening each file
    // again would freeze the tree on large directories.
    mutable QHash<QString, ElfAnswer> _elfAnswers;
};
