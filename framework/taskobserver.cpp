#include "taskobserver.h"

#include "abstracttask.h"
#include "element.h"
#include "updatetask.h"

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
    const int index = _history.size();
    _running.insert(task, index);
    const auto* elementTask = dynamic_cast<const ElementTask*>(task);
    _history.append({task->taskDescription().description(), TaskDescription::NotFinished, QString(),
                     QDateTime::currentDateTime(), elementTask ? elementTask->element() : nullptr,
                     dynamic_cast<const UpdateTask*>(task) != nullptr});
    Q_EMIT taskStarted(task->taskDescription().description());
    Q_EMIT recordChanged(index);
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
    const int index = _running.take(task);
    Record& entry = _history[index];
    entry.description = description.description();
    entry.status = description.status();
    entry.message = description.message();
    // Receivers may start tasks and so grow the history: announce a copy.
    const Record record = entry;
    delete task;
    --_active;
    Q_EMIT taskFinished(record.description, record.status, record.message);
    Q_EMIT recordChanged(index);
}

QList<TaskObserver::Record> TaskObserver::history() const
{
    return _history;
}

int TaskObserver::activeTaskCount() const
{
    return _active;
}

bool TaskObserver::isUpdateRunning(const Element* element) const
{
    if (!element)
        return false;
    for (const int index : _running) {
        const Record& record = _history.at(index);
        if (record.update && record.element == element)
            return true;
    }
    return false;
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
