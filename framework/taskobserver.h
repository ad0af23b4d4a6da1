#pragma once

#include "covaframework_export.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

class AbstractTask;
class Element;

// Runs console tasks: run() on a worker of its own pool, then afterRun() on the observer's
// thread (the GUI thread), then deletes the task. Its own pool keeps tasks independent of the
// global pool, which other work waits on and reconfigures.
class COVAFRAMEWORK_EXPORT TaskObserver : public QObject
{
    Q_OBJECT
public:
    struct Record
    {
        QString description;
        int status = 0;
        QString message;
        QDateTime started;
        // The element an element task is about; null for other tasks.
        QPointer<Element> element;
        bool update = false;
    };

    // The process-wide observer, created on first use on the calling thread.
    static TaskObserver* instance(QObject* parent);

    // Takes ownership of task.
    void performTask(AbstractTask* task);

    // Every task handed over, in the order they were started; a running one has status 0.
    QList<Record> history() const;
    int activeTaskCount() const;
    // Whether an update task of the element has been handed over and has not ended yet; its
    // afterRun() counts as part of it.
    bool isUpdateRunning(const Element* element) const;
    // Waits, processing events, until no task is running; false on time-out.
    bool waitForIdle(int msecs);

Q_SIGNALS:
    void taskStarted(const QString& description);
    void taskFinished(const QString& description, int status, const QString& message);
    // The history entry at index was added (a task started) or completed (it ended).
    void recordChanged(int index);

private:
    explicit TaskObserver(QObject* parent);
    void finishTask(AbstractTask* task);

    QThreadPool _pool;
    QList<Record> _history;
    QHash<AbstractTask*, int> _running;
    int _active;
};
