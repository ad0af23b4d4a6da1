#include "filteredtreeproxymodel.h"

#include "elffile.h"

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

bool FilteredTreeProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!files)
        return true;
    const QModelIndex child = files->index(sourceRow, 0, sourceParent);
    if (!sourceParent.isValid() || !child.isValid() || !_elfOnly)
        return true;
    return files->isDir(child) || isCachedElfFile(files->filePath(child));
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
