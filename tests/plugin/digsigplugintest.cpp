#include "contextoperation.h"
#include "element.h"
#include "elementwidget.h"
#include "module.h"
#include "plugin.h"
#include "testsupport.h"
#include "treenode.h"

#include <QJsonObject>
#include <QPluginLoader>

// Loads the built plug-in library the way the console does.
class DigSigPluginTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void metadataNamesTheInterface();
    void pluginCarriesOneModule();
    void elementsComeInOrderUnderTheirParents();
    void elementsShowTheirIconsOnlyInColumnZero();
    void eachElementHasItsWidget();

private:
    QPluginLoader _loader;
    Plugin* _plugin = nullptr;
};

// A theme holding the three element icons, so that a found icon keeps its theme name.
void installIconTheme()
{
    const QString root = TestSupport::sandboxRoot() + QStringLiteral("/icons");
    QVERIFY(TestSupport::writeFile(root + QStringLiteral("/digsigtest/index.theme"),
                                   "[Icon Theme]\nName=digsigtest\nDirectories=apps\n\n"
                                   "[apps]\nSize=16\nType=Fixed\n"));
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QVERIFY(QDir().mkpath(root + QStringLiteral("/digsigtest/apps")));
    for (const char* name :
         {"application-pkcs7-signature", "application-pgp-keys", "application-pgp-signature"})
        QVERIFY(image.save(root + QStringLiteral("/digsigtest/apps/") + QLatin1String(name)
                           + QStringLiteral(".png")));
    QIcon::setThemeSearchPaths({root});
    QIcon::setThemeName(QStringLiteral("digsigtest"));
}

void DigSigPluginTest::initTestCase()
{
    installIconTheme();
    _loader.setFileName(qEnvironmentVariable("DIGSIG_PLUGIN_DIR")
                        + QStringLiteral("/cova-digsig-plugin.so"));
    QObject* instance = _loader.instance();
    QVERIFY2(instance, qPrintable(_loader.errorString()));
    _plugin = qobject_cast<Plugin*>(instance);
    QVERIFY(_plugin);
}

void DigSigPluginTest::cleanupTestCase()
{
    delete _plugin;
}

void DigSigPluginTest::metadataNamesTheInterface()
{
    const QJsonObject metadata = _loader.metaData();
    QCOMPARE(metadata.value(QStringLiteral("IID")).toString(),
             QStringLiteral("kiro-admin-cova/0.0"));
    QCOMPARE(metadata.value(QStringLiteral("className")).toString(),
             QStringLiteral("DigSigPlugin"));
    QVERIFY(metadata.value(QStringLiteral("MetaData")).toObject().isEmpty());
    QCOMPARE(_plugin->qt_metacast("kiro-admin-cova/0.0"), static_cast<void*>(_plugin));
    QCOMPARE(_plugin->qt_metacast("DigSigPlugin"), static_cast<void*>(_plugin));
    QCOMPARE(_plugin->qt_metacast("NoSuchInterface"), nullptr);
}

void DigSigPluginTest::pluginCarriesOneModule()
{
    QVERIFY(_plugin->isValid());
    QCOMPARE(_plugin->attribute(), 1);
    QCOMPARE(_plugin->name(), QStringLiteral("DigSigPlugin"));
    QCOMPARE(_plugin->description(), QStringLiteral("Digital signature management"));
    QCOMPARE(_plugin->modules().size(), 1);
    Module* module = _plugin->modules().first();
    QCOMPARE(module->name(), QStringLiteral("DigSigModule"));
    QCOMPARE(module->parent(), static_cast<QObject*>(_plugin));
    QCOMPARE(module->attribute(), 1);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Digital signature management"));
    QCOMPARE(module->getData(QStringLiteral("administrator")).toBool(), true);
    QVERIFY2(!module->getData(QStringLiteral("paranoid")).isValid(),
             "an unset paranoid value makes every update re-read the settings");
}

void DigSigPluginTest::elementsComeInOrderUnderTheirParents()
{
    const QList<Element*> elements = _plugin->modules().first()->elements();
    QCOMPARE(elements.size(), 3);
    const QStringList types {"DigSig", "DigSigKeys", "DigSigSigning"};
    const QStringList parents {"LocalComputer", "DigSig", "DigSig"};
    const QList<int> levels {2, 3, 3};
    const QStringList names {"Digital signature management", "Keys", "Signing signature"};
    const QStringList captions {"Digital signature management settings", "Keys settings",
                                "Signing settings"};
    for (int i = 0; i < elements.size(); ++i) {
        const auto* node = dynamic_cast<const TreeNode*>(elements[i]);
        const auto* context = dynamic_cast<const ContextOperation*>(elements[i]);
        QVERIFY(node && context);
        QCOMPARE(node->nodeType(), types[i]);
        QCOMPARE(context->elementType(), types[i]);
        QCOMPARE(node->parentType(), parents[i]);
        QCOMPARE(node->level(), levels[i]);
        QCOMPARE(node->displayName(), names[i]);
        QCOMPARE(elements[i]->caption(), captions[i]);
    }
    QVERIFY(elements[0]->availableOperations() & ReadOperation);
    QVERIFY(elements[0]->availableOperations() & UpdateOperation);
    QCOMPARE(int(elements[1]->availableOperations()), 0);
    QCOMPARE(int(elements[2]->availableOperations()), 0);
}

void DigSigPluginTest::elementsShowTheirIconsOnlyInColumnZero()
{
    const QList<Element*> elements = _plugin->modules().first()->elements();
    const QStringList icons {"application-pkcs7-signature", "application-pgp-keys",
                             "application-pgp-signature"};
    for (int i = 0; i < elements.size(); ++i) {
        for (int role : {int(Qt::DecorationRole), int(Qt::UserRole + 7)}) {
            const QVariant icon = elements[i]->data(0, role);
            QCOMPARE(icon.userType(), int(QMetaType::QIcon));
            QCOMPARE(icon.value<QIcon>().name(), icons[i]);
        }
        QCOMPARE(elements[i]->data(0, Qt::DisplayRole),
                 elements[i]->Element::data(0, Qt::DisplayRole));
        QVERIFY(!elements[i]->data(1, Qt::DecorationRole).isValid());
        QVERIFY(!elements[i]->data(0, Qt::UserRole + 6).isValid());
    }
}

void DigSigPluginTest::eachElementHasItsWidget()
{
    Module* module = _plugin->modules().first();
    const QStringList types {"DigSig", "DigSigKeys", "DigSigSigning"};
    const QStringList classes {"DigSigElementWidget", "KeysElementWidget", "SigningElementWidget"};
    QCOMPARE(module->elementWidgets().size(), 3);
    for (int i = 0; i < types.size(); ++i) {
        ElementWidget* widget = module->elementWidget(types[i]);
        QVERIFY(widget);
        QCOMPARE(widget->metaObject()->className(), classes[i].toLatin1());
        QCOMPARE(widget->element(), module->elements()[i]);
        QCOMPARE(widget->parentWidget(), nullptr);
        QCOMPARE(module->elements()[i]->elementWidget(MainWidgetRole), widget);
    }
}

DIGSIG_SANDBOX_TEST_MAIN(DigSigPluginTest)
#include "digsigplugintest.moc"
