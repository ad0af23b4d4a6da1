#pragma once

#include "bsign.h"
#include "filelister.h"
#include "signatureverifier.h"

#include <QCoreApplication>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// Verifies the signatures of every file under a selection: the files are listed off the
// calling thread the way a signing run lists them (FileLister: in ElfOnly mode only ELF files,
// otherwise every regular file), and each is verified once, several at once
// (SignatureVerifier). The results reach the calling thread and stay there for the caller.
// The command line's verification and the check before ELF verification is switched to On
// (from the command line and from the settings page) are made of it.
class SignatureAudit : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        // Real paths (sandbox root included), files or folders.
        QStringList paths;
        Bsign::SignMode mode = Bsign::ElfAndXattr;
        int jobs = QThread::idealThreadCount();
    };

    struct File
    {
        QString path;
        // Whether the tool answered; otherwise failure says why not.
        bool verified = false;
        Bsign::VerificationResult signatures;
        QString failure;
    };

    // An entry that could not be listed, with the reason in the administrator's words.
    struct Problem
    {
        QString path;
        QString reason;
    };

    explicit SignatureAudit(const Options& options, QObject* parent = nullptr);
    // Stops the listing and kills the tools still running.
    ~SignatureAudit() override;

    // The folders that hold programs and libraries, as the system knows them; the check before
    // ELF verification is switched to On looks at the ELF files in those that exist.
    static QStringList executableFolders();
    // Their real paths (sandbox root included), those that exist only.
    static QStringList existingExecutableFolders();
    // The check before ELF verification is switched to On: the ELF files under the real paths
    // given, or under the existing executable folders when none are given.
    static Options executableCheck(const QStringList& realPaths = QStringList());
    // How many of the files the check refuses to name at most.
    static constexpr int shownLacking = 10;

    void start();
    // Stops listing and verifying; ended() follows at once.
    void cancel();

    bool isRunning() const { return _running; }
    bool wasCancelled() const { return _cancelled; }
    qint64 doneCount() const { return _files.size(); }
    qint64 listedCount() const { return _listed; }
    bool isListingComplete() const { return _listingComplete; }

    // Whether a file carries the signature the mode asks for: an ELF signature (ElfOnly), an
    // extended-attribute signature (XattrOnly), either of them (ElfAndXattr).
    bool isSigned(const File& file) const;
    // The files verified so far, in the order their results came.
    const QList<File>& files() const { return _files; }
    const QList<Problem>& problems() const { return _problems; }
    // The verified files without the signature the mode asks for, and those the tool did not
    // answer for.
    qint64 unsignedCount() const;
    qint64 failedCount() const;
    // Those two together and the entries that could not be listed: what a program would lack
    // under verification On.
    qint64 lackingCount() const;
    // The first `limit` of them by path, as the system knows them.
    QStringList lackingPaths(int limit) const;
    // The outcome of the check before On in a few lines: all signed, or how many lack a good
    // signature and which ones first.
    QString checkFindings() const;

Q_SIGNALS:
    // done of listed files have a result; listed grows until the listing is complete.
    void progressChanged(qint64 done, qint64 listed, bool listingComplete);
    void ended();

private:
    void list();
    void takeListed();
    void takeResults(const QList<SignatureVerifier::Result>& results);
    void finishIfDone();
    void stop();

    const Options _options;
    std::unique_ptr<SignatureVerifier> _verifier;
    std::thread _lister;
    std::atomic<bool> _stop {false};
    bool _running = false;
    bool _cancelled = false;
    qint64 _listed = 0;
    bool _listingComplete = false;
    QHash<quint64, QString> _requested;
    QList<File> _files;
    QList<Problem> _problems;

    // Guards what the lister hands over.
    std::mutex _mutex;
    QStringList _pendingFiles;
    QList<Problem> _pendingProblems;
    bool _listerDone = false;
    bool _handOverScheduled = false;
};
