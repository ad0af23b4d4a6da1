#pragma once

#include <QMetaType>
#include <QPersistentModelIndex>
#include <QProcess>
#include <QString>
#include <QStringList>

// One run of the external signing tool: either signs one file or verifies the signatures of
// one file, and turns what the tool reports into values the signing code understands.
class Bsign : public QProcess
{
    Q_OBJECT
public:
    enum SignMode : qint32 { ElfOnly = 0, XattrOnly = 1, ElfAndXattr = 2 };

    // Values 1 to 36 are the Linux error numbers of the same meaning; 64 to 70 are the tool's
    // own codes.
    enum ReturnValue : qint32 {
        NoError = 0,
        PermissionDenied = 1,
        FileNotFound = 2,
        NoMemory = 12,
        IsDirectory = 21,
        InvalidArgument = 22,
        TooManyOpenFiles = 24,
        FileBusy = 26,
        NoSpaceOnDevice = 28,
        NameTooLong = 36,
        NoHashFound = 64,
        NoSignatureFound = 65,
        BadHashFound = 66,
        BadSignatureFound = 67,
        UnsupportedFileType = 68,
        BadPassPhrase = 69,
        RewriteFailed = 70,
        UnknownError = 1001
    };

    struct VerificationResult
    {
        bool elfGood = false;
        QString elfLine;
        bool xattrGood = false;
        QString xattrLine;
    };

    explicit Bsign(QObject* parent = nullptr);
    Bsign(const QPersistentModelIndex& index, const QString& file, QObject* parent);

    QPersistentModelIndex index() const { return _index; }
    void setIndex(const QPersistentModelIndex& index) { _index = index; }
    SignMode mode() const { return _mode; }
    void setMode(SignMode mode) { _mode = mode; }
    bool forceResign() const { return _forceResign; }
    void setForceResign(bool forceResign) { _forceResign = forceResign; }
    QString homeDir() const { return _homeDir; }
    void setHomeDir(const QString& homeDir) { _homeDir = homeDir; }
    QString key() const { return _key; }
    void setKey(const QString& key) { _key = key; }
    QString file() const { return _file; }
    void setFile(const QString& file) { _file = file; }

    // The arguments sign() passes to the tool.
    QStringList signArguments() const;

    ReturnValue returnValue() const;
    VerificationResult verificationResult();

    static ReturnValue toReturnValue(int exitCode);
    static ReturnValue toReturnValue(QProcess::ExitStatus status, int exitCode);
    static QString returnValueText(const ReturnValue& value);
    static VerificationResult parseVerification(QProcess::ExitStatus status,
                                                const QByteArray& output);

    // Makes Bsign::ReturnValue and QProcess::ProcessError usable in queued connections.
    static void registerMetaTypes();

public Q_SLOTS:
    void sign();
    void verify();

private:
    QPersistentModelIndex _index;
    SignMode _mode = ElfAndXattr;
    bool _forceResign = false;
    QString _homeDir;
    QString _key;
    QString _file;
};

Q_DECLARE_METATYPE(Bsign::ReturnValue)
Q_DECLARE_METATYPE(Bsign::SignMode)
