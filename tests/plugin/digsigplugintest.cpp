#include "contextoperation.h"
#include "element.h"
#include "module.h"
#include "plugin.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "treenode.h"
#include "vieweditelementwidget.h"

#include <QPluginLoader>

// Loads the built plug-in library the way the console does and drives what it offers.
class DigSigPluginTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { delete _loader.instance(); }
    void onlyTheSettingsElementStartsTasks_data();
    void onlyTheSettingsElementStartsTasks();

private:
    QPluginLoader _loader;
    Module* _module = nullptr;
};

// One module with three elements and their widgets, as the console shows them.
void DigSigPluginTest::initTestCase()
{
    _loader.setFileName(qEnvironmentVariable("DIGSIG_PLUGIN_DIR") + "/cova-digsig-plugin.so");
    auto* plugin = qobject_cast<Plugin*>(_loader.instance());
    QVERIFY2(plugin && plugin->isValid(), qPrintable(_loader.errorString()));
    _module = plugin->modules().value(0);
    QVERIFY2(!_module->getData(QStringLiteral("paranoid")).isValid(),
             "an unset paranoid value makes every update re-read the settings");
    QStringList shape {plugin->name(), _module->name(),
                       QString::number(plugin->attribute() + _module->attribute())};
    for (Element* element : _module->elements()) {
        const auto* node = dynamic_cast<const TreeNode*>(element);
        ElementWidget* widget = element->elementWidget(MainWidgetRole);
        QVERIFY(node && widget == _module->elementWidget(node->nodeType()));
        QVERIFY(!element->data(1, Qt::DecorationRole).isValid() && widget->element() == element);
        shape << QStringLiteral("%1<%2@%3 ops %4 %5")
                     .arg(node->nodeType(), node->parentType())
                     .arg(node->level())
                     .arg(int(element->availableOperations() & (ReadOperation | UpdateOperation)))
                     .arg(widget->metaObject()->className());
    }
    QCOMPARE(shape,
             (QStringList {"DigSigPlugin", "DigSigModule", "2",
                           "DigSig<LocalComputer@2 ops 96 DigSigElementWidget",
                           "DigSigKeys<DigSig@3 ops 0 KeysElementWidget",
                           "DigSigSigning<DigSig@3 ops 0 SigningElementWidget"}));
}

void DigSigPluginTest::onlyTheSettingsElementStartsTasks_data()
{
    QTest::addColumn<int>("element"); // -1: the settings widget as context
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("start-up") << 0 << int(StartupOperation)
                              << QStringList {"task Read program pinentry state",
                                              "task Read quill keys import state", "base 1"};
    QTest::newRow("update") << 0 << int(UpdateOperation)
                            << QStringList {"base 64", "task Update digital signature settings"};
    QTest::newRow("other operation") << 0 << 2 << QStringList {"base 2"};
    QTest::newRow("keys, start-up") << 1 << int(StartupOperation) << QStringList {"base 1"};
    QTest::newRow("widget context, read") << -1 << int(ReadOperation) << QStringList {"base 32"};
}

// Records, in order, which tasks start and when the framework's own handling runs.
void DigSigPluginTest::onlyTheSettingsElementStartsTasks()
{
    QFETCH(int, element);
    QFETCH(int, type);
    QFETCH(QStringList, events);
    QStringList seen;
    TaskObserver* observer = TaskObserver::instance(nullptr);
    const QMetaObject::Connection connections[] {
        connect(
            _module, &Module::operationPerformed, this,
            [&seen](ContextOperation*, int type) { seen << QStringLiteral("base %1").arg(type); }),
        connect(observer, &TaskObserver::taskStarted, this,
                [&seen](const QString& description) { seen << "task " + description; })};
    auto* settingsWidget = qobject_cast<ViewEditElementWidget*>(_module->elementWidgets().first());
    _module->performOperation(
        element < 0 ? static_cast<ContextOperation*>(settingsWidget)
                    : dynamic_cast<ContextOperation*>(_module->elements().at(element)),
        OperationType(type),
        type == UpdateOperation ? settingsWidget->exportElementData() : nullptr, 0);
    for (const auto& connection : connections)
        disconnect(connection);
    QVERIFY(observer->waitForIdle(60000));
    QCOMPARE(seen, events);
}

DIGSIG_SANDBOX_TEST_MAIN(DigSigPluginTest)
#include "digsigplugintest.moc"
