#include "signingengine.h"

#include "signingrun.h"

SigningEngine::SigningEngine(const Options& options, QObject* parent)
    : QObject(parent)
    , _options(options)
{ }

SigningEngine::~SigningEngine()
{
    if (!_run)
        return;
    _run->abort();
    _run.reset();
}

void SigningEngine::start()
{
    if (_run)
        return;
    _running = true;
    _run = std::make_unique<SigningRun>(_options, [this](const Batch& batch) {
        QMetaObject::invokeMethod(
            this, [this, batch] { deliver(batch); }, Qt::QueuedConnection);
    });
    _run->start();
}

void SigningEngine::cancel()
{
    if (_running)
        _run->cancel();
}

void SigningEngine::deliver(const Batch& batch)
{
    _done = batch.done;
    _listed = batch.listed;
    _listingComplete = batch.listingComplete;
    _summary = batch.summary;
    if (!batch.lines.isEmpty())
        Q_EMIT logged(batch.lines);
    Q_EMIT progressChanged(_done, _listed, _listingComplete);
    if (!batch.last)
        return;
    _running = false;
    _outcome = batch.outcome;
    Q_EMIT ended();
}
