#include "vieweditelementwidget.h"
#include "elementdata.h"
#include "elementtask.h"
#include "module.h"
#include "ordinaryelement.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "updatetask.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSemaphore>

namespace {

struct TextData : ElementData
{
    ~TextData() override { ++deleted; }
    QString text;
    static inline int deleted = 0;
};

// A task that ends only when the test opens the gate; it notes where it ran and ended.
template<typename Base> struct GatedTask : Base
{
    GatedTask(QSemaphore* gate, Element* element, ElementData* data = nullptr)
        : Base(element, data)
        , gate(gate)
    { }
    void run() override
    {
        gate->acquire();
        ranOn = QThread::currentThread();
        this->taskDescription().setStatus(TaskDescription::Succeeded);
        AbstractTask::run();
    }
    void afterRun() override { endedOn = this->hasRun() ? QThread::currentThread() : nullptr; }
    QSemaphore* gate;
    static inline QThread* ranOn = nullptr;
    static inline QThread* endedOn = nullptr;
};

// Turns every update into a gated update task that owns the record, as a plug-in's module does.
struct UpdatingModule : Module
{
    using Module::Module;
    void performOperation(ContextOperation* operation, OperationType type, ElementData* data,
                          int n) override
    {
        if (type == UpdateOperation) {
            updates << static_cast<TextData*>(data)->text;
            TaskObserver::instance(nullptr)->performTask(
                new GatedTask<UpdateTask>(&gate, operation->elementContext(), data));
            data = nullptr;
        }
        Module::performOperation(operation, type, data, n);
    }
    QSemaphore gate;
    QStringList updates;
};

struct TestElement : OrdinaryElement
{
    TestElement(Module& module, const QString& type, OperationTypes operations)
        : OrdinaryElement(module, Module::isAdministratorHierarchy)
        , operations(operations)
    {
        _nodeType = _elementType = type;
        _displayName = type + QStringLiteral(" name");
    }
    OperationTypes availableOperations() const override { return operations; }
    OperationTypes operations;
};

struct EditorWidget : ViewEditElementWidget
{
    EditorWidget(Module& module, const QString& type)
        : ViewEditElementWidget(module, Module::isAdministratorHierarchy, nullptr)
    {
        _elementType = type;
        connect(lineEdit, &QLineEdit::textEdited, this, &ViewEditElementWidget::changeContent);
    }
    ElementData* exportElementData() const override
    {
        auto* data = new TextData;
        data->text = lineEdit->text();
        return data;
    }
    bool locked() const { return lineEdit->isReadOnly() && !checkBox->isEnabled(); }
    bool open() const { return !lineEdit->isReadOnly() && checkBox->isEnabled(); }
    QLineEdit* lineEdit = new QLineEdit(this);
    QCheckBox* checkBox = new QCheckBox(this);
};

} // namespace

class ViewEditElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void editStateLocksTheFormOfUpdatableElementsOnly();
    void applySendsOneUpdateAtATimeWithTheFormLocked();

private:
    UpdatingModule* _module = nullptr;
    TestElement* _settings = nullptr;
    EditorWidget* _editor = nullptr;
    EditorWidget* _viewer = nullptr;
};

// Widgets find their elements by type, whatever the order they were registered in.
void ViewEditElementWidgetTest::init()
{
    _module = new UpdatingModule(QStringLiteral("Updating"), nullptr, false);
    _settings = new TestElement(*_module, "Settings", ReadOperation | UpdateOperation);
    auto* viewer = new TestElement(*_module, "Viewer", NoOperation);
    _module->elements() << _settings << viewer;
    _viewer = new EditorWidget(*_module, "Viewer");
    _editor = new EditorWidget(*_module, "Settings");
    _module->insertElementWidget(_viewer);
    _module->insertElementWidget(_editor);
    _module->connectElementWidgets();
    QCOMPARE(_settings->elementWidget(MainWidgetRole), _editor);
    QCOMPARE(viewer->elementWidget(MainWidgetRole), _viewer);
    QCOMPARE(_editor->element(), _settings);
    QCOMPARE(_editor->elementContext(), _settings);
    QCOMPARE(_settings->elementWidget(NoWidgetRole), nullptr);
    QCOMPARE(_editor->caption(), QStringLiteral("Settings name"));
}

void ViewEditElementWidgetTest::cleanup()
{
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(10000));
    delete _module;
}

void ViewEditElementWidgetTest::editStateLocksTheFormOfUpdatableElementsOnly()
{
    QSignalSpy editState(_editor, &ViewEditElementWidget::editStateChanged);
    QSignalSpy changed(_editor, &ViewEditElementWidget::changedStateChanged);
    _editor->blockEditWidget(true);
    _viewer->blockEditWidget(true);
    QVERIFY(_editor->isEditBlocked() && _editor->locked());
    QVERIFY2(_viewer->open(), "a widget without an update operation has nothing to lock");
    _editor->blockEditWidget(false);
    QVERIFY(!_editor->isEditBlocked() && _editor->open());
    // A read that ends while a question is open locks the form, not the question.
    TestSupport::ModalDriver driver([this](QWidget* modal) {
        _editor->blockEditWidget(true);
        return TestSupport::ModalDriver::press(qobject_cast<QMessageBox*>(modal), QMessageBox::Yes);
    });
    QCOMPARE(QMessageBox::question(_editor, QStringLiteral("Question"), QStringLiteral("Go?")),
             QMessageBox::Yes);
    QVERIFY(_editor->locked());
    _editor->blockEditWidget(false);
    QCOMPARE(QList<QVariantList>(editState),
             (QList<QVariantList> {{true}, {false}, {true}, {false}}));

    _editor->lineEdit->setText(QStringLiteral("programmatic"));
    QVERIFY2(!_editor->isChanged(), "only edits connected to changeContent() mark a change");
    QTest::keyClick(_editor->lineEdit, Qt::Key_A);
    QVERIFY(_editor->isChanged());
    _editor->reset();
    QVERIFY(!_editor->isChanged());
    QTest::keyClick(_editor->lineEdit, Qt::Key_B);
    _editor->setUnchanged();
    QCOMPARE(QList<QVariantList>(changed),
             (QList<QVariantList> {{true}, {false}, {true}, {false}}));
}

// The observer runs each task on a worker, then ends it on the GUI thread and deletes it.
void ViewEditElementWidgetTest::applySendsOneUpdateAtATimeWithTheFormLocked()
{
    TaskObserver* observer = TaskObserver::instance(nullptr);
    _editor->blockEditWidget(false);
    QTest::keyClicks(_editor->lineEdit, QStringLiteral("new"));
    // A read of the element is no update: it holds nothing back.
    QSemaphore readGate;
    observer->performTask(new GatedTask<ElementTask>(&readGate, _settings));
    QVERIFY(!_editor->isUpdateRunning());

    const int deleted = TextData::deleted;
    _editor->applyContentChanges();
    _editor->applyContentChanges();
    readGate.release();
    QCOMPARE(_module->updates, QStringList {"new"});
    QVERIFY(_editor->isUpdateRunning() && observer->isUpdateRunning(_settings));
    QVERIFY2(_editor->locked(), "edits made during the update would be lost to the read after it");

    _module->gate.release();
    QVERIFY(observer->waitForIdle(10000));
    QCOMPARE(observer->activeTaskCount(), 0);
    QVERIFY(!_editor->isUpdateRunning() && _editor->open());
    QCOMPARE(observer->history().constLast().element, QPointer<Element>(_settings));
    QCOMPARE(observer->history().constLast().status, int(TaskDescription::Succeeded));
    QVERIFY(GatedTask<UpdateTask>::ranOn && GatedTask<UpdateTask>::ranOn != thread());
    QCOMPARE(GatedTask<UpdateTask>::endedOn, thread());
    QCOMPARE(TextData::deleted, deleted + 1);
    _editor->applyContentChanges();
    QCOMPARE(_module->updates, (QStringList {"new", "new"}));
    _module->gate.release();
}

DIGSIG_SANDBOX_TEST_MAIN(ViewEditElementWidgetTest)
#include "vieweditelementwidgettest.moc"
