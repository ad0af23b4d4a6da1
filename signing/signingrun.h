#pragma once

#include "filequeue.h"
#include "signingengine.h"
#include "toolprocess.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// The threads of one signing run behind SigningEngine: a control thread that lists, starts
// the workers and completes the run; a lister; the workers; and a pump that hands lines and
// progress to the engine in batches and writes the log file. Workers and lister record
// results under one lock; nothing waits for the thread that created the run.
class SigningRun
{
    Q_DECLARE_TR_FUNCTIONS(SigningRun)
    Q_DISABLE_COPY(SigningRun)
public:
    using Deliver = std::function<void(const SigningEngine::Batch&)>;

    SigningRun(const SigningEngine::Options& options, Deliver deliver);
    // Waits for the run's threads.
    ~SigningRun();

    void start();
    // False when the run is already completing or has ended.
    bool cancel();
    // Cancel without grace: running tools are killed at once.
    void abort();

private:
    enum class Phase { Signing, Completing, Ended };
    enum class StartProblem { None, Vanished, BecameLink, FolderReplaced };

    void control();
    void signFiles();
    void listFiles();
    void work();
    void pump();

    void signFile(const ListedFile& file);
    static StartProblem checkBeforeStart(const ListedFile& file);
    void recordOutcome(const ListedFile& file, const Bsign& bsign, bool ended);
    void recordListingProblem(const QString& path, FileLister::Problem problem,
                              const QString& reason);
    void recordStartProblem(const ListedFile& file, StartProblem problem);
    void failLocked();
    void stopStartingLocked();
    void advanceCancelLocked();

    SigningEngine::Outcome signingOutcome();
    SigningEngine::Outcome complete(QStringList* closing);
    bool exportKey();
    bool mergeControlFile();
    void raiseAgentTimes();
    void restoreAgentTimes();
    void end(SigningEngine::Outcome outcome, const QStringList& lines);

    void log(const QString& line);
    void logLocked(const QString& line);
    SigningEngine::Batch takeBatchLocked();
    QString logFilePath() const;
    void openLogFile();
    QStringList writeLogFile(const QStringList& lines, bool sync);

    const SigningEngine::Options _options;
    const Deliver _deliver;
    FileQueue _queue;
    ToolProcess::Group _tools;
    std::atomic<bool> _stop {false};
    bool _agentRaised = false;

    // Guards everything below.
    std::mutex _mutex;
    std::condition_variable _wake;
    Phase _phase = Phase::Signing;
    bool _cancelled = false;
    bool _failed = false;
    bool _ended = false;
    std::chrono::steady_clock::time_point _cancelTime;
    int _cancelStage = 0;
    QStringList _pending;
    bool _changed = false;
    bool _syncWanted = false;
    qint64 _listed = 0;
    qint64 _done = 0;
    bool _listingComplete = false;
    SigningSummary _summary;
    SigningEngine::Outcome _outcome = SigningEngine::Outcome::None;
    int _logFd = -1;

    std::thread _controlThread;
    std::thread _pumpThread;
};
