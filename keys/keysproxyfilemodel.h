#pragma once

#include <QList>
#include <QMap>
#include <QPersistentModelIndex>
#include <QRegExp>
#include <QSortFilterProxyModel>

class KeyFileModel;

// A file-system tree that shows, under each parent directory, only the directories and files
// whose names contain one of that parent's patterns. Patterns stored under the invalid index
// apply to every parent without patterns of its own; a parent without any patterns shows all.
class KeysProxyFileModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit KeysProxyFileModel(QObject* parent);

    QModelIndex setRootPath(const QString& path);
    QModelIndex rootIndex() const;
    void addDirFilters(const QList<QRegExp>& filters, const QModelIndex& parent);
    void addFileFilters(const QList<QRegExp>& filters, const QModelIndex& parent);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    // Persistent keys keep finding their directory when rows around it come and go.
    using Filters = QMap<QPersistentModelIndex, QList<QRegExp>>;

    static void addFilters(Filters& map, const QList<QRegExp>& filters, const QModelIndex& parent);
    static const QList<QRegExp>* filtersFor(const Filters& map, const QModelIndex& parent);

    KeyFileModel* _fileModel;
    Filters _dirFilters;
    Filters _fileFilters;
};
