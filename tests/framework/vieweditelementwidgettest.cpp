#include "vieweditelementwidget.h"
#include "elementdata.h"
#include "module.h"
#include "ordinaryelement.h"
#include "readpropertyheavytask.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "updatetask.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QVBoxLayout>

namespace {

struct RecordData : ElementData
{
    explicit RecordData(bool* deleted)
        : deleted(deleted)
    { }
    ~RecordData() override { *deleted = true; }
    QString text;
    bool* deleted;
};

struct Received
{
    ContextOperation* operation = nullptr;
    int type = 0;
    QString text;
    bool hadData = false;
};

// Records what reaches it and then lets the base deal with the data.
class RecordingModule : public Module
{
public:
    RecordingModule()
        : Module(QStringLiteral("RecordingModule"), nullptr, false)
    { }
    void performOperation(ContextOperation* operation, OperationType type, ElementData* data,
                          int n) override
    {
        received.append({operation, type, data ? static_cast<RecordData*>(data)->text : QString(),
                         data != nullptr});
        Module::performOperation(operation, type, data, n);
    }
    QList<Received> received;
};

// A task that does nothing and ends only when the test opens the gate.
template<typename Base> class GatedTask : public Base
{
public:
    GatedTask(Element* element, ElementData* data, QSemaphore* gate)
        : Base(element, data)
        , _gate(gate)
    { }
    void run() override
    {
        _gate->acquire();
        this->taskDescription().setStatus(TaskDescription::Succeeded);
        AbstractTask::run();
    }

private:
    QSemaphore* _gate;
};

// A read needs no data of its own.
class ReadTask : public ReadPropertyHeavyTask
{
public:
    ReadTask(Element* element, ElementData*)
        : ReadPropertyHeavyTask(element)
    { }
};

// Turns every update operation into a gated update task, as a plug-in's module would.
class UpdatingModule : public Module
{
public:
    UpdatingModule()
        : Module(QStringLiteral("UpdatingModule"), nullptr, false)
    { }
    void performOperation(ContextOperation* operation, OperationType type, ElementData* data,
                          int n) override
    {
        if (type == UpdateOperation) {
            ++updates;
            TaskObserver::instance(nullptr)->performTask(
                new GatedTask<UpdateTask>(operation->elementContext(), data, &gate));
            data = nullptr;
        }
        Module::performOperation(operation, type, data, n);
    }
    QSemaphore gate;
    int updates = 0;
};

class TestElement : public OrdinaryElement
{
public:
    TestElement(Module& module, const QString& type, OperationTypes operations)
        : OrdinaryElement(module, Module::isAdministratorHierarchy)
        , _operations(operations)
    {
        _nodeType = type;
        _elementType = type;
        _displayName = type + QStringLiteral(" name");
    }
    OperationTypes availableOperations() const override { return _operations; }

private:
    OperationTypes _operations;
};

class EditorWidget : public ViewEditElementWidget
{
public:
    EditorWidget(Module& module, const QString& type, bool* dataDeleted)
        : ViewEditElementWidget(module, Module::isAdministratorHierarchy, nullptr)
        , _dataDeleted(dataDeleted)
    {
        _elementType = type;
        auto* layout = new QVBoxLayout(this);
        lineEdit = new QLineEdit;
        checkBox = new QCheckBox;
        layout->addWidget(lineEdit);
        layout->addWidget(checkBox);
        connect(lineEdit, &QLineEdit::textEdited, this, &ViewEditElementWidget::changeContent);
    }
    ElementData* exportElementData() const override
    {
        auto* data = new RecordData(_dataDeleted);
        data->text = lineEdit->text();
        return data;
    }
    QLineEdit* lineEdit;
    QCheckBox* checkBox;

private:
    bool* _dataDeleted;
};

} // namespace

class ViewEditElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void applySendsUpdateWithExportedRecord();
    void editStateGovernsInputsOfUpdatableElementsOnly();
    void changeFlagFollowsEditsAndReset();
    void widgetsAreAttachedToTheirElements();
    void lockingTheFormLeavesOpenDialogsAnswerable();
    void oneUpdateAtATimeWithTheFormLocked();
};

void ViewEditElementWidgetTest::applySendsUpdateWithExportedRecord()
{
    RecordingModule module;
    bool dataDeleted = false;
    auto* element
        = new TestElement(module, QStringLiteral("Settings"), ReadOperation | UpdateOperation);
    module.elements().append(element);
    auto* widget = new EditorWidget(module, QStringLiteral("Settings"), &dataDeleted);
    module.insertElementWidget(widget);
    module.connectElementWidgets();

    widget->blockEditWidget(false);
    QTest::keyClicks(widget->lineEdit, QStringLiteral("new value"));
    widget->applyContentChanges();

    QCOMPARE(module.received.size(), 1);
    QCOMPARE(module.received[0].type, int(UpdateOperation));
    QCOMPARE(module.received[0].operation, static_cast<ContextOperation*>(element));
    QCOMPARE(module.received[0].operation->contextType(),
             int(ContextOperation::ElementContextType));
    QVERIFY(module.received[0].hadData);
    QCOMPARE(module.received[0].text, QStringLiteral("new value"));
    QVERIFY2(dataDeleted, "the record must not leak when no task takes it");
}

void ViewEditElementWidgetTest::editStateGovernsInputsOfUpdatableElementsOnly()
{
    RecordingModule module;
    bool dataDeleted = false;
    module.elements().append(
        new TestElement(module, QStringLiteral("Settings"), ReadOperation | UpdateOperation));
    module.elements().append(new TestElement(module, QStringLiteral("Viewer"), NoOperation));
    auto* editor = new EditorWidget(module, QStringLiteral("Settings"), &dataDeleted);
    auto* viewer = new EditorWidget(module, QStringLiteral("Viewer"), &dataDeleted);
    module.insertElementWidget(editor);
    module.insertElementWidget(viewer);
    module.connectElementWidgets();

    QSignalSpy editState(editor, &ViewEditElementWidget::editStateChanged);
    editor->blockEditWidget(true);
    viewer->blockEditWidget(true);
    QVERIFY(editor->isEditBlocked());
    QVERIFY(editor->lineEdit->isReadOnly());
    QVERIFY(!editor->checkBox->isEnabled());
    QVERIFY2(!viewer->lineEdit->isReadOnly() && viewer->checkBox->isEnabled(),
             "a widget without an update operation has nothing to lock");

    editor->blockEditWidget(false);
    QVERIFY(!editor->isEditBlocked());
    QVERIFY(!editor->lineEdit->isReadOnly());
    QVERIFY(editor->checkBox->isEnabled());
    QCOMPARE(editState.size(), 2);
    QCOMPARE(editState[0][0].toBool(), true);
    QCOMPARE(editState[1][0].toBool(), false);
}

void ViewEditElementWidgetTest::changeFlagFollowsEditsAndReset()
{
    RecordingModule module;
    bool dataDeleted = false;
    module.elements().append(
        new TestElement(module, QStringLiteral("Settings"), ReadOperation | UpdateOperation));
    auto* widget = new EditorWidget(module, QStringLiteral("Settings"), &dataDeleted);
    module.insertElementWidget(widget);
    module.connectElementWidgets();
    QSignalSpy changed(widget, &ViewEditElementWidget::changedStateChanged);

    QVERIFY(!widget->isChanged());
    widget->lineEdit->setText(QStringLiteral("programmatic"));
    QVERIFY2(!widget->isChanged(), "only edits connected to changeContent() mark a change");
    QTest::keyClick(widget->lineEdit, Qt::Key_A);
    QVERIFY(widget->isChanged());
    widget->reset();
    QVERIFY(!widget->isChanged());
    QTest::keyClick(widget->lineEdit, Qt::Key_B);
    widget->setUnchanged();
    QVERIFY(!widget->isChanged());
    QCOMPARE(changed.size(), 4);
}

void ViewEditElementWidgetTest::widgetsAreAttachedToTheirElements()
{
    RecordingModule module;
    bool dataDeleted = false;
    auto* settings = new TestElement(module, QStringLiteral("Settings"), ReadOperation);
    auto* other = new TestElement(module, QStringLiteral("Other"), NoOperation);
    module.elements() << settings << other;
    auto* widget = new EditorWidget(module, QStringLiteral("Settings"), &dataDeleted);
    module.insertElementWidget(widget);
    module.connectElementWidgets();

    QCOMPARE(widget->element(), static_cast<Element*>(settings));
    QCOMPARE(widget->role(), int(MainWidgetRole));
    QCOMPARE(settings->elementWidget(MainWidgetRole), static_cast<ElementWidget*>(widget));
    QCOMPARE(other->elementWidget(MainWidgetRole), nullptr);
    QCOMPARE(settings->elementWidget(NoWidgetRole), nullptr);
    QCOMPARE(module.elementWidget(QStringLiteral("Settings")), static_cast<ElementWidget*>(widget));
    QCOMPARE(widget->contextType(), int(ContextOperation::WidgetContextType));
    QCOMPARE(widget->elementContext(), static_cast<Element*>(settings));
    QCOMPARE(widget->caption(), QStringLiteral("Settings name"));
}

void ViewEditElementWidgetTest::lockingTheFormLeavesOpenDialogsAnswerable()
{
    RecordingModule module;
    bool dataDeleted = false;
    module.elements().append(
        new TestElement(module, QStringLiteral("Settings"), ReadOperation | UpdateOperation));
    auto* widget = new EditorWidget(module, QStringLiteral("Settings"), &dataDeleted);
    module.insertElementWidget(widget);
    module.connectElementWidgets();
    widget->blockEditWidget(false);

    // A read that ends while a question is open locks the form, not the question.
    bool yesEnabled = false;
    TestSupport::onNextModal([widget, &yesEnabled](QWidget* modal) {
        widget->blockEditWidget(true);
        auto* box = qobject_cast<QMessageBox*>(modal);
        yesEnabled = box->button(QMessageBox::Yes)->isEnabled();
        box->button(QMessageBox::Yes)->click();
    });
    const auto answer
        = QMessageBox::question(widget, QStringLiteral("Question"), QStringLiteral("Go?"),
                                QMessageBox::Yes | QMessageBox::No);
    QVERIFY(yesEnabled);
    QCOMPARE(answer, QMessageBox::Yes);
    QVERIFY(!widget->checkBox->isEnabled());
}

void ViewEditElementWidgetTest::oneUpdateAtATimeWithTheFormLocked()
{
    UpdatingModule module;
    bool dataDeleted = false;
    auto* element
        = new TestElement(module, QStringLiteral("Settings"), ReadOperation | UpdateOperation);
    module.elements().append(element);
    auto* widget = new EditorWidget(module, QStringLiteral("Settings"), &dataDeleted);
    module.insertElementWidget(widget);
    module.connectElementWidgets();
    TaskObserver* observer = TaskObserver::instance(nullptr);
    widget->blockEditWidget(false);
    QTest::keyClicks(widget->lineEdit, QStringLiteral("x"));
    // A read of the element is no update: it holds nothing back.
    QSemaphore readGate;
    observer->performTask(new GatedTask<ReadTask>(element, nullptr, &readGate));
    QVERIFY(!widget->isUpdateRunning());

    widget->applyContentChanges();
    widget->applyContentChanges();
    readGate.release();
    QCOMPARE(module.updates, 1);
    QVERIFY(widget->isUpdateRunning());
    QVERIFY(observer->isUpdateRunning(element));
    QVERIFY2(widget->lineEdit->isReadOnly() && !widget->checkBox->isEnabled(),
             "edits made during the update would be lost to the read after it");

    module.gate.release();
    QVERIFY(observer->waitForIdle(10000));
    QVERIFY(!widget->isUpdateRunning());
    QVERIFY(!widget->lineEdit->isReadOnly() && widget->checkBox->isEnabled());
    const TaskObserver::Record record = observer->history().constLast();
    QCOMPARE(record.element, QPointer<Element>(element));
    QVERIFY(record.update);
    QVERIFY(record.started.isValid());

    widget->applyContentChanges();
    QCOMPARE(module.updates, 2);
    module.gate.release();
    QVERIFY(observer->waitForIdle(10000));
}

DIGSIG_SANDBOX_TEST_MAIN(ViewEditElementWidgetTest)
#include "vieweditelementwidgettest.moc"
