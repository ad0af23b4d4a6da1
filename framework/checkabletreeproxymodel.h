#pragma once

#include "covaframework_export.h"

#include <QList>
#include <QPersistentModelIndex>
#include <QSortFilterProxyModel>

// A proxy that adds check boxes in column 0. Checking an item checks its whole subtree,
// including rows the source model loads later; a parent with checked descendants shows the
// partial state. Only the roots of checked subtrees are stored, so a checked directory stands
// for everything under it.
class COVAFRAMEWORK_EXPORT CheckableTreeProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit CheckableTreeProxyModel(QObject* parent = nullptr);
    ~CheckableTreeProxyModel() override;

    void setSourceModel(QAbstractItemModel* sourceModel) override;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Proxy indexes of the roots of checked subtrees, in tree order.
    QModelIndexList checkedList() const;
    void invalidateFilterAndData();

Q_SIGNALS:
    void someCheckedStateChenged();

private:
    Qt::CheckState checkState(const QModelIndex& sourceIndex) const;
    bool isCoveredByRoot(const QModelIndex& sourceIndex) const;
    bool hasRootBelow(const QModelIndex& sourceIndex) const;
    void check(const QModelIndex& sourceIndex);
    void uncheck(const QModelIndex& sourceIndex);
    void removeRootsBelow(const QModelIndex& sourceIndex);
    void pruneInvalidRoots();
    void notifySubtree(const QModelIndex& proxyParent);
    void notifyAncestors(const QModelIndex& proxyIndex);

    QList<QPersistentModelIndex> _roots;
};
