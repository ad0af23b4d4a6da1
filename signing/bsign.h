#pragma once

#include "toolprocess.h"

#include <QCoreApplication>
#include <QMetaType>
#include <QProcess>
#include <QString>
#include <QStringList>

// One run of the external signing tool: either signs one file or verifies the signatures of
// one file, and turns what the tool reports into values the signing code understands. The
// tool runs on the calling thread until it ends; a signing run calls it from its workers.
class Bsign
{
    Q_DECLARE_TR_FUNCTIONS(Bsign)
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

    // A verification asks nobody for anything, so one that does not end is killed; what it
    // prints beyond a few lines is never looked at.
    static constexpr int verificationTimeout = 60000;
    static constexpr int verificationOutputLimit = 64 * 1024;

    Bsign() = default;
    explicit Bsign(const QString& file);

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

    // The tool's name, found through PATH.
    static QString program();
    QStringList signArguments() const;
    QStringList verifyArguments() const;

    // Run the tool to its end. False when it could not be started (error() says why) or, for
    // a verification, did not end in time. Signing output is discarded; a tool of a closed
    // group is not started.
    bool sign(ToolProcess::Group* group = nullptr);
    bool verify(ToolProcess::Group* group = nullptr);

    QProcess::ProcessError error() const { return _process.error(); }
    QString errorString() const { return _process.errorString(); }
    QProcess::ExitStatus exitStatus() const { return _process.exitStatus(); }
    int exitCode() const { return _process.exitCode(); }
    bool wasStopped() const { return _process.wasStopped(); }

    ReturnValue returnValue() const;
    VerificationResult verificationResult() const;

    // What is signed when ELF signatures, extended-attribute signatures or both are chosen;
    // neither chosen signs both, as the tool does without a mode flag.
    static SignMode signMode(bool elf, bool xattr);

    static ReturnValue toReturnValue(int exitCode);
    static ReturnValue toReturnValue(QProcess::ExitStatus status, int exitCode);
    static QString returnValueText(const ReturnValue& value);
    static VerificationResult parseVerification(QProcess::ExitStatus status,
                                                const QByteArray& output);

private:
    SignMode _mode = ElfAndXattr;
    bool _forceResign = false;
    QString _homeDir;
    QString _key;
    QString _file;
    ToolProcess _process;
};

Q_DECLARE_METATYPE(Bsign::ReturnValue)
Q_DECLARE_METATYPE(Bsign::SignMode)
