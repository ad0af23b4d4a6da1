#pragma once

#include "signatureverifier.h"

#include <QFileSystemModel>
#include <QHash>
#include <QList>
#include <QPersistentModelIndex>

// The file system with two more columns: whether a file carries a good ELF signature (4) and
// a good extended-attribute signature (5). A file is verified the first time a view asks for
// one of its cells, by one "bsign --verify" that answers both; several files are verified at
// once, started in the order of the requests. The result is cached until updateSignatures()
// drops it. The display role keeps the tool's plain values ("1", "0", "...", and "?" for a
// file that could not be verified); SignatureStatusRole and SignatureFailureRole carry the
// same for a readable presentation.
class SignFileModel : public QFileSystemModel
{
    Q_OBJECT
public:
    enum Column { SignatureColumn = 4, ExternedSignatureColumn = 5 };
    enum Role { SignatureStatusRole = Qt::UserRole + 100, SignatureFailureRole };
    enum SignatureStatus { NotApplicable, Checking, Signed, NotSigned, Unverifiable };
    Q_ENUM(SignatureStatus)

    // A file is not verified again after this many failed verifications in a row, so that a
    // tool that cannot run does not make every repaint start another attempt; its cells then
    // say that it could not be verified, and why.
    static constexpr int maxFailedVerifications = 3;

    explicit SignFileModel(QObject* parent = nullptr);
    ~SignFileModel() override;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void updateSignatures(const QModelIndexList& indexes);

private:
    enum State { Good = 0, Bad = 1, Pending = 254, Unknown = 255 };

    struct SignatureState
    {
        qint32 elf = Unknown;
        qint32 xattr = Unknown;
    };

    qint32 cellState(const QModelIndex& index) const;
    QVariant signatureText(const QModelIndex& index) const;
    SignatureStatus signatureStatus(const QModelIndex& index) const;
    void requestVerification(const QPersistentModelIndex& key);
    void onVerified(const QList<SignatureVerifier::Result>& results);
    bool hasGivenUp(const QPersistentModelIndex& key) const;
    void invalidateChildren(const QModelIndex& parent);
    void invalidateSignature(const QModelIndex& index);
    void emitSignaturesChanged(const QList<QPersistentModelIndex>& keys);

    SignatureVerifier* _verifier;
    QHash<QPersistentModelIndex, SignatureState> _signatures;
    QHash<QPersistentModelIndex, int> _failures;
    QHash<QPersistentModelIndex, QString> _failureReasons;
    // The ticket of the latest verification of each row: an older one may end later, and its
    // result, from before a signing run, must not replace the newer one.
    QHash<QPersistentModelIndex, quint64> _latestTickets;
    QHash<quint64, QPersistentModelIndex> _tickets;
};
