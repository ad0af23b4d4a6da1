#include "consolesetup.h"
#include "consolewindow.h"
#include "element.h"
#include "messagearea.h"
#include "plugin.h"
#include "plugincatalog.h"
#include "taskdescription.h"
#include "taskobserver.h"
#include "taskpanel.h"
#include "testsupport.h"
#include "vieweditelementwidget.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace {

const QByteArray validSettings = "DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                                 "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n";
const QString readTask = QStringLiteral("Read digital signature settings");
const QString updateTask = QStringLiteral("Update digital signature settings");

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
        rows.append(item->text(TaskPanel::TaskColumn) + QLatin1String(" | ")
                    + item->text(TaskPanel::StatusColumn));
    }
    return rows;
}

int recordsSince(int start, const QString& description)
{
    const QList<TaskObserver::Record> history = TaskObserver::instance(nullptr)->history();
    return int(std::count_if(
        history.cbegin() + start, history.cend(),
        [&](const TaskObserver::Record& record) { return record.description == description; }));
}

} // namespace

class ConsoleTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void treeShowsElementsUnderLocalComputer();
    void startUpAndReadingShowTasksInThePanel();
    void brokenLibraryIsReportedAndTheRestLoads();
    void programRendersEveryElementWidget();
    void consoleTextsAndNameAreTheConsoles();
    void elementActionsHaveShortcutsAndMnemonics_data();
    void elementActionsHaveShortcutsAndMnemonics();
    void keyboardDrivesTheEditState();
    void leavingAnEditAsksFirst_data();
    void leavingAnEditAsksFirst();
    void oneUpdateAtATimeAndOneRebootQuestion();
    void readErrorsShowOnThePageAndInThePanel();

private:
    void editSettings();
    ViewEditElementWidget* settingsWidget() const;
    QAction* action(const char* name) const;

    PluginCatalog* _catalog = nullptr;
    ConsoleWindow* _window = nullptr;
    Element* _settings = nullptr;
};

void ConsoleTest::initTestCase()
{
    _catalog = new PluginCatalog;
    _catalog->load(pluginDir());
    QCOMPARE(_catalog->errors(), QStringList());
    QCOMPARE(_catalog->plugins().size(), 1);
    const QString sandbox = TestSupport::sandboxRoot();
    QVERIFY(TestSupport::writeFile(sandbox + QStringLiteral("/etc/mtab"),
                                   "/dev/sda1 /boot ext4 rw 0 2\n"));
}

void ConsoleTest::init()
{
    const QString sandbox = TestSupport::sandboxRoot();
    QVERIFY(TestSupport::writeFile(sandbox + QStringLiteral("/etc/digsig/digsig_initramfs.conf"),
                                   validSettings));
    QVERIFY(
        TestSupport::writeFile(sandbox + QStringLiteral("/etc/digsig/xattr_control"), "/usr/\n"));
    _window = new ConsoleWindow;
    _window->addPlugins(_catalog->plugins());
    _settings = _window->elements().first();
}

void ConsoleTest::cleanup()
{
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    delete _window;
    _window = nullptr;
}

void ConsoleTest::cleanupTestCase()
{
    delete _catalog;
}

ViewEditElementWidget* ConsoleTest::settingsWidget() const
{
    return qobject_cast<ViewEditElementWidget*>(_settings->elementWidget(MainWidgetRole));
}

QAction* ConsoleTest::action(const char* name) const
{
    return _window->findChild<QAction*>(QLatin1String(name));
}

// Shows the settings, lets them load, and changes the extended-attribute mode in edit mode.
void ConsoleTest::editSettings()
{
    QVERIFY(_window->showElement(_settings));
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    action("editAction")->trigger();
    settingsWidget()->findChild<QRadioButton*>(QStringLiteral("_debugXattrRadioButton"))->click();
    QVERIFY(settingsWidget()->isChanged() && !settingsWidget()->isEditBlocked());
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

    QVERIFY(_window->showElement(_settings));
    QCOMPARE(_window->findChild<QLabel*>(QStringLiteral("captionLabel"))->text(),
             QStringLiteral("Digital signature management settings"));
    QVERIFY(observer->waitForIdle(60000));
    QCOMPARE(panelRows(_window->taskPanel()).last(), readTask + QStringLiteral(" | Succeeded"));
    QVERIFY(!_window->taskPanel()->topLevelItem(2)->text(TaskPanel::StartedColumn).isEmpty());

    // Elements without a read operation start no task when shown.
    QVERIFY(_window->showElement(_window->elements().at(1)));
    QVERIFY(observer->waitForIdle(60000));
    QCOMPARE(panelRows(_window->taskPanel()).size(), 3);
    QVERIFY(!action("refreshAction")->isEnabled());
    QVERIFY(!action("editAction")->isEnabled());

    _window->findChild<QPushButton*>(QStringLiteral("clearFinishedButton"))->click();
    QCOMPARE(_window->taskPanel()->topLevelItemCount(), 0);
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
    QCOMPARE(window.taskPanel()->topLevelItem(0)->text(TaskPanel::MessageColumn),
             catalog.errors().first());
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

// Message boxes without a title of their own carry the application's display name.
void ConsoleTest::consoleTextsAndNameAreTheConsoles()
{
    ConsoleSetup::nameApplication();
    QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Administration console"));
    QCOMPARE(_window->windowTitle(), QStringLiteral("Administration console"));
}

void ConsoleTest::elementActionsHaveShortcutsAndMnemonics_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("edit") << "editAction"
                          << "&Edit" << QKeySequence(Qt::CTRL | Qt::Key_E);
    QTest::newRow("apply") << "applyAction"
                           << "&Apply" << QKeySequence(Qt::CTRL | Qt::Key_S);
    QTest::newRow("cancel") << "cancelAction"
                            << "&Cancel" << QKeySequence(Qt::Key_Escape);
    QTest::newRow("refresh") << "refreshAction"
                             << "&Refresh" << QKeySequence(Qt::Key_F5);
}

void ConsoleTest::elementActionsHaveShortcutsAndMnemonics()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);
    QAction* found = action(name.toLatin1().constData());
    QVERIFY(found);
    QCOMPARE(found->text(), text);
    QCOMPARE(found->shortcut(), shortcut);
    QVERIFY2(found->toolTip().endsWith(
                 QStringLiteral("(%1)").arg(shortcut.toString(QKeySequence::NativeText))),
             qPrintable(found->toolTip()));
    auto* menu = _window->menuBar()->findChild<QMenu*>(QStringLiteral("elementMenu"));
    QVERIFY(menu && menu->title().contains(QLatin1Char('&')));
    QVERIFY(menu->actions().contains(found));
}

void ConsoleTest::keyboardDrivesTheEditState()
{
    _window->show();
    _window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(_window));
    QVERIFY(_window->showElement(_settings));
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    QTest::keyClick(_window, Qt::Key_E, Qt::ControlModifier);
    QVERIFY(!settingsWidget()->isEditBlocked());
    QTest::keyClick(_window, Qt::Key_Escape);
    QVERIFY(settingsWidget()->isEditBlocked());
}

void ConsoleTest::leavingAnEditAsksFirst_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("left");
    QTest::addColumn<int>("updates");
    const int enter = QMessageBox::NoButton;
    for (const char* way : {"tree", "refresh", "close"}) {
        QTest::addRow("%s, Enter", way) << way << enter << false << 0;
        QTest::addRow("%s, Cancel", way) << way << int(QMessageBox::Cancel) << false << 0;
        QTest::addRow("%s, Discard", way) << way << int(QMessageBox::Discard) << true << 0;
        QTest::addRow("%s, Apply", way) << way << int(QMessageBox::Apply) << true << 1;
    }
}

void ConsoleTest::leavingAnEditAsksFirst()
{
    QFETCH(QString, way);
    QFETCH(int, answer);
    QFETCH(bool, left);
    QFETCH(int, updates);
    _window->show();
    editSettings();
    const int start = TaskObserver::instance(nullptr)->history().size();
    {
        TestSupport::BoxAnswerer answerer {QMessageBox::StandardButton(answer)};
        if (way == QLatin1String("tree"))
            _window->showElement(_window->elements().at(1));
        else if (way == QLatin1String("refresh"))
            action("refreshAction")->trigger();
        else
            _window->close();
        QCOMPARE(answerer.titles(), QStringList {QStringLiteral("Changes not applied")});
        QCOMPARE(answerer.boxes.first().buttons,
                 QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel);
    }
    TestSupport::BoxAnswerer noReboot(QMessageBox::No);
    QCOMPARE(recordsSince(start, updateTask), updates);
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    if (way == QLatin1String("tree"))
        QCOMPARE(_window->currentElement() != _settings, left);
    else if (way == QLatin1String("close"))
        QTRY_COMPARE(!_window->isVisible(), left);
    else
        QCOMPARE(recordsSince(start, readTask), left ? 1 : 0);
    QCOMPARE(settingsWidget()->isChanged(), !left);
}

void ConsoleTest::oneUpdateAtATimeAndOneRebootQuestion()
{
    editSettings();
    const int start = TaskObserver::instance(nullptr)->history().size();
    TestSupport::BoxAnswerer answerer(QMessageBox::No);
    action("applyAction")->trigger();
    // Nothing has ended yet: the update's end is delivered through the event loop.
    QVERIFY(settingsWidget()->isUpdateRunning());
    for (const char* name : {"editAction", "applyAction", "cancelAction", "refreshAction"})
        QVERIFY2(!action(name)->isEnabled(), name);
    _window->applyCurrent();
    settingsWidget()->applyContentChanges();
    QCOMPARE(recordsSince(start, updateTask), 1);

    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    QCOMPARE(answerer.titles(), QStringList {QStringLiteral("Reboot system")});
    QVERIFY(action("editAction")->isEnabled());
}

void ConsoleTest::readErrorsShowOnThePageAndInThePanel()
{
    const QString settingsPath
        = TestSupport::sandboxRoot() + QStringLiteral("/etc/digsig/digsig_initramfs.conf");
    QVERIFY(TestSupport::writeFile(settingsPath, "DIGSIG_ELF_MODE=7\nDIGSIG_XATTR_MODE=9\n"));
    QVERIFY(_window->showElement(_settings));
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    const TaskObserver::Record read = TaskObserver::instance(nullptr)->history().constLast();
    QCOMPARE(read.status, int(TaskDescription::Failed));
    QVERIFY(read.message.count(QLatin1Char('\n')) >= 1);

    auto* area = _window->findChild<MessageArea*>(QStringLiteral("pageMessageArea"));
    QVERIFY(area && !area->isHidden());
    QCOMPARE(area->type(), MessageArea::Error);
    QCOMPARE(area->text(), readTask + QStringLiteral(" failed:\n") + read.message);
    auto* text = area->findChild<QLabel*>(QStringLiteral("messageText"));
    QVERIFY(text->textInteractionFlags() & Qt::TextSelectableByMouse);

    QTreeWidgetItem* row = _window->taskPanel()->topLevelItem(0);
    QCOMPARE(row->text(TaskPanel::MessageColumn),
             read.message.section(QLatin1Char('\n'), 0, 0) + QStringLiteral(" …"));
    emit _window->taskPanel()->itemDoubleClicked(row, TaskPanel::MessageColumn);
    auto* dialog = _window->findChild<QDialog*>(QStringLiteral("taskMessageDialog"));
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(dialog->findChild<QPlainTextEdit*>()->toPlainText(), read.message);
    dialog->close();

    QVERIFY(TestSupport::writeFile(settingsPath, validSettings));
    action("refreshAction")->trigger();
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    QVERIFY(area->isHidden());
}

DIGSIG_SANDBOX_TEST_MAIN(ConsoleTest)
#include "consoletest.moc"
