#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

class CommandOutput;

// Tells how far a run is on standard error: on a terminal a bar drawn again in place, otherwise
// plain lines, one when the count of files is known and then one every few seconds.
class ProgressDisplay
{
    Q_DECLARE_TR_FUNCTIONS(ProgressDisplay)
public:
    enum Work { Signing, Verifying };

    static constexpr int lineIntervalMsecs = 5000;
    static constexpr int redrawIntervalMsecs = 50;

    ProgressDisplay(CommandOutput& output, Work work);
    ~ProgressDisplay();

    void update(qint64 done, qint64 listed, bool listingComplete);

private:
    QString counts(qint64 done, qint64 listed, bool listingComplete) const;
    void drawBar(qint64 done, qint64 listed, bool listingComplete);

    CommandOutput& _output;
    const Work _work;
    QElapsedTimer _sinceShown;
    bool _toldTotal = false;
};
