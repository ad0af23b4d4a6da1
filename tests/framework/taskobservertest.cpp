#include "taskobserver.h"
#include "abstracttask.h"
#include "elementdata.h"
#include "testsupport.h"

#include <QThread>

namespace {

struct Trace
{
    QThread* runThread = nullptr;
    QThread* afterRunThread = nullptr;
    bool ranBeforeAfterRun = false;
    bool destroyed = false;
    bool dataDestroyed = false;
};

struct TracedData : ElementData
{
    explicit TracedData(Trace* trace)
        : trace(trace)
    { }
    ~TracedData() override { trace->dataDestroyed = true; }
    Trace* trace;
};

class TracedTask : public AbstractTask
{
public:
    TracedTask(Trace* trace, int status, const QString& message)
        : AbstractTask(new TracedData(trace))
        , _trace(trace)
        , _status(status)
        , _message(message)
    {
        taskDescription().setDescription(QStringLiteral("traced"));
    }
    ~TracedTask() override { _trace->destroyed = true; }
    void run() override
    {
        _trace->runThread = QThread::currentThread();
        taskDescription().setStatus(_status);
        taskDescription().setMessage(_message);
        AbstractTask::run();
    }
    void afterRun() override
    {
        _trace->afterRunThread = QThread::currentThread();
        _trace->ranBeforeAfterRun = hasRun();
        if (followUp)
            TaskObserver::instance(nullptr)->performTask(followUp);
    }
    AbstractTask* followUp = nullptr;

private:
    Trace* _trace;
    int _status;
    QString _message;
};

} // namespace

class TaskObserverTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runsOffTheGuiThreadThenAfterRunOnIt();
    void keepsHistoryAndAnnouncesEachEnd();
    void taskStartedFromAfterRunAlsoRuns();
};

void TaskObserverTest::runsOffTheGuiThreadThenAfterRunOnIt()
{
    Trace trace;
    TaskObserver* observer = TaskObserver::instance(nullptr);
    QSignalSpy finished(observer, &TaskObserver::taskFinished);
    observer->performTask(new TracedTask(&trace, TaskDescription::Succeeded, QString()));
    QTRY_COMPARE(finished.size(), 1);

    QVERIFY(trace.runThread);
    QVERIFY(trace.runThread != QThread::currentThread());
    QVERIFY(trace.runThread != QCoreApplication::instance()->thread());
    QCOMPARE(trace.afterRunThread, QThread::currentThread());
    QVERIFY(trace.ranBeforeAfterRun);
    QVERIFY2(trace.destroyed && trace.dataDestroyed, "the observer owns the task and its data");
    QCOMPARE(observer->activeTaskCount(), 0);
}

void TaskObserverTest::keepsHistoryAndAnnouncesEachEnd()
{
    TaskObserver* observer = TaskObserver::instance(nullptr);
    const int before = observer->history().size();
    QSignalSpy started(observer, &TaskObserver::taskStarted);
    QSignalSpy finished(observer, &TaskObserver::taskFinished);
    Trace first;
    Trace second;
    observer->performTask(new TracedTask(&first, TaskDescription::Failed, QStringLiteral("a\nb")));
    observer->performTask(
        new TracedTask(&second, TaskDescription::SucceededWithWarnings, QStringLiteral("w")));
    QCOMPARE(started.size(), 2);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(observer->waitForIdle(1000));

    const QList<TaskObserver::Record> history = observer->history().mid(before);
    QCOMPARE(history.size(), 2);
    QSet<QString> messages;
    for (const TaskObserver::Record& record : history) {
        QCOMPARE(record.description, QStringLiteral("traced"));
        messages.insert(QString::number(record.status) + QLatin1Char(':') + record.message);
    }
    QCOMPARE(messages, (QSet<QString> {QStringLiteral("1:a\nb"), QStringLiteral("3:w")}));
}

void TaskObserverTest::taskStartedFromAfterRunAlsoRuns()
{
    TaskObserver* observer = TaskObserver::instance(nullptr);
    QSignalSpy finished(observer, &TaskObserver::taskFinished);
    Trace first;
    Trace second;
    auto* task = new TracedTask(&first, TaskDescription::Succeeded, QString());
    task->followUp = new TracedTask(&second, TaskDescription::Succeeded, QString());
    observer->performTask(task);
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(second.destroyed);
    QCOMPARE(second.afterRunThread, QThread::currentThread());
}

DIGSIG_SANDBOX_TEST_MAIN(TaskObserverTest)
#include "taskobservertest.moc"
