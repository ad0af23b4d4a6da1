#include "consolewindow.h"
#include "element.h"
#include "elementtask.h"
#include "messagearea.h"
#include "plugincatalog.h"
#include "taskdescription.h"
#include "taskobserver.h"
#include "taskpanel.h"
#include "testsupport.h"
#include "treenode.h"
#include "vieweditelementwidget.h"

#include <QAction>
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
struct OutcomeTask : ElementTask
{
    using ElementTask::ElementTask;
    void run() override
    {
        gate->acquire();
        taskDescription().setStatus(status);
        taskDescription().setMessage(message);
        AbstractTask::run();
    }
    QSemaphore* gate = nullptr;
    int status = TaskDescription::Succeeded;
    QString message;
};

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
    void programRendersEveryElementWidget();
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

    PluginCatalog _catalog;
    ConsoleWindow* _window = nullptr;
    Element* _settings = nullptr;
};

void ConsoleTest::initTestCase()
{
    _catalog.load(qEnvironmentVariable("DIGSIG_PLUGIN_DIR"));
    QCOMPARE(_catalog.errors(), QStringList());
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
    _window->addPlugins(_catalog.plugins());
    _settings = _window->elements().first();
}

void ConsoleTest::cleanup()
{
    QVERIFY(idle());
    delete _window;
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

void ConsoleTest::taskPanelShowsHowEachTaskEnded_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    // The row's state and message, then the type of the page's message area and its text.
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, int status, const char* message, const char* shown) {
        QTest::newRow(name) << status << QString(message) << QString(shown);
    };
    row("failed", TaskDescription::Failed, "first\nsecond", "Failed: first … | 2 Check failed");
    row("warnings", TaskDescription::SucceededWithWarnings, "careful",
        "Succeeded with warnings: careful | 1 Check ended with warnings");
    row("succeeded", TaskDescription::Succeeded, "fine", "Succeeded: fine | ");
}

// The row and the shown element's page tell how the task ended; a later success clears the page,
// and clearing the panel keeps only what still runs.
void ConsoleTest::taskPanelShowsHowEachTaskEnded()
{
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QVERIFY(_window->showElement(_settings));
    QVERIFY(idle());
    auto* page = _window->findChild<MessageArea*>(QStringLiteral("pageMessageArea"));
    QSemaphore gate;
    const auto perform = [&](int status, const QString& message) {
        auto* task = new OutcomeTask(_settings, nullptr);
        task->taskDescription().setDescription(QStringLiteral("Check"));
        task->gate = &gate;
        task->status = status;
        task->message = message;
        TaskObserver::instance(nullptr)->performTask(task);
    };
    perform(status, message);
    QTreeWidgetItem* row = _window->taskPanel()->topLevelItem(1);
    QCOMPARE(row->text(TaskPanel::StatusColumn), QStringLiteral("Running"));
    gate.release();
    QVERIFY(idle());
    QCOMPARE(
        row->text(TaskPanel::StatusColumn) + ": " + row->text(TaskPanel::MessageColumn) + " | "
            + (page->isHidden() ? QString() : QString::number(page->type()) + ' ' + page->text())
                  .section(':', 0, 0),
        shown);
    emit _window->taskPanel()->itemDoubleClicked(row, TaskPanel::MessageColumn);
    auto* whole = _window->findChild<QPlainTextEdit*>(QStringLiteral("taskMessageText"));
    QVERIFY(whole && whole->isVisible());
    QCOMPARE(whole->toPlainText(), message);
    whole->window()->close();

    gate.release();
    perform(TaskDescription::Succeeded, QString());
    QVERIFY(idle());
    QVERIFY(page->isHidden());
    _window->findChild<QPushButton*>(QStringLiteral("clearFinishedButton"))->click();
    QCOMPARE(_window->taskPanel()->topLevelItemCount(), 0);
}

void ConsoleTest::leavingAnEditAsksFirst_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("answer"); // NoButton: Enter, the default
    QTest::addColumn<QString>("outcome");
    // The way out is the row name's first word.
    const auto row = [](const char* name, QMessageBox::StandardButton answer, const char* outcome) {
        QTest::newRow(name) << QString(name).section(',', 0, 0) << int(answer) << QString(outcome);
    };
    row("tree, Enter", QMessageBox::NoButton, "0 updates, 0 reads, on DigSig, shown, changed");
    row("close, Discard", QMessageBox::Discard, "0 updates, 0 reads, on DigSig, closed, unchanged");
    row("close, Apply", QMessageBox::Apply, "1 updates, 1 reads, on DigSig, closed, unchanged");
    row("Escape, Discard", QMessageBox::Discard, "0 updates, 1 reads, on DigSig, shown, unchanged");
}

// Every way out of an unapplied edit asks first; an update, once applied, runs alone and asks
// whether to reboot.
void ConsoleTest::leavingAnEditAsksFirst()
{
    QFETCH(QString, way);
    QFETCH(int, answer);
    QFETCH(QString, outcome);
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
        else if (way == QLatin1String("close"))
            _window->close();
        else
            QTest::keyClick(_window, Qt::Key_Escape);
        QCOMPARE(driver.titles(),
                 QStringList {way == "Escape" ? "Discard changes" : "Changes not applied"});
    }
    const int updates = recordsSince(start, updateTask);
    // The update cannot end before the event loop runs again: until then nothing else starts.
    if (updates) {
        QVERIFY(!action("editAction")->isEnabled() && !action("applyAction")->isEnabled());
        _window->applyCurrent();
    }
    TestSupport::ModalDriver noReboot(QMessageBox::No);
    QVERIFY(idle());
    QCOMPARE(noReboot.titles(), updates ? QStringList {"Reboot system"} : QStringList());
    QTRY_COMPARE(QStringLiteral("%1 updates, %2 reads, on %3, %4, %5")
                     .arg(recordsSince(start, updateTask))
                     .arg(recordsSince(start, readTask))
                     .arg(dynamic_cast<TreeNode*>(_window->currentElement())->nodeType(),
                          _window->isVisible() ? "shown" : "closed",
                          settingsWidget()->isChanged() ? "changed" : "unchanged"),
                 outcome);
}

DIGSIG_SANDBOX_TEST_MAIN(ConsoleTest)
#include "consoletest.moc"
