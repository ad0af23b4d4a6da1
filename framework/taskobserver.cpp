#include "taskobserver.h"

#include "abstracttask.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>

TaskObserver::TaskObserver(QObject* parent)
    : QObject(parent)
    , _active(0)
{
    _pool.setMaxThreadCount(2);
}

TaskObserver* TaskObserver::instance(QObject* parent)
{
    static TaskObserver* observer = new TaskObserver(parent);
    return observer;
}

void TaskObserver::performTask(AbstractTask* task)
{
    if (!task)
        return;
    ++_active;
    _running.insert(task, _history.size());
    _history.append(
        {task->taskDescription().description(), TaskDescription::NotFinished, QString()});
    Q_EMIT taskStarted(task->taskDescription().description());
    _pool.start([this, task] {
        task->run();
        QMetaObject::invokeMethod(
            this, [this, task] { finishTask(task); }, Qt::QueuedConnection);
    });
}

void TaskObserver::finishTask(AbstractTask* task)
{
    task->afterRun();
    const TaskDescription& description = task->taskDescription();
    const Record record {description.description(), description.status(), description.message()};
    _history[_running.take(task)] = record;
    delete task;
    --_active;
    Q_EMIT taskFinished(record.description, record.status, record.message);
}

QList<TaskObserver::Record> TaskObserver::history() const
{
    return _history;
}

int TaskObserver::activeTaskCount() const
{
    return _active;
}

bool TaskObserver::waitForIdle(int msecs)
{
    QDeadlineTimer deadline(msecs);
    while (_active > 0) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
