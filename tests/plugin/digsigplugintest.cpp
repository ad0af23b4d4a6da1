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
    void cleanupTestCase();
    void oneModuleWithThreeElementsAndTheirWidgets();
    void onlyTheSettingsElementStartsTasks_data();
    void onlyTheSettingsElementStartsTasks();

private:
    QPluginLoader _loader;
    Module* _module = nullptr;
};

const QStringList iconNames {"application-pkcs7-signature", "application-pgp-keys",
                             "application-pgp-signature"};

// A theme holding the three element icons, so that a found icon keeps its theme name.
void DigSigPluginTest::initTestCase()
{
    const QString theme = TestSupport::sandboxRoot() + QStringLiteral("/icons/digsigtest");
    QVERIFY(TestSupport::writeFile(theme + "/index.theme",
                                   "[Icon Theme]\nName=digsigtest\nDirectories=apps\n\n"
                                   "[apps]\nSize=16\nType=Fixed\n"));
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QVERIFY(QDir().mkpath(theme + "/apps"));
    for (const QString& name : iconNames)
        QVERIFY(image.save(theme + "/apps/" + name + ".png"));
    QIcon::setThemeSearchPaths({TestSupport::sandboxRoot() + QStringLiteral("/icons")});
    QIcon::setThemeName(QStringLiteral("digsigtest"));

    _loader.setFileName(qEnvironmentVariable("DIGSIG_PLUGIN_DIR") + "/cova-digsig-plugin.so");
    auto* plugin = qobject_cast<Plugin*>(_loader.instance());
    QVERIFY2(plugin && plugin->isValid(), qPrintable(_loader.errorString()));
    QCOMPARE(plugin->modules().size(), 1);
    _module = plugin->modules().first();
    QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                 .arg(plugin->name(), _module->name())
                 .arg(plugin->attribute())
                 .arg(_module->attribute()),
             QStringLiteral("DigSigPlugin DigSigModule 1 1"));
}

void DigSigPluginTest::cleanupTestCase()
{
    delete _loader.instance();
}

void DigSigPluginTest::oneModuleWithThreeElementsAndTheirWidgets()
{
    QCOMPARE(_module->getData(QStringLiteral("administrator")).toBool(), true);
    QVERIFY2(!_module->getData(QStringLiteral("paranoid")).isValid(),
             "an unset paranoid value makes every update re-read the settings");
    const QStringList classes {"DigSigElementWidget", "KeysElementWidget", "SigningElementWidget"};
    QStringList shape;
    QCOMPARE(_module->elements().size(), 3);
    QCOMPARE(_module->elementWidgets().size(), 3);
    for (int i = 0; i < 3; ++i) {
        Element* element = _module->elements()[i];
        const auto* node = dynamic_cast<const TreeNode*>(element);
        QVERIFY(node && dynamic_cast<const ContextOperation*>(element));
        shape << QStringLiteral("%1<%2@%3 ops %4")
                     .arg(node->nodeType(), node->parentType())
                     .arg(node->level())
                     .arg(int(element->availableOperations() & (ReadOperation | UpdateOperation)));
        for (int role : {int(Qt::DecorationRole), int(Qt::UserRole + 7)})
            QCOMPARE(element->data(0, role).value<QIcon>().name(), iconNames[i]);
        QVERIFY(!element->data(1, Qt::DecorationRole).isValid());
        QVERIFY(!element->data(0, Qt::UserRole + 6).isValid());
        ElementWidget* widget = element->elementWidget(MainWidgetRole);
        QCOMPARE(widget, _module->elementWidget(node->nodeType()));
        QCOMPARE(widget->metaObject()->className(), classes[i].toLatin1());
        QCOMPARE(widget->element(), element);
    }
    QCOMPARE(shape,
             (QStringList {"DigSig<LocalComputer@2 ops 96", "DigSigKeys<DigSig@3 ops 0",
                           "DigSigSigning<DigSig@3 ops 0"}));
}

void DigSigPluginTest::onlyTheSettingsElementStartsTasks_data()
{
    QTest::addColumn<int>("element"); // -1: the settings widget as context
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("start-up") << 0 << int(StartupOperation)
                              << QStringList {"task Read program pinentry state",
                                              "task Read quill keys import state", "base 1"};
    QTest::newRow("read") << 0 << int(ReadOperation)
                          << QStringList {"base 32", "task Read digital signature settings"};
    QTest::newRow("update") << 0 << int(UpdateOperation)
                            << QStringList {"base 64", "task Update digital signature settings"};
    QTest::newRow("other operation") << 0 << 2 << QStringList {"base 2"};
    QTest::newRow("keys, start-up") << 1 << int(StartupOperation) << QStringList {"base 1"};
    QTest::newRow("signing, update") << 2 << int(UpdateOperation) << QStringList {"base 64"};
    QTest::newRow("widget context, read") << -1 << int(ReadOperation) << QStringList {"base 32"};
}

// Records, in order, which tasks start and when the framework's own handling runs.
void DigSigPluginTest::onlyTheSettingsElementStartsTasks()
{
    QFETCH(int, element);
    QFETCH(int, type);
    QFETCH(QStringList, events);
    QStringList seen;
    const auto record = [&seen](const QString& event) {
        seen << event;
    };
    TaskObserver* observer = TaskObserver::instance(nullptr);
    const QMetaObject::Connection connections[] {
        connect(
            _module, &Module::operationPerformed, this,
            [record](ContextOperation*, int type) { record(QStringLiteral("base %1").arg(type)); }),
        connect(observer, &TaskObserver::taskStarted, this,
                [record](const QString& description) { record("task " + description); })};
    auto* settingsWidget = qobject_cast<ViewEditElementWidget*>(_module->elementWidgets().first());
    ContextOperation* context = element < 0
        ? settingsWidget
        : dynamic_cast<ContextOperation*>(_module->elements().at(element));
    _module->performOperation(
        context, OperationType(type),
        type == UpdateOperation ? settingsWidget->exportElementData() : nullptr, 0);
    for (const auto& connection : connections)
        disconnect(connection);
    QVERIFY(observer->waitForIdle(60000));
    QCOMPARE(seen, events);
}

DIGSIG_SANDBOX_TEST_MAIN(DigSigPluginTest)
#include "digsigplugintest.moc"
