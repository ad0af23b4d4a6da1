#include "keysproxyfilemodel.h"

#include "keyfilemodel.h"

#include <algorithm>

KeysProxyFileModel::KeysProxyFileModel(QObject* parent)
    : QSortFilterProxyModel(parent)
    , _fileModel(new KeyFileModel(this))
{
    setSourceModel(_fileModel);
}

QModelIndex KeysProxyFileModel::setRootPath(const QString& path)
{
    return _fileModel->setRootPath(path);
}

QModelIndex KeysProxyFileModel::rootIndex() const
{
    return _fileModel->index(_fileModel->rootPath(), 0);
}

void KeysProxyFileModel::addDirFilters(const QList<QRegExp>& filters, const QModelIndex& parent)
{
    addFilters(_dirFilters, filters, parent);
}

void KeysProxyFileModel::addFileFilters(const QList<QRegExp>& filters, const QModelIndex& parent)
{
    addFilters(_fileFilters, filters, parent);
}

void KeysProxyFileModel::addFilters(Filters& map, const QList<QRegExp>& filters,
                                    const QModelIndex& parent)
{
    map[QPersistentModelIndex(parent)].append(filters);
}

const QList<QRegExp>* KeysProxyFileModel::filtersFor(const Filters& map, const QModelIndex& parent)
{
    auto found = map.constFind(QPersistentModelIndex(parent));
    if (found == map.constEnd())
        found = map.constFind(QPersistentModelIndex());
    return found == map.constEnd() ? nullptr : &found.value();
}

bool KeysProxyFileModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    const QModelIndex index = _fileModel->index(sourceRow, filterKeyColumn(), sourceParent);
    const Filters& map = _fileModel->isDir(index) ? _dirFilters : _fileFilters;
    const QList<QRegExp>* filters = filtersFor(map, sourceParent);
    if (!filters)
        return true;
    const QString name = index.data(Qt::DisplayRole).toString();
    return std::any_of(filters->cbegin(), filters->cend(),
                       [&name](const QRegExp& pattern) { return pattern.indexIn(name) >= 0; });
}
