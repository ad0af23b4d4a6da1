#include "signfilemodel.h"

#include <QDir>

#include <algorithm>

namespace {

const QString pending = QStringLiteral("...");
const QString unverifiable = QStringLiteral("?");

} // namespace

SignFileModel::SignFileModel(QObject* parent)
    : QFileSystemModel(parent)
    , _verifier(new SignatureVerifier(QThread::idealThreadCount(), this))
{
    setFilter(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoSymLinks | QDir::AllDirs
              | QDir::Hidden | QDir::NoDotAndDotDot);
    connect(_verifier, &SignatureVerifier::verified, this, &SignFileModel::onVerified);
}

// Running verifications end with the model, not when the event loop gets to a deferred
// deletion.
SignFileModel::~SignFileModel()
{
    delete _verifier;
}

int SignFileModel::columnCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return QFileSystemModel::columnCount(parent) + 2;
}

QVariant SignFileModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == SignatureColumn)
            return tr("Signature");
        if (section == ExternedSignatureColumn)
            return tr("Externed signature");
    }
    return QFileSystemModel::headerData(section, orientation, role);
}

QVariant SignFileModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QFileSystemModel::data(index, role);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignVCenter);
    const bool signatureColumn
        = index.column() == SignatureColumn || index.column() == ExternedSignatureColumn;
    if (!signatureColumn)
        return QFileSystemModel::data(index, role);
    if (role == Qt::DisplayRole)
        return signatureText(index);
    if (role == SignatureStatusRole)
        return signatureStatus(index);
    if (role == SignatureFailureRole && signatureStatus(index) == Unverifiable)
        return _failureReasons.value(index.sibling(index.row(), 0));
    return QVariant();
}

// Verification is started from a const getter because a view asks for the cell lazily; the
// cache and the requests are the model's own state, not part of its observable data.
qint32 SignFileModel::cellState(const QModelIndex& index) const
{
    const QPersistentModelIndex key(index.sibling(index.row(), 0));
    auto found = _signatures.constFind(key);
    if (found != _signatures.constEnd()) {
        const qint32 state = index.column() == SignatureColumn ? found->elf : found->xattr;
        if (state != Unknown || hasGivenUp(key))
            return state;
    }
    const_cast<SignFileModel*>(this)->requestVerification(key);
    return Pending;
}

QVariant SignFileModel::signatureText(const QModelIndex& index) const
{
    if (isDir(index))
        return pending;
    switch (cellState(index)) {
    case Good:
        return QStringLiteral("1");
    case Bad:
        return QStringLiteral("0");
    case Unknown:
        return unverifiable;
    default:
        return pending;
    }
}

SignFileModel::SignatureStatus SignFileModel::signatureStatus(const QModelIndex& index) const
{
    if (isDir(index))
        return NotApplicable;
    switch (cellState(index)) {
    case Good:
        return Signed;
    case Bad:
        return NotSigned;
    case Unknown:
        return Unverifiable;
    default:
        return Checking;
    }
}

// One verification answers both cells of the row.
void SignFileModel::requestVerification(const QPersistentModelIndex& key)
{
    _signatures.insert(key, {Pending, Pending});
    const quint64 ticket = _verifier->request(filePath(key));
    _tickets.insert(ticket, key);
    _latestTickets.insert(key, ticket);
}

void SignFileModel::onVerified(const QList<SignatureVerifier::Result>& results)
{
    QList<QPersistentModelIndex> changed;
    for (const SignatureVerifier::Result& result : results) {
        const QPersistentModelIndex key = _tickets.take(result.ticket);
        if (!key.isValid() || _latestTickets.value(key) != result.ticket)
            continue;
        _latestTickets.remove(key);
        if (result.verified) {
            _failures.remove(key);
            _failureReasons.remove(key);
            _signatures.insert(
                key,
                {result.signatures.elfGood ? Good : Bad, result.signatures.xattrGood ? Good : Bad});
        } else {
            ++_failures[key];
            _failureReasons.insert(key, result.failure);
            _signatures.insert(key, SignatureState());
        }
        changed.append(key);
    }
    emitSignaturesChanged(changed);
}

bool SignFileModel::hasGivenUp(const QPersistentModelIndex& key) const
{
    return _failures.value(key) >= maxFailedVerifications;
}

void SignFileModel::updateSignatures(const QModelIndexList& indexes)
{
    for (const QModelIndex& index : indexes) {
        if (!index.isValid())
            continue;
        invalidateChildren(index);
        invalidateSignature(index);
    }
}

void SignFileModel::invalidateChildren(const QModelIndex& parent)
{
    const QModelIndex first = parent.sibling(parent.row(), 0);
    const int rows = rowCount(first);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = index(row, 0, first);
        if (!child.isValid())
            continue;
        invalidateChildren(child);
        invalidateSignature(child);
    }
}

void SignFileModel::invalidateSignature(const QModelIndex& index)
{
    const QPersistentModelIndex key(index.sibling(index.row(), 0));
    if (!key.isValid())
        return;
    _signatures.remove(key);
    _failures.remove(key);
    _failureReasons.remove(key);
    _latestTickets.remove(key);
    emitSignaturesChanged({key});
}

// One notification per folder for the rows of a batch: a view repaints once, not per cell.
void SignFileModel::emitSignaturesChanged(const QList<QPersistentModelIndex>& keys)
{
    QHash<QModelIndex, QPair<int, int>> ranges;
    for (const QPersistentModelIndex& key : keys) {
        if (!key.isValid())
            continue;
        auto range = ranges.find(key.parent());
        if (range == ranges.end())
            ranges.insert(key.parent(), {key.row(), key.row()});
        else
            *range = {std::min(range->first, key.row()), std::max(range->second, key.row())};
    }
    for (auto range = ranges.cbegin(); range != ranges.cend(); ++range)
        Q_EMIT dataChanged(index(range->first, SignatureColumn, range.key()),
                           index(range->second, ExternedSignatureColumn, range.key()),
                           {Qt::DisplayRole, SignatureStatusRole, SignatureFailureRole});
}
