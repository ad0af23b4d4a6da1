#include "signatureverifier.h"

#include <QTimer>

namespace {

// The least time between two batches of results.
constexpr qint64 batchInterval = 40;

} // namespace

SignatureVerifier::SignatureVerifier(int jobs, QObject* parent)
    : QObject(parent)
    , _jobs(std::max(1, jobs))
{ }

SignatureVerifier::~SignatureVerifier()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
        _requests.clear();
    }
    _requested.notify_all();
    _tools.close();
    _tools.killAll();
    for (std::thread& worker : _workers)
        worker.join();
}

quint64 SignatureVerifier::request(const QString& file)
{
    const quint64 ticket = ++_lastTicket;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _requests.push_back({ticket, file});
    }
    if (_workers.empty()) {
        for (int i = 0; i < _jobs; ++i)
            _workers.emplace_back([this] { work(); });
    }
    _requested.notify_one();
    return ticket;
}

int SignatureVerifier::outstanding() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return int(_requests.size()) + _running;
}

void SignatureVerifier::work()
{
    ToolProcess::lowerCallingThreadPriority();
    for (;;) {
        Request request;
        {
            std::unique_lock<std::mutex> lock(_mutex);
            _requested.wait(lock, [this] { return _stopping || !_requests.empty(); });
            if (_stopping)
                return;
            request = _requests.front();
            _requests.pop_front();
            ++_running;
        }
        verify(request);
    }
}

void SignatureVerifier::verify(const Request& request)
{
    Bsign bsign(request.file);
    Result result;
    result.ticket = request.ticket;
    if (!bsign.verify(&_tools)) {
        result.failure = bsign.error() == QProcess::FailedToStart
            ? tr("The signing tool \"%1\" could not be started: %2")
                  .arg(Bsign::program(), bsign.errorString())
            : bsign.errorString();
    } else if (bsign.exitStatus() == QProcess::CrashExit) {
        result.failure = bsign.errorString();
    } else {
        result.signatures = bsign.verificationResult();
        // A tool that printed no verdict at all and failed did not check the file.
        const bool silent
            = result.signatures.elfLine.isEmpty() && result.signatures.xattrLine.isEmpty();
        if (silent && bsign.exitCode() != 0)
            result.failure
                = tr("The signing tool reported: %1")
                      .arg(Bsign::returnValueText(Bsign::toReturnValue(bsign.exitCode())));
        else
            result.verified = true;
    }
    std::lock_guard<std::mutex> lock(_mutex);
    --_running;
    if (_stopping)
        return;
    _results.append(result);
    scheduleDelivery();
}

void SignatureVerifier::scheduleDelivery()
{
    if (_deliveryScheduled)
        return;
    _deliveryScheduled = true;
    QMetaObject::invokeMethod(
        this, [this] { deliver(); }, Qt::QueuedConnection);
}

// Results in a burst wait for the rest of the interval; the last of them goes at once, since
// a view that waits for it (to scroll on, say) would otherwise leave the workers idle.
void SignatureVerifier::deliver()
{
    const qint64 elapsed = _sinceDelivery.isValid() ? _sinceDelivery.elapsed() : batchInterval;
    if (elapsed < batchInterval && outstanding() > 0) {
        QTimer::singleShot(int(batchInterval - elapsed), this, &SignatureVerifier::deliver);
        return;
    }
    QList<Result> results;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        results.swap(_results);
        _deliveryScheduled = false;
    }
    _sinceDelivery.start();
    if (!results.isEmpty())
        Q_EMIT verified(results);
}
