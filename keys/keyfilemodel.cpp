#include "keyfilemodel.h"

#include "keymanager.h"

#include <QFileInfo>
#include <QLocale>
#include <QPalette>

namespace {

QString expiryText(const KeyFileReader::Key& key)
{
    if (!key.expires.isValid())
        return KeyFileModel::tr("never");
    const QString date = QLocale().toString(key.expires.date(), QLocale::ShortFormat);
    return key.expired ? KeyFileModel::tr("expired %1").arg(date) : date;
}

} // namespace

KeyFileModel::KeyFileModel(QObject* parent)
    : QFileSystemModel(parent)
{
    // Before any reader thread touches GnuPG.
    KeyManager::initializeLibrary();
    _readers.setMaxThreadCount(1);
    connect(this, &QAbstractItemModel::dataChanged, this, &KeyFileModel::refreshKeyColumns);
}

// A reader still at work must not deliver into a model that is gone.
KeyFileModel::~KeyFileModel()
{
    _readers.clear();
    _readers.waitForDone();
}

int KeyFileModel::columnCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return QFileSystemModel::columnCount(parent) + 4;
}

QVariant KeyFileModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
        case UserIdColumn:
            return tr("User ID");
        case FingerprintColumn:
            return tr("Fingerprint");
        case AlgorithmColumn:
            return tr("Algorithm");
        case ExpiresColumn:
            return tr("Expires");
        default:
            break;
        }
    }
    return QFileSystemModel::headerData(section, orientation, role);
}

QVariant KeyFileModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() < UserIdColumn)
        return QFileSystemModel::data(index, role);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole)
        return QVariant();
    const Entry* found = entry(index);
    if (!found)
        return QVariant();
    if (role == Qt::ToolTipRole)
        return keysToolTip(*found);
    if (role == Qt::ForegroundRole) {
        const bool faint = found->pending || found->result.keys.isEmpty()
            || found->result.keys.first().expired || found->result.keys.first().revoked;
        return faint ? QVariant(QPalette().brush(QPalette::Disabled, QPalette::Text)) : QVariant();
    }
    return keyText(*found, index.column());
}

QString KeyFileModel::readableFingerprint(const QString& fingerprint)
{
    QStringList groups;
    for (int i = 0; i < fingerprint.size(); i += 4)
        groups << fingerprint.mid(i, 4);
    return groups.join(QLatin1Char(' '));
}

// The entry of a file, starting its read when there is none or the file has changed since.
const KeyFileModel::Entry* KeyFileModel::entry(const QModelIndex& index) const
{
    const QModelIndex name = index.sibling(index.row(), 0);
    if (isDir(name))
        return nullptr;
    const QString path = filePath(name);
    const QFileInfo info(path);
    Entry& found = _entries[path];
    if (found.size == info.size() && found.modified == info.lastModified())
        return &found;
    found = Entry {info.size(), info.lastModified(), true, {}};
    auto* self = const_cast<KeyFileModel*>(this);
    _readers.start([self, path, size = found.size, modified = found.modified] {
        const KeyFileReader::Result result = KeyFileReader::read(path);
        QMetaObject::invokeMethod(
            self,
            [self, path, size, modified, result] { self->store(path, size, modified, result); },
            Qt::QueuedConnection);
    });
    return &found;
}

QVariant KeyFileModel::keyText(const Entry& entry, int column) const
{
    if (entry.pending)
        return column == UserIdColumn ? tr("Reading…") : QString();
    if (entry.result.keys.isEmpty())
        return column == UserIdColumn ? entry.result.error : QString();
    const KeyFileReader::Key& key = entry.result.keys.first();
    switch (column) {
    case UserIdColumn: {
        const QString userId = key.userId.isEmpty() ? tr("(no user id)") : key.userId;
        const int more = entry.result.keys.size() - 1;
        return more > 0 ? tr("%1 (and %n more keys)", nullptr, more).arg(userId) : userId;
    }
    case FingerprintColumn:
        return readableFingerprint(key.fingerprint);
    case AlgorithmColumn:
        return key.algorithm;
    case ExpiresColumn:
        return key.revoked ? tr("revoked") : expiryText(key);
    default:
        return QVariant();
    }
}

QString KeyFileModel::keysToolTip(const Entry& entry) const
{
    if (entry.pending)
        return QString();
    QStringList lines;
    for (const KeyFileReader::Key& key : entry.result.keys) {
        lines << tr("%1\n%2, %3, expires: %4")
                     .arg(key.userId, readableFingerprint(key.fingerprint), key.algorithm,
                          key.revoked ? tr("revoked") : expiryText(key));
    }
    if (!entry.result.error.isEmpty())
        lines << entry.result.error;
    return lines.join(QStringLiteral("\n\n"));
}

void KeyFileModel::store(const QString& path, qint64 size, const QDateTime& modified,
                         const KeyFileReader::Result& result)
{
    auto found = _entries.find(path);
    // A newer read of a file changed meanwhile is already on its way.
    if (found == _entries.end() || found->size != size || found->modified != modified)
        return;
    found->pending = false;
    found->result = result;
    const QModelIndex name = index(path);
    if (name.isValid())
        Q_EMIT dataChanged(name.sibling(name.row(), UserIdColumn),
                           name.sibling(name.row(), ExpiresColumn));
}

// The file-system model announces changed files for its own four columns only.
void KeyFileModel::refreshKeyColumns(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (topLeft.column() >= UserIdColumn)
        return;
    Q_EMIT dataChanged(topLeft.sibling(topLeft.row(), UserIdColumn),
                       bottomRight.sibling(bottomRight.row(), ExpiresColumn));
}
