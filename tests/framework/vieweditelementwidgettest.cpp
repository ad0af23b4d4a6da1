#include "vieweditelementwidget.h"
#include "elementdata.h"
#include "module.h"
#include "ordinaryelement.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "updatetask.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>

namespace {

struct TextData : ElementData
{
    explicit TextData(const QString& text)
        : text(text)
    { }
    const QString text;
};

// The observer ends a task on its own thread, so an update runs at least until the test lets
// the event loop run.
struct CheckedUpdate : UpdateTask
{
    using UpdateTask::UpdateTask;
    void afterRun() override { ran = hasRun(); }
    static inline bool ran = false;
};

// Turns every update into an update task that owns the record, as a plug-in's module does.
struct TestElement : OrdinaryElement
{
    TestElement(Module& module, const QString& type, OperationTypes operations)
        : OrdinaryElement(module, Module::isAdministratorHierarchy)
        , operations(operations)
    {
        _nodeType = _elementType = _displayName = type;
        module.elements() << this;
    }
    OperationTypes availableOperations() const override { return operations; }
    void performOperation(OperationType type, ElementData* data, int n) override
    {
        if (type != UpdateOperation)
            return OrdinaryElement::performOperation(type, data, n);
        updates << static_cast<TextData*>(data)->text;
        TaskObserver::instance(nullptr)->performTask(new CheckedUpdate(this, data));
    }
    OperationTypes operations;
    QStringList updates;
};

struct EditorWidget : ViewEditElementWidget
{
    EditorWidget(Module& module, const QString& type)
        : ViewEditElementWidget(module, Module::isAdministratorHierarchy, nullptr)
    {
        _elementType = type;
        connect(lineEdit, &QLineEdit::textEdited, this, &ViewEditElementWidget::changeContent);
        module.insertElementWidget(this);
    }
    ElementData* exportElementData() const override { return new TextData(lineEdit->text()); }
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
    void editStateLocksTheFormAndApplySendsOneUpdateAtATime();
};

// Widgets find their elements by type, whatever the order they were registered in. The module
// owns them all.
void ViewEditElementWidgetTest::editStateLocksTheFormAndApplySendsOneUpdateAtATime()
{
    Module module(QStringLiteral("Updating"), nullptr, false);
    TestElement& settings = *new TestElement(module, "Settings", ReadOperation | UpdateOperation);
    TestElement& viewerElement = *new TestElement(module, "Viewer", NoOperation);
    EditorWidget& viewer = *new EditorWidget(module, "Viewer");
    EditorWidget& editor = *new EditorWidget(module, "Settings");
    module.connectElementWidgets();
    QVERIFY(settings.elementWidget(MainWidgetRole) == &editor
            && !settings.elementWidget(NoWidgetRole)
            && viewerElement.elementWidget(MainWidgetRole) == &viewer
            && editor.elementContext() == &settings);
    QCOMPARE(editor.caption(), QStringLiteral("Settings"));
    QCOMPARE(settings.data(0, Qt::ToolTipRole).toString(), QStringLiteral("Settings"));
    QVERIFY(!settings.data(0, Qt::DecorationRole).isValid());

    QSignalSpy editState(&editor, &ViewEditElementWidget::editStateChanged);
    QSignalSpy changed(&editor, &ViewEditElementWidget::changedStateChanged);
    editor.blockEditWidget(true);
    viewer.blockEditWidget(true);
    QVERIFY(editor.isEditBlocked() && editor.locked());
    QVERIFY2(viewer.open(), "a widget without an update operation has nothing to lock");
    // A read that ends while a question is open locks the form, not the question's window.
    QDialog question(&editor);
    auto* answer = new QLineEdit(&question);
    editor.blockEditWidget(true);
    QVERIFY(editor.locked() && !answer->isReadOnly());
    editor.blockEditWidget(false);
    QVERIFY(!editor.isEditBlocked() && editor.open());
    QCOMPARE(QList<QVariantList>(editState), (QList<QVariantList> {{true}, {true}, {false}}));
    QTest::keyClick(editor.lineEdit, Qt::Key_A);
    editor.reset();
    QTest::keyClicks(editor.lineEdit, QStringLiteral("new"));

    editor.applyContentChanges();
    editor.applyContentChanges();
    QCOMPARE(settings.updates, QStringList {"anew"});
    QVERIFY2(editor.isUpdateRunning() && editor.locked(),
             "edits made during the update would be lost to the read after it");
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(10000));
    QVERIFY(CheckedUpdate::ran && TaskObserver::instance(nullptr)->activeTaskCount() == 0);
    QVERIFY(!editor.isUpdateRunning() && editor.open());
    editor.setUnchanged();
    QCOMPARE(QList<QVariantList>(changed),
             (QList<QVariantList> {{true}, {false}, {true}, {false}}));
    editor.applyContentChanges();
    QCOMPARE(settings.updates, (QStringList {"anew", "anew"}));
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(10000));
}

DIGSIG_SANDBOX_TEST_MAIN(ViewEditElementWidgetTest)
#include "vieweditelementwidgettest.moc"
