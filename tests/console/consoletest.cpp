#include "consolewindow.h"
#include "element.h"
#include "plugin.h"
#include "plugincatalog.h"
#include "taskobserver.h"
#include "testsupport.h"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QTreeWidget>

namespace {

QString pluginDir()
{
    return qEnvironmentVariable("DIGSIG_PLUGIN_DIR");
}

QStringList childTexts(const QTreeWidgetItem* item)
{
    QStringList texts;
    for (int i = 0; i < item->childCount(); ++i)
        texts.append(item->child(i)->text(0));
    return texts;
}

QStringList panelRows(const QTreeWidget* panel)
{
    QStringList rows;
    for (int i = 0; i < panel->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = panel->topLevelItem(i);
        rows.append(item->text(0) + QLatin1String(" | ") + item->text(1));
    }
    return rows;
}

} // namespace

class ConsoleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void treeShowsElementsUnderLocalComputer();
    void startUpAndReadingShowTasksInThePanel();
    void brokenLibraryIsReportedAndTheRestLoads();
    void programRendersEveryElementWidget();

private:
    PluginCatalog* _catalog = nullptr;
    ConsoleWindow* _window = nullptr;
};

void ConsoleTest::initTestCase()
{
    _catalog = new PluginCatalog;
    _catalog->load(pluginDir());
    QCOMPARE(_catalog->errors(), QStringList());
    QCOMPARE(_catalog->plugins().size(), 1);
    _window = new ConsoleWindow;
    _window->addPlugins(_catalog->plugins());
}

void ConsoleTest::cleanupTestCase()
{
    TaskObserver::instance(nullptr)->waitForIdle(60000);
    delete _window;
    delete _catalog;
}

void ConsoleTest::treeShowsElementsUnderLocalComputer()
{
    const QTreeWidget* tree = _window->elementTree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    const QTreeWidgetItem* root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("LocalComputer"));
    QCOMPARE(childTexts(root), QStringList {"Digital signature management"});
    QCOMPARE(childTexts(root->child(0)), (QStringList {"Keys", "Signing signature"}));
    QCOMPARE(_window->elements().size(), 3);
}

void ConsoleTest::startUpAndReadingShowTasksInThePanel()
{
    TaskObserver* observer = TaskObserver::instance(nullptr);
    _window->startUp();
    QVERIFY(observer->waitForIdle(60000));
    const QStringList afterStartUp = panelRows(_window->taskPanel());
    QCOMPARE(afterStartUp.size(), 2);
    QVERIFY(afterStartUp[0].startsWith(QLatin1String("Read program pinentry state | ")));
    QVERIFY(afterStartUp[1].startsWith(QLatin1String("Read quill keys import state | ")));
    QVERIFY(!afterStartUp[0].endsWith(QLatin1String("| Running")));

    Element* settings = _window->elements().first();
    QVERIFY(_window->showElement(settings));
    QCOMPARE(_window->findChild<QLabel*>(QStringLiteral("captionLabel"))->text(),
             QStringLiteral("Digital signature management settings"));
    QVERIFY(observer->waitForIdle(60000));
    QCOMPARE(panelRows(_window->taskPanel()).size(), 3);
    QVERIFY(panelRows(_window->taskPanel())
                .last()
                .startsWith(QLatin1String("Read digital signature settings | ")));

    // Elements without a read operation start no task when shown.
    QVERIFY(_window->showElement(_window->elements().at(1)));
    QVERIFY(observer->waitForIdle(60000));
    QCOMPARE(panelRows(_window->taskPanel()).size(), 3);
    QVERIFY(!_window->findChild<QAction*>(QStringLiteral("refreshAction"))->isEnabled());
    QVERIFY(!_window->findChild<QAction*>(QStringLiteral("editAction"))->isEnabled());
}

void ConsoleTest::brokenLibraryIsReportedAndTheRestLoads()
{
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("broken.so")), "not a library"));
    PluginCatalog catalog;
    catalog.load(dir.path());
    QCOMPARE(catalog.plugins().size(), 0);
    QCOMPARE(catalog.errors().size(), 1);
    QVERIFY(catalog.errors().first().startsWith(dir.filePath(QStringLiteral("broken.so"))
                                                + QStringLiteral(": ")));
    QVERIFY(catalog.errors().first().size() > dir.filePath(QStringLiteral("broken.so: ")).size());

    ConsoleWindow window;
    window.showLoadErrors(catalog.errors());
    QCOMPARE(window.taskPanel()->topLevelItemCount(), 1);
    QCOMPARE(window.taskPanel()->topLevelItem(0)->text(2), catalog.errors().first());
}

void ConsoleTest::programRendersEveryElementWidget()
{
    QTemporaryDir shots;
    QTemporaryDir plugins;
    QVERIFY(QFile::copy(pluginDir() + QStringLiteral("/cova-digsig-plugin.so"),
                        plugins.filePath(QStringLiteral("cova-digsig-plugin.so"))));
    QVERIFY(TestSupport::writeFile(plugins.filePath(QStringLiteral("broken.so")), "junk"));

    QProcess console;
    console.start(QStringLiteral(CONSOLE_PROGRAM),
                  {QStringLiteral("--plugin-dir"), plugins.path(), QStringLiteral("--sysroot"),
                   TestSupport::sandboxRoot(), QStringLiteral("--screenshot"), shots.path()});
    QVERIFY(console.waitForFinished(120000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(console.readAllStandardError());
    QVERIFY2(errors.contains(QStringLiteral("cova-console: ")
                             + plugins.filePath(QStringLiteral("broken.so"))),
             qPrintable(errors));
    for (const char* name : {"DigSig.png", "DigSigKeys.png", "DigSigSigning.png"}) {
        QImage image(shots.filePath(QLatin1String(name)));
        QVERIFY2(!image.isNull(), name);
        QVERIFY(image.width() > 600 && image.height() > 400);
    }
}

DIGSIG_SANDBOX_TEST_MAIN(ConsoleTest)
#include "consoletest.moc"
