#pragma once

#include "keyfilereader.h"

#include <QDateTime>
#include <QFileSystemModel>
#include <QHash>
#include <QThreadPool>

// The file system with four more columns that describe the key in each file: user id,
// fingerprint, algorithm and expiry. A file is read off the GUI thread the first time a view
// asks, and again when its size or modification time changes.
class KeyFileModel : public QFileSystemModel
{
    Q_OBJECT
public:
    enum Column { UserIdColumn = 4, FingerprintColumn, AlgorithmColumn, ExpiresColumn };

    explicit KeyFileModel(QObject* parent = nullptr);
    ~KeyFileModel() override;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Groups of four, as GnuPG shows them.
    static QString readableFingerprint(const QString& fingerprint);

private:
    struct Entry
    {
        qint64 size = -1;
        QDateTime modified;
        bool pending = true;
        KeyFileReader::Result result;
    };

    const Entry* entry(const QModelIndex& index) const;
    QVariant keyText(const Entry& entry, int column) const;
    QString keysToolTip(const Entry& entry) const;
    void store(const QString& path, qint64 size, const QDateTime& modified,
               const KeyFileReader::Result& result);
    void refreshKeyColumns(const QModelIndex& topLeft, const QModelIndex& bottomRight);

    mutable QHash<QString, Entry> _entries;
    mutable QThreadPool _readers;
};
