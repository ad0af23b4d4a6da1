#include "progressdisplay.h"

#include "commandoutput.h"

ProgressDisplay::ProgressDisplay(CommandOutput& output, Work work)
    : _output(output)
    , _work(work)
{ }

ProgressDisplay::~ProgressDisplay()
{
    _output.clearProgress();
}

QString ProgressDisplay::counts(qint64 done, qint64 listed, bool listingComplete) const
{
    if (_work == Signing)
        return listingComplete ? tr("%1 of %2 files signed").arg(done).arg(listed)
                               : tr("%1 of %2 files signed so far").arg(done).arg(listed);
    return listingComplete ? tr("%1 of %2 files verified").arg(done).arg(listed)
                           : tr("%1 of %2 files verified so far").arg(done).arg(listed);
}

void ProgressDisplay::update(qint64 done, qint64 listed, bool listingComplete)
{
    if (_output.isTerminal()) {
        if (!_sinceShown.isValid() || _sinceShown.elapsed() >= redrawIntervalMsecs
            || (listingComplete && done == listed)) {
            drawBar(done, listed, listingComplete);
            _sinceShown.start();
        }
        return;
    }
    // Nothing to do is said by the summary; a line here would only be noise for a script.
    if (listingComplete && !_toldTotal && listed > 0) {
        _toldTotal = true;
        _output.notice(_work == Signing ? tr("%1 files to sign.").arg(listed)
                                        : tr("%1 files to verify.").arg(listed));
        _sinceShown.start();
    } else if (_sinceShown.isValid() && _sinceShown.elapsed() >= lineIntervalMsecs) {
        _output.notice(counts(done, listed, listingComplete));
        _sinceShown.start();
    } else if (!_sinceShown.isValid()) {
        _sinceShown.start();
    }
}

void ProgressDisplay::drawBar(qint64 done, qint64 listed, bool listingComplete)
{
    const QString text = counts(done, listed, listingComplete);
    const int width = qBound(0, _output.terminalWidth() - text.size() - 4, 40);
    // While the listing goes on the end is not known: the bar shows no share yet.
    const int filled = listingComplete && listed > 0 ? int(width * done / listed) : 0;
    _output.showProgress(QStringLiteral("[%1%2] %3")
                             .arg(QString(filled, QLatin1Char('#')),
                                  QString(width - filled, QLatin1Char('.')), text));
}
