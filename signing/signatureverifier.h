#pragma once

#include "bsign.h"
#include "toolprocess.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Verifies the signatures of files with the signing tool, one run per file answering both
// signatures, up to `jobs` runs at once, started in the order they were requested. Results
// reach the verifier's thread in batches, a few dozen times a second at most.
class SignatureVerifier : public QObject
{
    Q_OBJECT
public:
    struct Result
    {
        quint64 ticket = 0;
        // Whether the tool ran and answered; otherwise failure says why not.
        bool verified = false;
        Bsign::VerificationResult signatures;
        QString failure;
    };

    explicit SignatureVerifier(int jobs = QThread::idealThreadCount(), QObject* parent = nullptr);
    // Drops the waiting requests and kills the running tools.
    ~SignatureVerifier() override;

    // Queues a verification; its result carries the returned ticket.
    quint64 request(const QString& file);
    // Requests not verified yet, waiting or running; thread-safe.
    int outstanding() const;

Q_SIGNALS:
    void verified(const QList<SignatureVerifier::Result>& results);

private:
    struct Request
    {
        quint64 ticket;
        QString file;
    };

    void work();
    void verify(const Request& request);
    void scheduleDelivery();
    void deliver();

    const int _jobs;
    quint64 _lastTicket = 0;
    std::vector<std::thread> _workers;
    ToolProcess::Group _tools;

    // Guards the requests, the results and the stop.
    mutable std::mutex _mutex;
    std::condition_variable _requested;
    std::deque<Request> _requests;
    QList<Result> _results;
    int _running = 0;
    bool _deliveryScheduled = false;
    bool _stopping = false;

    QElapsedTimer _sinceDelivery;
};
