#pragma once

#include <QFileSystemModel>
#include <QHash>
#include <QList>
#include <QPersistentModelIndex>
#include <QProcess>

class Bsign;

// The file system with two more columns: whether a file carries a good ELF signature (4) and
// a good extended-attribute signature (5). A cell is verified the first time a view asks for
// it, by one "bsign --verify" at a time, in the order of the requests; the result is cached
// until updateSignatures() drops it.
class SignFileModel : public QFileSystemModel
{
    Q_OBJECT
public:
    enum Column { SignatureColumn = 4, ExternedSignatureColumn = 5 };

    // A row is not verified again after this many failed verifications in a row, so that a
    // tool that cannot run does not make every repaint start another attempt.
    static constexpr int maxFailedVerifications = 3;

    explicit SignFileModel(QObject* parent = nullptr);
    ~SignFileModel() override;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void updateSignatures(const QModelIndexList& indexes);

private Q_SLOTS:
    void onProcFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onErrorOccurred();
    void startNextProcess();

private:
    enum State { Good = 0, Bad = 1, Pending = 254, Unknown = 255 };

    struct SignatureState
    {
        qint32 elf = Unknown;
        qint32 xattr = Unknown;
    };

    QVariant signatureText(const QModelIndex& index) const;
    void queueVerification(const QModelIndex& index);
    Bsign* takeFinishedProcess(Bsign* process);
    void storeResult(const QPersistentModelIndex& key, const SignatureState& state);
    void markFailed(const QPersistentModelIndex& key);
    bool hasGivenUp(const QPersistentModelIndex& key) const;
    void invalidateChildren(const QModelIndex& parent);
    void invalidateSignature(const QModelIndex& index);
    void emitSignaturesChanged(const QModelIndex& key);

    QHash<QPersistentModelIndex, SignatureState> _signatures;
    QList<Bsign*> _processes;
    QHash<QPersistentModelIndex, int> _failures;
};
