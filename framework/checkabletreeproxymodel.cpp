#include "checkabletreeproxymodel.h"

#include <algorithm>

namespace {

bool isAncestorOf(const QModelIndex& ancestor, QModelIndex index)
{
    for (index = index.parent(); index.isValid(); index = index.parent()) {
        if (index == ancestor)
            return true;
    }
    return false;
}

QModelIndex firstColumn(const QModelIndex& index)
{
    return index.sibling(index.row(), 0);
}

QList<int> rowPath(QModelIndex index)
{
    QList<int> path;
    for (; index.isValid(); index = index.parent())
        path.prepend(index.row());
    return path;
}

} // namespace

CheckableTreeProxyModel::CheckableTreeProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{ }

CheckableTreeProxyModel::~CheckableTreeProxyModel() = default;

void CheckableTreeProxyModel::setSourceModel(QAbstractItemModel* sourceModel)
{
    _roots.clear();
    QSortFilterProxyModel::setSourceModel(sourceModel);
}

QVariant CheckableTreeProxyModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::CheckStateRole && index.isValid() && index.column() == 0)
        return checkState(mapToSource(index));
    return QSortFilterProxyModel::data(index, role);
}

bool CheckableTreeProxyModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0)
        return QSortFilterProxyModel::setData(index, value, role);

    const QModelIndex source = mapToSource(index);
    if (value.toInt() == Qt::Unchecked)
        uncheck(source);
    else
        check(source);
    notifySubtree(index);
    notifyAncestors(index);
    Q_EMIT someCheckedStateChenged();
    return true;
}

Qt::ItemFlags CheckableTreeProxyModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QSortFilterProxyModel::flags(index);
    if (index.isValid() && index.column() == 0)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QModelIndexList CheckableTreeProxyModel::checkedList() const
{
    QModelIndexList result;
    for (const QPersistentModelIndex& root : _roots) {
        const QModelIndex proxy = root.isValid() ? mapFromSource(root) : QModelIndex();
        if (proxy.isValid())
            result.append(proxy);
    }
    std::sort(result.begin(), result.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return rowPath(a) < rowPath(b); });
    return result;
}

void CheckableTreeProxyModel::invalidateFilterAndData()
{
    invalidateFilter();
    const int rows = rowCount();
    const int columns = columnCount();
    if (rows > 0 && columns > 0)
        Q_EMIT dataChanged(index(0, 0), index(rows - 1, columns - 1));
}

Qt::CheckState CheckableTreeProxyModel::checkState(const QModelIndex& sourceIndex) const
{
    if (isCoveredByRoot(sourceIndex))
        return Qt::Checked;
    return hasRootBelow(sourceIndex) ? Qt::PartiallyChecked : Qt::Unchecked;
}

bool CheckableTreeProxyModel::isCoveredByRoot(const QModelIndex& sourceIndex) const
{
    for (QModelIndex index = firstColumn(sourceIndex); index.isValid(); index = index.parent()) {
        if (_roots.contains(QPersistentModelIndex(index)))
            return true;
    }
    return false;
}

bool CheckableTreeProxyModel::hasRootBelow(const QModelIndex& sourceIndex) const
{
    const QModelIndex item = firstColumn(sourceIndex);
    return std::any_of(_roots.cbegin(), _roots.cend(), [&item](const QPersistentModelIndex& root) {
        return root.isValid() && isAncestorOf(item, root);
    });
}

void CheckableTreeProxyModel::check(const QModelIndex& sourceIndex)
{
    pruneInvalidRoots();
    const QModelIndex item = firstColumn(sourceIndex);
    if (isCoveredByRoot(item))
        return;
    removeRootsBelow(item);
    _roots.append(QPersistentModelIndex(item));
}

// Unchecking inside a checked subtree splits that subtree: every ancestor up to the checked
// root gives way to its other loaded children, so the remaining selection stays exact.
void CheckableTreeProxyModel::uncheck(const QModelIndex& sourceIndex)
{
    pruneInvalidRoots();
    const QModelIndex item = firstColumn(sourceIndex);
    removeRootsBelow(item);
    QModelIndex child = item;
    while (child.isValid() && !_roots.removeOne(QPersistentModelIndex(child))) {
        const QModelIndex parent = child.parent();
        if (!isCoveredByRoot(parent))
            break;
        const QAbstractItemModel* model = sourceModel();
        for (int row = 0; row < model->rowCount(parent); ++row) {
            if (row != child.row())
                _roots.append(QPersistentModelIndex(model->index(row, 0, parent)));
        }
        child = parent;
    }
}

void CheckableTreeProxyModel::removeRootsBelow(const QModelIndex& sourceIndex)
{
    _roots.erase(std::remove_if(_roots.begin(), _roots.end(),
                                [&sourceIndex](const QPersistentModelIndex& root) {
                                    return isAncestorOf(sourceIndex, root);
                                }),
                 _roots.end());
}

void CheckableTreeProxyModel::pruneInvalidRoots()
{
    _roots.erase(std::remove_if(_roots.begin(), _roots.end(),
                                [](const QPersistentModelIndex& root) { return !root.isValid(); }),
                 _roots.end());
}

void CheckableTreeProxyModel::notifySubtree(const QModelIndex& proxyParent)
{
    Q_EMIT dataChanged(proxyParent, proxyParent, {Qt::CheckStateRole});
    const int rows = rowCount(proxyParent);
    if (rows == 0)
        return;
    Q_EMIT dataChanged(index(0, 0, proxyParent), index(rows - 1, 0, proxyParent),
                       {Qt::CheckStateRole});
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = index(row, 0, proxyParent);
        if (rowCount(child) > 0)
            notifySubtree(child);
    }
}

void CheckableTreeProxyModel::notifyAncestors(const QModelIndex& proxyIndex)
{
    for (QModelIndex index = proxyIndex.parent(); index.isValid(); index = index.parent())
        Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
}
