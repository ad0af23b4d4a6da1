#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns the first SIGINT, SIGTERM or SIGHUP into interrupted() on the event loop, so that a run
// ends in order (no more tools started, running ones ended, gpg-agent's times restored). A
// second such signal ends the program at once, as it would have without this watcher.
class InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    // Puts back the handling the signals had before.
    ~InterruptWatcher() override;

Q_SIGNALS:
    void interrupted();

private:
    static void handle(int signal);

    static int _pipe[2];
    QSocketNotifier* _notifier;
    struct sigaction _old[3];
};
