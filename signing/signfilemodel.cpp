#include "signfilemodel.h"

#include "bsign.h"

#include <QDir>

namespace {

const QString pending = QStringLiteral("...");

} // namespace

SignFileModel::SignFileModel(QObject* parent)
    : QFileSystemModel(parent)
{
    setFilter(QDir::Dirs | QDir::Files | QDir::Drives | QDir::NoSymLinks | QDir::AllDirs
              | QDir::Hidden | QDir::NoDotAndDotDot);
}

// The running verification is ended here rather than left to a deferred deletion that may
// never come once the event loop has stopped.
SignFileModel::~SignFileModel()
{
    for (Bsign* process : qAsConst(_processes)) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(-1);
        }
        delete process;
    }
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
    return QVariant();
}

// Verification is started from a const getter because a view asks for the cell lazily; the
// cache and queue are the model's own state, not part of its observable data.
QVariant SignFileModel::signatureText(const QModelIndex& index) const
{
    auto* self = const_cast<SignFileModel*>(this);
    const QPersistentModelIndex key(index.sibling(index.row(), 0));
    const bool elfColumn = index.column() == SignatureColumn;
    auto found = _signatures.constFind(key);
    if (found != _signatures.constEnd()) {
        const qint32 state = elfColumn ? found->elf : found->xattr;
        if (state == Bad)
            return QStringLiteral("0");
        if (state == Good)
            return QStringLiteral("1");
        if (state == Pending || hasGivenUp(key))
            return pending;
    }
    SignatureState state = found != _signatures.constEnd() ? *found : SignatureState();
    (elfColumn ? state.elf : state.xattr) = Pending;
    self->_signatures.insert(key, state);
    self->queueVerification(key);
    return pending;
}

void SignFileModel::queueVerification(const QModelIndex& index)
{
    if (isDir(index))
        return;
    auto* process = new Bsign(QPersistentModelIndex(index), filePath(index), nullptr);
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &SignFileModel::onProcFinished);
    connect(process, &QProcess::errorOccurred, this, &SignFileModel::onErrorOccurred);
    _processes.append(process);
    if (_processes.size() == 1)
        process->verify();
}

void SignFileModel::startNextProcess()
{
    while (!_processes.isEmpty()) {
        Bsign* head = _processes.first();
        if (head->state() != QProcess::NotRunning)
            return;
        if (!hasGivenUp(head->index())) {
            head->verify();
            return;
        }
        _processes.removeFirst();
        head->deleteLater();
    }
}

// QProcess reports a crash through both errorOccurred and finished; acting on the sender and
// only while it is still queued makes the two notifications one completion, so no other file
// is given a result it did not get.
Bsign* SignFileModel::takeFinishedProcess(Bsign* process)
{
    if (!process || !_processes.removeOne(process))
        return nullptr;
    QMetaObject::invokeMethod(this, &SignFileModel::startNextProcess, Qt::QueuedConnection);
    return process;
}

void SignFileModel::onProcFinished(int, QProcess::ExitStatus)
{
    Bsign* process = takeFinishedProcess(qobject_cast<Bsign*>(sender()));
    if (!process)
        return;
    const QPersistentModelIndex key = process->index();
    if (process->exitStatus() == QProcess::NormalExit && key.isValid()) {
        const Bsign::VerificationResult result = process->verificationResult();
        storeResult(key, {result.elfGood ? Good : Bad, result.xattrGood ? Good : Bad});
    } else if (key.isValid()) {
        markFailed(key);
    }
    process->deleteLater();
}

// A crash is announced here before finished() follows; only a process that never ran or has
// already stopped ends with this notification.
void SignFileModel::onErrorOccurred()
{
    auto* process = qobject_cast<Bsign*>(sender());
    if (!process
        || (process->error() != QProcess::FailedToStart
            && process->state() != QProcess::NotRunning))
        return;
    if (!takeFinishedProcess(process))
        return;
    if (process->index().isValid())
        markFailed(process->index());
    process->deleteLater();
}

void SignFileModel::storeResult(const QPersistentModelIndex& key, const SignatureState& state)
{
    _failures.remove(key);
    _signatures.insert(key, state);
    emitSignaturesChanged(key);
}

void SignFileModel::markFailed(const QPersistentModelIndex& key)
{
    ++_failures[key];
    _signatures.insert(key, SignatureState());
    emitSignaturesChanged(key);
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
    const QModelIndex key = index.sibling(index.row(), 0);
    if (!key.isValid())
        return;
    _signatures.remove(key);
    _failures.remove(key);
    emitSignaturesChanged(key);
}

void SignFileModel::emitSignaturesChanged(const QModelIndex& key)
{
    Q_EMIT dataChanged(key.sibling(key.row(), SignatureColumn),
                       key.sibling(key.row(), ExternedSignatureColumn), {Qt::DisplayRole});
}
