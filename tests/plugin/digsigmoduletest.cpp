#include "digsigmodule.h"
#include "digsigelementdata.h"
#include "element.h"
#include "elementwidget.h"
#include "taskobserver.h"
#include "testsupport.h"

// Drives the module's dispatch of console operations and records, in order, which tasks
// start and when the framework's own handling runs.
class DigSigModuleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void operationsOnTheSettingsElementStartTasks_data();
    void operationsOnTheSettingsElementStartTasks();
    void keysAndSigningElementsOnlyReachTheBase_data();
    void keysAndSigningElementsOnlyReachTheBase();
    void widgetContextNeverStartsATask();
    void elementDataStoresValuesUnchanged();

private:
    void perform(ContextOperation* operation, OperationType type, ElementData* data = nullptr);

    DigSigModule* _module = nullptr;
    QStringList _events;
};

void DigSigModuleTest::init()
{
    _events.clear();
    _module = new DigSigModule(nullptr);
    connect(_module, &Module::operationPerformed, this, [this](ContextOperation*, int type) {
        _events << QStringLiteral("base %1").arg(type);
    });
    connect(
        TaskObserver::instance(nullptr), &TaskObserver::taskStarted, this,
        [this](const QString& description) { _events << QStringLiteral("task ") + description; });
}

void DigSigModuleTest::cleanup()
{
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    disconnect(TaskObserver::instance(nullptr), nullptr, this, nullptr);
    delete _module;
}

void DigSigModuleTest::perform(ContextOperation* operation, OperationType type, ElementData* data)
{
    _module->performOperation(operation, type, data, 0);
}

void DigSigModuleTest::operationsOnTheSettingsElementStartTasks_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("start-up") << int(StartupOperation)
                              << QStringList {"task Read program pinentry state",
                                              "task Read quill keys import state", "base 1"};
    QTest::newRow("read") << int(ReadOperation)
                          << QStringList {"base 32", "task Read digital signature settings"};
    QTest::newRow("update") << int(UpdateOperation)
                            << QStringList {"base 64", "task Update digital signature settings"};
    QTest::newRow("other") << 2 << QStringList {"base 2"};
}

void DigSigModuleTest::operationsOnTheSettingsElementStartTasks()
{
    QFETCH(int, type);
    QFETCH(QStringList, events);
    auto* settings = dynamic_cast<ContextOperation*>(_module->elements().at(0));
    QVERIFY(settings);
    ElementData* data = type == UpdateOperation ? new DigSigElementData : nullptr;
    perform(settings, OperationType(type), data);
    QCOMPARE(_events, events);
}

void DigSigModuleTest::keysAndSigningElementsOnlyReachTheBase_data()
{
    QTest::addColumn<int>("element");
    QTest::addColumn<int>("type");
    for (int element : {1, 2}) {
        for (int type : {int(StartupOperation), int(ReadOperation), int(UpdateOperation)}) {
            QTest::addRow("element %d, operation %d", element, type) << element << type;
        }
    }
}

void DigSigModuleTest::keysAndSigningElementsOnlyReachTheBase()
{
    QFETCH(int, element);
    QFETCH(int, type);
    auto* context = dynamic_cast<ContextOperation*>(_module->elements().at(element));
    QVERIFY(context);
    QVERIFY(context->elementType() != QLatin1String("DigSig"));
    perform(context, OperationType(type),
            type == UpdateOperation ? new DigSigElementData : nullptr);
    QCOMPARE(_events, QStringList {QStringLiteral("base %1").arg(type)});
}

void DigSigModuleTest::widgetContextNeverStartsATask()
{
    ElementWidget* widget = _module->elementWidget(QStringLiteral("DigSig"));
    QVERIFY(widget);
    QCOMPARE(widget->elementType(), QStringLiteral("DigSig"));
    perform(widget, ReadOperation);
    perform(widget, StartupOperation);
    QCOMPARE(_events, (QStringList {"base 32", "base 1"}));
}

void DigSigModuleTest::elementDataStoresValuesUnchanged()
{
    DigSigElementData data;
    QCOMPARE(data.ignoreXattrKeys(), false);
    QCOMPARE(data.ignoreGost2001(), false);
    QVERIFY(data.xattrControl().isEmpty());

    data.setElfMode(Debug);
    data.setXattrMode(7);
    data.setIgnoreXattrKeys(true);
    data.setIgnoreGost2001(true);
    data.setXattrControl(QStringLiteral("  //bin/dash\n/usr/\n"));
    QCOMPARE(data.elfMode(), int(Debug));
    QCOMPARE(data.xattrMode(), 7);
    QCOMPARE(data.ignoreXattrKeys(), true);
    QCOMPARE(data.ignoreGost2001(), true);
    QCOMPARE(data.xattrControl(), QStringLiteral("  //bin/dash\n/usr/\n"));
    QVERIFY(isVerificationEnabled(On) && isVerificationEnabled(Debug));
    QVERIFY(!isVerificationEnabled(Off) && !isVerificationEnabled(Invalid));
}

DIGSIG_SANDBOX_TEST_MAIN(DigSigModuleTest)
#include "digsigmoduletest.moc"
