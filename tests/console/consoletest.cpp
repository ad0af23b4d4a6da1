#include "consolewindow.h"
#include "contextoperation.h"
#include "element.h"
#include "elementtask.h"
#include "messagearea.h"
#include "module.h"
#include "plugin.h"
#include "plugincatalog.h"
#include "taskdescription.h"
#include "taskobserver.h"
#include "taskpanel.h"
#include "testsupport.h"
#include "treenode.h"
#include "vieweditelementwidget.h"

#include <QAbstractProxyModel>
#include <QAction>
#include <QCheckBox>
#include <QFileSystemModel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QTreeView>
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
    void onlyTheSettingsElementStartsTasks_data();
    void onlyTheSettingsElementStartsTasks();
    void signsTickedFilesAndRefreshesTheirSignatures();

private:
    QAction* action(const char* name) const { return _window->findChild<QAction*>(name); }
    ViewEditElementWidget* settingsWidget() const
    {
        return qobject_cast<ViewEditElementWidget*>(_settings->elementWidget(MainWidgetRole));
    }
    bool idle() const { return TaskObserver::instance(nullptr)->waitForIdle(60000); }

    PluginCatalog _catalog;
    Module* _module = nullptr;
    ConsoleWindow* _window = nullptr;
    Element* _settings = nullptr;
};

void ConsoleTest::initTestCase()
{
    _catalog.load(qEnvironmentVariable("DIGSIG_PLUGIN_DIR"));
    QCOMPARE(_catalog.errors(), QStringList());
    // The plug-in offers one module with three elements and their widgets.
    Plugin* plugin = _catalog.plugins().value(0);
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
    row("close, Enter", QMessageBox::NoButton, "0 updates, 0 reads, on DigSig, shown, changed");
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

void ConsoleTest::onlyTheSettingsElementStartsTasks_data()
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
void ConsoleTest::onlyTheSettingsElementStartsTasks()
{
    QFETCH(int, element);
    QFETCH(int, type);
    QFETCH(QStringList, events);
    TestSupport::ModalDriver noReboot(QMessageBox::No);
    QStringList seen;
    TaskObserver* observer = TaskObserver::instance(nullptr);
    const QMetaObject::Connection connections[] {
        connect(
            _module, &Module::operationPerformed, this,
            [&seen](ContextOperation*, int type) { seen << QStringLiteral("base %1").arg(type); }),
        connect(observer, &TaskObserver::taskStarted, this,
                [&seen](const QString& description) { seen << "task " + description; })};
    _module->performOperation(
        element < 0 ? static_cast<ContextOperation*>(settingsWidget())
                    : dynamic_cast<ContextOperation*>(_module->elements().at(element)),
        OperationType(type),
        type == UpdateOperation ? settingsWidget()->exportElementData() : nullptr, 0);
    for (const auto& connection : connections)
        disconnect(connection);
    QVERIFY(observer->waitForIdle(60000));
    QCOMPARE(seen, events);
}

// Signs files of a sandbox folder the way an administrator does: tick, choose both signature
// kinds, confirm, pick the key, sign.
void ConsoleTest::signsTickedFilesAndRefreshesTheirSignatures()
{
    const auto path = [](const char* system) {
        return TestSupport::sandboxPath(QLatin1String(system));
    };
    QVERIFY(TestSupport::writeFile(path("/etc/digsig/xattr_control"), "//bin/dash\n"));
    // The package installs the key folders.
    QVERIFY(QDir().mkpath(path("/etc/digsig/keys"))
            && QDir().mkpath(path("/etc/digsig/xattr_keys")));
    QVERIFY(TestSupport::writeElf(path("/data/program")));
    const TestSupport::ScopedEnv state("DIGSIG_BSIGN_STATE", path("/var/lib/bsign").toUtf8());
    const GnupgHome gnupg(path("/root/.gnupg"));
    const QString fingerprint
        = gnupg.makeKey(QStringLiteral("E2E <e2e@example.org>"), QStringLiteral("ed25519"))
              .value(0);
    QCOMPARE(fingerprint.size(), 40);
    ElementWidget* widget = _module->elementWidget(QStringLiteral("DigSigSigning"));
    widget->show();
    auto* proxy = qobject_cast<QAbstractProxyModel*>(
        widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"))->model());
    auto* files = qobject_cast<QFileSystemModel*>(proxy ? proxy->sourceModel() : nullptr);
    QVERIFY(files);
    // Columns 4 and 5: the ELF signature and the one in extended attributes.
    const auto signatures = [&] {
        const QModelIndex source = files->index(path("/data/program"));
        return proxy->mapFromSource(source.sibling(source.row(), 4)).data().toString()
            + proxy->mapFromSource(source.sibling(source.row(), 5)).data().toString();
    };
    QTRY_COMPARE(signatures(), QStringLiteral("00"));

    QVERIFY(proxy->setData(proxy->mapFromSource(files->index(path("/data"))), Qt::Checked,
                           Qt::CheckStateRole));
    widget->findChild<QCheckBox*>(QStringLiteral("_elfCheckBox"))->setChecked(true);
    widget->findChild<QCheckBox*>(QStringLiteral("_xattrCheckBox"))->setChecked(true);
    TestSupport::ModalDriver driver(TestSupport::ModalDriver::agree());
    QVERIFY(TestSupport::ModalDriver::press(
        widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"))));

    QCOMPARE(
        driver.seen(),
        (QStringList {"QMessageBox: Selection confirmation", "SelectKeyDialog", "SigningDialog"}));
    for (const char* directory : {"/etc/digsig/keys", "/etc/digsig/xattr_keys"})
        QVERIFY2(QFileInfo(path(directory) + '/' + fingerprint + ".gpg").size() > 0, directory);
    // The sandbox stands for the system: the control file names the path the kernel will see.
    QCOMPARE(TestSupport::readFile(path("/etc/digsig/xattr_control")),
             QByteArray("//bin/dash\n/data/\n"));
    QTRY_COMPARE(signatures(), QStringLiteral("11"));
}

DIGSIG_SANDBOX_TEST_MAIN(ConsoleTest)
#include "consoletest.moc"
