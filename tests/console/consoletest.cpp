#include "consolewindow.h"
#include "element.h"
#include "elementtask.h"
#include "messagearea.h"
#include "module.h"
#include "plugin.h"
#include "plugincatalog.h"
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
#include <QTreeView>
#include <QTreeWidget>

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
    void signsTickedFilesAndRefreshesTheirSignatures();

private:
    bool idle() const { return TaskObserver::instance(nullptr)->waitForIdle(60000); }

    PluginCatalog _catalog;
    Module* _module = nullptr;
    ConsoleWindow* _window = nullptr;
    Element* _settings = nullptr;
    ViewEditElementWidget* _edit = nullptr;
};

void ConsoleTest::initTestCase()
{
    _catalog.load(qEnvironmentVariable("DIGSIG_PLUGIN_DIR"));
    QCOMPARE(_catalog.errors(), QStringList());
    Plugin* plugin = _catalog.plugins().value(0);
    _module = plugin->modules().value(0);
    QVERIFY2(!_module->getData(QStringLiteral("paranoid")).isValid(),
             "an unset paranoid value makes every update re-read the settings");
    // The plug-in offers one module with three elements and their widgets. Only the settings
    // element starts tasks; every operation also reaches the framework's own handling after
    // them, including one whose context is a widget.
    QStringList shape {plugin->name(), _module->name(),
                       QString::number(plugin->attribute() + _module->attribute())};
    QObject recording;
    connect(
        _module, &Module::operationPerformed, &recording,
        [&shape](ContextOperation*, int type) { shape << QStringLiteral("base %1").arg(type); });
    connect(TaskObserver::instance(nullptr), &TaskObserver::taskStarted, &recording,
            [&shape](const QString& task) { shape << task; });
    for (Element* element : _module->elements()) {
        const auto* node = dynamic_cast<const TreeNode*>(element);
        shape << QStringLiteral("%1<%2@%3 ops %4 %5")
                     .arg(node->nodeType(), node->parentType())
                     .arg(node->level())
                     .arg(int(element->availableOperations() & (ReadOperation | UpdateOperation)))
                     .arg(element->elementWidget(MainWidgetRole)->metaObject()->className());
        element->performOperation(StartupOperation, nullptr, 0);
    }
    _module->performOperation(dynamic_cast<ContextOperation*>(_module->elements().first()),
                              OperationType(2), nullptr, 0);
    _module->performOperation(_module->elementWidget(QStringLiteral("DigSig")), ReadOperation,
                              nullptr, 0);
    QCOMPARE(shape,
             (QStringList {"DigSigPlugin", "DigSigModule", "2",
                           "DigSig<LocalComputer@2 ops 96 DigSigElementWidget",
                           "Read program pinentry state", "Read quill keys import state", "base 1",
                           "DigSigKeys<DigSig@3 ops 0 KeysElementWidget", "base 1",
                           "DigSigSigning<DigSig@3 ops 0 SigningElementWidget", "base 1", "base 2",
                           "base 32"}));
}

void ConsoleTest::init()
{
    const std::pair<const char*, const char*> files[] {
        {"/etc/mtab", "/dev/sda1 /boot ext4 rw 0 2\n"},
        {"/etc/digsig/xattr_control", "//bin/dash\n"},
        {"/etc/digsig/digsig_initramfs.conf",
         "DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
         "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n"}};
    for (const auto& [file, text] : files)
        QVERIFY(TestSupport::writeFile(TestSupport::sandboxPath(QLatin1String(file)), text));
    _window = new ConsoleWindow;
    _window->addPlugins(_catalog.plugins());
    _settings = _window->elements().first();
    _edit = qobject_cast<ViewEditElementWidget*>(_settings->elementWidget(MainWidgetRole));
    QVERIFY(_window->showElement(_settings));
    QVERIFY(idle());
}

void ConsoleTest::cleanup()
{
    QVERIFY(idle());
    delete _window;
}

// The program itself: loads what it can, reports the rest, and shows every element.
void ConsoleTest::programRendersEveryElementWidget()
{
    QTemporaryDir shots, plugins;
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
    for (const char* name : {"DigSig.png", "DigSigKeys.png", "DigSigSigning.png"})
        QVERIFY2(QImage(shots.filePath(QLatin1String(name))).rect().contains(600, 400), name);
}

void ConsoleTest::taskPanelShowsHowEachTaskEnded_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    // The row's state and message, then the type of the page's message area and its text.
    QTest::addColumn<QString>("shown");
    QTest::newRow("failed") << int(TaskDescription::Failed) << "first\nsecond"
                            << "Failed: first … | 2 Check failed";
    QTest::newRow("warnings") << int(TaskDescription::SucceededWithWarnings) << "careful"
                              << "Succeeded with warnings: careful | 1 Check ended with warnings";
}

// The row and the shown element's page tell how the task ended; a later success clears the page,
// and clearing the panel keeps only what still runs.
void ConsoleTest::taskPanelShowsHowEachTaskEnded()
{
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    auto* page = _window->findChild<MessageArea*>(QStringLiteral("pageMessageArea"));
    const auto perform = [this](int status, const QString& message) {
        auto* task = new ElementTask(_settings, nullptr);
        task->taskDescription().setDescription(QStringLiteral("Check"));
        task->taskDescription().setStatus(status);
        task->taskDescription().setMessage(message);
        TaskObserver::instance(nullptr)->performTask(task);
        return _window->taskPanel()->topLevelItem(_window->taskPanel()->topLevelItemCount() - 1);
    };
    // The observer ends a task on this thread: it runs at least until the event loop runs.
    QTreeWidgetItem* row = perform(status, message);
    QCOMPARE(row->text(TaskPanel::StatusColumn), QStringLiteral("Running"));
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

    row = perform(TaskDescription::Succeeded, QString());
    _window->findChild<QPushButton*>(QStringLiteral("clearFinishedButton"))->click();
    QCOMPARE(_window->taskPanel()->topLevelItemCount(), 1);
    QVERIFY(idle());
    QVERIFY(page->isHidden());
    QCOMPARE(row->text(TaskPanel::StatusColumn), QStringLiteral("Succeeded"));
}

void ConsoleTest::leavingAnEditAsksFirst_data()
{
    QTest::addColumn<int>("answer"); // NoButton: Enter, the default
    // The shown element, the window, the edit, then the first word of each task started since.
    QTest::addColumn<QString>("outcome");
    // The way out is the row name's first word.
    QTest::newRow("tree, Enter") << int(QMessageBox::NoButton) << "DigSig shown edited";
    QTest::newRow("close, Enter") << int(QMessageBox::NoButton) << "DigSig shown edited";
    QTest::newRow("close, Discard") << int(QMessageBox::Discard) << "DigSig closed clean";
    QTest::newRow("close, Apply") << int(QMessageBox::Apply) << "DigSig closed clean Update Read";
    QTest::newRow("Escape, Discard") << int(QMessageBox::Discard) << "DigSig shown clean Read";
}

// Every way out of an unapplied edit asks first; an update, once applied, runs alone and asks
// whether to reboot.
void ConsoleTest::leavingAnEditAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(QString, outcome);
    const QString way = QString(QTest::currentDataTag()).section(',', 0, 0);
    _window->show();
    QVERIFY(QTest::qWaitForWindowActive(_window));
    QTest::keyClick(_window, Qt::Key_E, Qt::ControlModifier);
    _edit->findChild<QRadioButton*>(QStringLiteral("_debugXattrRadioButton"))->click();
    QVERIFY(_edit->isChanged() && !_edit->isEditBlocked());
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
    const bool applied = answer == QMessageBox::Apply;
    // The update cannot end before the event loop runs again: until then nothing else starts.
    if (applied) {
        for (const char* name : {"editAction", "applyAction"})
            QVERIFY2(!_window->findChild<QAction*>(name)->isEnabled(), name);
        _window->applyCurrent();
    }
    TestSupport::ModalDriver noReboot(QMessageBox::No);
    QVERIFY(idle());
    QCOMPARE(noReboot.titles(), applied ? QStringList {"Reboot system"} : QStringList());
    const auto state = [&] {
        QStringList words {dynamic_cast<TreeNode*>(_window->currentElement())->nodeType(),
                           _window->isVisible() ? "shown" : "closed",
                           _edit->isChanged() ? "edited" : "clean"};
        for (const auto& record : TaskObserver::instance(nullptr)->history().mid(start))
            words << record.description.section(' ', 0, 0);
        return words.join(' ');
    };
    QTRY_COMPARE(state(), outcome);
}

// Signs files of a sandbox folder the way an administrator does: tick, choose both signature
// kinds, confirm, pick the key, sign.
void ConsoleTest::signsTickedFilesAndRefreshesTheirSignatures()
{
    const auto path = [](const char* system) {
        return TestSupport::sandboxPath(QLatin1String(system));
    };
    // The package installs the key folders.
    QVERIFY(QDir().mkpath(path("/etc/digsig/keys"))
            && QDir().mkpath(path("/etc/digsig/xattr_keys")));
    QVERIFY(TestSupport::writeElf(path("/data/program")));
    const TestSupport::ScopedEnv state("DIGSIG_BSIGN_STATE", path("/var/lib/bsign").toUtf8());
    const GnupgHome gnupg(path("/root/.gnupg"));
    const QString fingerprint
        = gnupg.makeKey(QStringLiteral("E2E <e2e@example.org>"), QStringLiteral("ed25519"))
              .value(0);
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
