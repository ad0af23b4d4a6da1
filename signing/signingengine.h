#pragma once

#include "bsign.h"
#include "signingsummary.h"

#include <QObject>
#include <QStringList>
#include <QThread>

#include <memory>

class KeyManager;
class SigningRun;

// One signing run, without any user interface: the selection is listed off the calling thread
// and feeds up to `jobs` workers, which sign file after file as "find | xargs -P" would. The
// first failure stops all new starts (unless keepGoing), Cancel too; only a fully successful
// run exports the public key and merges the selection into the control file. gpg-agent's
// times are raised while files are signed and restored afterwards. The log lines, which
// optionally also go to the signing log file, and the progress reach the calling thread in
// batches, a few dozen times a second at most; every run ends with one summary line and then
// ended(). Nothing blocks the calling thread, except destroying an engine whose run still
// goes on.
class SigningEngine : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        // Exports the public key at the end; used from the run's own thread while the run lasts.
        KeyManager* keyManager = nullptr;
        QString keyId;
        // Files and folders as the administrator chose them (real paths; in a sandbox they are
        // shown and written into the control file without the sandbox root).
        QStringList paths;
        Bsign::SignMode mode = Bsign::ElfAndXattr;
        // Sign every file even after failures; the run still counts as failed.
        bool keepGoing = false;
        // Also write the log lines to the signing log file, emptied first.
        bool saveLog = false;
        // Where saveLog writes them instead (a real path, never followed through a link);
        // empty for the signing log file.
        QString logPath;
        int jobs = QThread::idealThreadCount();
    };

    enum class Outcome {
        // Not started, or still running.
        None,
        NothingToSign,
        Finished,
        // Every file was signed, but the key export or the control-file merge failed.
        CompletionFailed,
        Failed,
        Cancelled
    };

    // After Cancel, running tools get this long to end, then they are asked to end, and after
    // the second period they are killed.
    static constexpr int cancelGracePeriod = 3000;
    static constexpr int terminateGracePeriod = 2000;
    // The least time between two batches of log lines and progress.
    static constexpr int batchInterval = 40;

    explicit SigningEngine(const Options& options, QObject* parent = nullptr);
    // Ends a run that is still going at once: nothing more starts, running tools are killed,
    // and the run's threads are waited for.
    ~SigningEngine() override;

    void start();
    // Stops listing and starting tools; running tools get the grace period. A run that is
    // already exporting the key and merging the control file completes.
    void cancel();

    bool isRunning() const { return _running; }
    Outcome outcome() const { return _outcome; }
    bool isFinished() const { return _outcome == Outcome::Finished; }
    qint64 doneCount() const { return _done; }
    qint64 listedCount() const { return _listed; }
    bool isListingComplete() const { return _listingComplete; }
    SigningSummary summary() const { return _summary; }

Q_SIGNALS:
    void logged(const QStringList& lines);
    // done of listed files have a result; listed grows until the listing is complete.
    void progressChanged(qint64 done, qint64 listed, bool listingComplete);
    void ended();

private:
    friend class SigningRun;
    struct Batch
    {
        QStringList lines;
        qint64 done = 0;
        qint64 listed = 0;
        bool listingComplete = false;
        SigningSummary summary;
        bool last = false;
        Outcome outcome = Outcome::None;
    };
    void deliver(const Batch& batch);

    Options _options;
    std::unique_ptr<SigningRun> _run;
    bool _running = false;
    Outcome _outcome = Outcome::None;
    qint64 _done = 0;
    qint64 _listed = 0;
    bool _listingComplete = false;
    SigningSummary _summary;
};
