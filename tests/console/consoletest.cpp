#include "consolewindow.h"
#include "element.h"
#include "elementtask.h"
#include "messagearea.h"
#include "plugincatalog.h"
#include "taskdescription.h"
#include "taskobserver.h"
#include "taskpanel.h"
#include "testsupport.h"
#include "vieweditelementwidget.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QTreeWidget>

namespace {

const QString readTask = QStringLiteral("Read digital signature settings");
const QString updateTask = QStringLiteral("Update digital signature settings");

// An element task that ends, the way the row says, only when the test opens the gate.
class OutcomeTask : public ElementTask
{
public:
    OutcomeTask(Element* element, QSemaphore* gate, int status, const QString& message)
        : ElementTask(element, nullptr)
        , _gate(gate)
        , _status(status)
        , _message(message)
    {
        taskDescription().setDescription(QStringLiteral("Check"));
    }
    void run() override
    {
        _gate->acquire();
        taskDescription().setStatus(_status);
        taskDescription().setMessage(_message);
        AbstractTask::run();
    }

private:
    QSemaphore* _gate;
    int _status;
    QString _message;
};

QString outline(const QTreeWidgetItem* item)
{
    QStringList children;
    for (int i = 0; i < item->childCount(); ++i)
        children << outline(item->child(i));
    return children.isEmpty() ? item->text(0)
                              : item->text(0) + QLatin1Char('(') + children.join(',') + ')';
}

QStringList column(const QTreeWidget* panel, int column)
{
    QStringList texts;
    for (int i = 0; i < panel->topLevelItemCount(); ++i)
        texts << panel->topLevelItem(i)->text(column);
    return texts;
}

int recordsSince(int start, const QString& description)
{
    const QList<TaskObserver::Record> history = TaskObserver::instance(nullptr)->history();
    return int(std::count_if(history.cbegin() + start, history.cend(), [&](const auto& record) {
        return record.description == description;
    }));
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
    void programRendersEveryElementWidget();
    void treeStartUpAndPagesShowTheirTasks();
    void taskPanelShowsHowEachTaskEnded_data();
    void taskPanelShowsHowEachTaskEnded();
    void leavingAnEditAsksFirst_data();
    void leavingAnEditAsksFirst();

private:
    QAction* action(const char* name) const { return _window->findChild<QAction*>(name); }
    ViewEditElementWidget* settingsWidget() const
    {
        return qobject_cast<ViewEditElementWidget*>(_settings->elementWidget(MainWidgetRole));
    }
    bool idle() const { return TaskObserver::instance(nullptr)->waitForIdle(60000); }

    PluginCatalog* _catalog = nullptr;
    ConsoleWindow* _window = nullptr;
    Element* _settings = nullptr;
};

void ConsoleTest::initTestCase()
{
    _catalog = new PluginCatalog;
    _catalog->load(qEnvironmentVariable("DIGSIG_PLUGIN_DIR"));
    QCOMPARE(_catalog->errors(), QStringList());
    QVERIFY(TestSupport::writeFile(TestSupport::sandboxPath(QStringLiteral("/etc/mtab")),
                                   "/dev/sda1 /boot ext4 rw 0 2\n"));
}

void ConsoleTest::init()
{
    QVERIFY(TestSupport::writeFile(
        TestSupport::sandboxPath(QStringLiteral("/etc/digsig/digsig_initramfs.conf")),
        "DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\nDIGSIG_IGNORE_XATTR_KEYS=0\n"
        "DIGSIG_IGNORE_GOST2001=0\n"));
    QVERIFY(TestSupport::writeFile(
        TestSupport::sandboxPath(QStringLiteral("/etc/digsig/xattr_control")), "/usr/\n"));
    _window = new ConsoleWindow;
    _window->addPlugins(_catalog->plugins());
    _settings = _window->elements().first();
}

void ConsoleTest::cleanup()
{
    QVERIFY(idle());
    delete _window;
}

void ConsoleTest::cleanupTestCase()
{
    delete _catalog;
}

// The program itself: loads what it can, reports the rest, and shows every element.
void ConsoleTest::programRendersEveryElementWidget()
{
    QTemporaryDir shots;
    QTemporaryDir plugins;
    QVERIFY(QFile::copy(qEnvironmentVariable("DIGSIG_PLUGIN_DIR") + "/cova-digsig-plugin.so",
                        plugins.filePath(QStringLiteral("cova-digsig-plugin.so"))));
    QVERIFY(TestSupport::writeFile(plugins.filePath(QStringLiteral("broken.so")), "junk"));
    QProcess console;
    console.start(QStringLiteral(CONSOLE_PROGRAM),
                  {QStringLiteral("--plugin-dir"), plugins.path(), QStringLiteral("--sysroot"),
                   TestSupport::sandboxRoot(), QStringLiteral("--screenshot"), shots.path()});
    QVERIFY(console.waitForFinished(120000));
    const QString errors = QString::fromLocal8Bit(console.readAllStandardError());
    QVERIFY2(console.exitStatus() == QProcess::NormalExit && console.exitCode() == 0,
             qPrintable(errors));
    QVERIFY2(errors.contains("cova-console: " + plugins.filePath(QStringLiteral("broken.so"))),
             qPrintable(errors));
    for (const char* name : {"DigSig.png", "DigSigKeys.png", "DigSigSigning.png"}) {
        const QImage image(shots.filePath(QLatin1String(name)));
        QVERIFY2(image.width() > 600 && image.height() > 400, name);
    }
}

void ConsoleTest::treeStartUpAndPagesShowTheirTasks()
{
    QCOMPARE(_window->elementTree()->topLevelItemCount(), 1);
    QCOMPARE(outline(_window->elementTree()->topLevelItem(0)),
             "LocalComputer(Digital signature management(Keys,Signing signature))");
    QTreeWidget* panel = _window->taskPanel();
    _window->startUp();
    QVERIFY(idle());
    QCOMPARE(column(panel, TaskPanel::TaskColumn),
             (QStringList {"Read program pinentry state", "Read quill keys import state"}));

    QVERIFY(_window->showElement(_settings));
    QCOMPARE(_window->findChild<QLabel*>(QStringLiteral("captionLabel"))->text(),
             QStringLiteral("Digital signature management settings"));
    QVERIFY(idle());
    QCOMPARE(column(panel, TaskPanel::TaskColumn).last(), readTask);
    QCOMPARE(column(panel, TaskPanel::StatusColumn).last(), QStringLiteral("Succeeded"));
    // An element without a read starts no task and offers neither refresh nor edit.
    QVERIFY(_window->showElement(_window->elements().at(1)));
    QVERIFY(idle());
    QCOMPARE(panel->topLevelItemCount(), 3);
    QVERIFY(!action("refreshAction")->isEnabled() && !action("editAction")->isEnabled());

    _window->showLoadErrors({QStringLiteral("/x/broken.so: not a library")});
    QCOMPARE(column(panel, TaskPanel::MessageColumn).last(), "/x/broken.so: not a library");
    _window->findChild<QPushButton*>(QStringLiteral("clearFinishedButton"))->click();
    QCOMPARE(panel->topLevelItemCount(), 0);
}

void ConsoleTest::taskPanelShowsHowEachTaskEnded_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<int>("pageType"); // -1: no message on the page
    QTest::addColumn<QString>("pageText");
    QTest::newRow("failed") << int(TaskDescription::Failed) << "first\nsecond"
                            << "Failed"
                            << "first …" << int(MessageArea::Error)
                            << "Check failed:\nfirst\nsecond";
    QTest::newRow("warnings") << int(TaskDescription::SucceededWithWarnings) << "careful"
                              << "Succeeded with warnings"
                              << "careful" << int(MessageArea::Warning)
                              << "Check ended with warnings:\ncareful";
    QTest::newRow("succeeded") << int(TaskDescription::Succeeded) << "fine"
                               << "Succeeded"
                               << "fine" << -1 << QString();
}

// The row and the shown element's page tell how the task ended; a later success clears the page.
void ConsoleTest::taskPanelShowsHowEachTaskEnded()
{
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, state);
    QFETCH(QString, firstLine);
    QFETCH(int, pageType);
    QFETCH(QString, pageText);
    QVERIFY(_window->showElement(_settings));
    QVERIFY(idle());
    auto* page = _window->findChild<MessageArea*>(QStringLiteral("pageMessageArea"));
    QSemaphore gate;
    TaskObserver::instance(nullptr)->performTask(
        new OutcomeTask(_settings, &gate, status, message));
    QTreeWidgetItem* row = _window->taskPanel()->topLevelItem(1);
    QCOMPARE(row->text(TaskPanel::StatusColumn), QStringLiteral("Running"));
    gate.release();
    QVERIFY(idle());
    QCOMPARE(row->text(TaskPanel::StatusColumn), state);
    QCOMPARE(row->text(TaskPanel::MessageColumn), firstLine);
    QCOMPARE(page->isHidden() ? -1 : int(page->type()), pageType);
    if (pageType >= 0)
        QCOMPARE(page->text(), pageText);
    emit _window->taskPanel()->itemDoubleClicked(row, TaskPanel::MessageColumn);
    auto* whole = _window->findChild<QPlainTextEdit*>(QStringLiteral("taskMessageText"));
    QVERIFY(whole && whole->isVisible());
    QCOMPARE(whole->toPlainText(), message);
    whole->window()->close();

    gate.release();
    TaskObserver::instance(nullptr)->performTask(
        new OutcomeTask(_settings, &gate, TaskDescription::Succeeded, QString()));
    QVERIFY(idle());
    QVERIFY(page->isHidden());
}

void ConsoleTest::leavingAnEditAsksFirst_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("answer"); // NoButton: Enter, the default
    QTest::addColumn<bool>("left");
    QTest::addColumn<int>("updates");
    QTest::newRow("tree, Enter") << "tree" << int(QMessageBox::NoButton) << false << 0;
    QTest::newRow("tree, Discard") << "tree" << int(QMessageBox::Discard) << true << 0;
    QTest::newRow("refresh, Cancel") << "refresh" << int(QMessageBox::Cancel) << false << 0;
    QTest::newRow("refresh, Apply") << "refresh" << int(QMessageBox::Apply) << true << 1;
    QTest::newRow("close, Discard") << "close" << int(QMessageBox::Discard) << true << 0;
    QTest::newRow("close, Apply") << "close" << int(QMessageBox::Apply) << true << 1;
    QTest::newRow("Escape, Enter") << "escape" << int(QMessageBox::NoButton) << false << 0;
    QTest::newRow("Escape, Discard") << "escape" << int(QMessageBox::Discard) << true << 0;
}

void ConsoleTest::leavingAnEditAsksFirst()
{
    QFETCH(QString, way);
    QFETCH(int, answer);
    QFETCH(bool, left);
    QFETCH(int, updates);
    _window->show();
    QVERIFY(QTest::qWaitForWindowActive(_window));
    QVERIFY(_window->showElement(_settings));
    QVERIFY(idle());
    QTest::keyClick(_window, Qt::Key_E, Qt::ControlModifier);
    settingsWidget()->findChild<QRadioButton*>(QStringLiteral("_debugXattrRadioButton"))->click();
    QVERIFY(settingsWidget()->isChanged() && !settingsWidget()->isEditBlocked());
    const int start = TaskObserver::instance(nullptr)->history().size();
    {
        TestSupport::ModalDriver driver {QMessageBox::StandardButton(answer)};
        if (way == QLatin1String("tree"))
            _window->showElement(_window->elements().at(1));
        else if (way == QLatin1String("refresh"))
            action("refreshAction")->trigger();
        else if (way == QLatin1String("close"))
            _window->close();
        else
            QTest::keyClick(_window, Qt::Key_Escape);
        QCOMPARE(driver.titles(),
                 QStringList {way == QLatin1String("escape") ? "Discard changes"
                                                             : "Changes not applied"});
    }
    // The update cannot end before the event loop runs again: until then nothing else starts.
    if (updates) {
        QVERIFY(!action("editAction")->isEnabled() && !action("applyAction")->isEnabled());
        _window->applyCurrent();
    }
    QCOMPARE(recordsSince(start, updateTask), updates);
    TestSupport::ModalDriver noReboot(QMessageBox::No);
    QVERIFY(idle());
    QCOMPARE(noReboot.titles(), updates ? QStringList {"Reboot system"} : QStringList());
    if (way == QLatin1String("tree"))
        QCOMPARE(_window->currentElement() != _settings, left);
    else if (way == QLatin1String("close"))
        QTRY_COMPARE(!_window->isVisible(), left);
    else
        QCOMPARE(recordsSince(start, readTask), left ? 1 : 0);
    QCOMPARE(settingsWidget()->isChanged(), !left);
}

DIGSIG_SANDBOX_TEST_MAIN(ConsoleTest)
#include "consoletest.moc"
