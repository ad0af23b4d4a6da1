#pragma once

#include "signfilemodel.h"

// QAbstractItemModelTester fetches every directory it meets, ten levels deep from "/", which
// on a file-system model walks the whole machine. This model only loads folders inside the
// test's own folder; everything else behaves as in the real model.
class ConfinedSignFileModel : public SignFileModel
{
public:
    explicit ConfinedSignFileModel(const QString& folder)
        : _folder(folder)
    { }

    bool canFetchMore(const QModelIndex& parent) const override
    {
        const QString path = filePath(parent);
        const bool inside = path == _folder || path.startsWith(_folder + QLatin1Char('/'));
        return inside && SignFileModel::canFetchMore(parent);
    }

private:
    QString _folder;
};
