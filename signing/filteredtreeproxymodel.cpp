#include "filteredtreeproxymodel.h"

#include "elffile.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>

FilteredTreeProxyModel::FilteredTreeProxyModel(QObject* parent)
    : CheckableTreeProxyModel(parent)
{ }

void FilteredTreeProxyModel::setElfOnly(bool elfOnly)
{
    _elfOnly = elfOnly;
    invalidateFilterAndData();
}

void FilteredTreeProxyModel::setTopDirectory(const QString& path)
{
    const QString clean = path.isEmpty() ? QString() : QDir::cleanPath(path);
    _top = clean == QDir::rootPath() ? QString() : clean;
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    _topIndex = files && !_top.isEmpty() ? QPersistentModelIndex(files->index(_top))
                                         : QPersistentModelIndex();
    invalidateFilterAndData();
}

QVariant FilteredTreeProxyModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::DisplayRole && index.column() == 0 && _topIndex.isValid()
        && mapToSource(index) == _topIndex)
        return QDir::rootPath();
    return CheckableTreeProxyModel::data(index, role);
}

bool FilteredTreeProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!files)
        return true;
    const QModelIndex child = files->index(sourceRow, 0, sourceParent);
    if (!child.isValid())
        return true;
    if (!_top.isEmpty() && !isOnTopDirectoryPath(files->filePath(child)))
        return false;
    if (!sourceParent.isValid() || !_elfOnly)
        return true;
    return files->isDir(child) || isCachedElfFile(files->filePath(child));
}

// The top directory, what lies inside it, and the directories that lead to it.
bool FilteredTreeProxyModel::isOnTopDirectoryPath(const QString& path) const
{
    if (path == _top || path.startsWith(_top + QLatin1Char('/')))
        return true;
    return path == QDir::rootPath()
        || (_top.startsWith(path) && _top.at(path.size()) == QLatin1Char('/'));
}

bool FilteredTreeProxyModel::isCachedElfFile(const QString& path) const
{
    const QFileInfo info(path);
    ElfAnswer& answer = _elfAnswers[path];
    if (answer.size != info.size() || answer.modified != info.lastModified()) {
        answer.size = info.size();
        answer.modified = info.lastModified();
        answer.elf = isElfFile(info);
    }
    return answer.elf;
}
