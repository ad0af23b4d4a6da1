#include "digsigelement.h"
#include "digsigelementdata.h"
#include "digsigelementwidget.h"
#include "digsigreadtask.h"
#include "digsigupdatetask.h"
#include "module.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "updateinitramfstask.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextEdit>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QString mtabPath = QStringLiteral("/etc/mtab");

const QByteArray oldSettings = "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\n"
                               "DIGSIG_IGNORE_XATTR_KEYS=1\nDIGSIG_IGNORE_GOST2001=0\n";
const QByteArray oldControl = "//bin/dash\n";
const QByteArray bootReadWrite = "/dev/sda2 / ext4 rw 0 1\n/dev/sda1 /boot ext4 rw,relatime 0 2\n";
const QByteArray bootReadOnly = "/dev/sda2 / ext4 rw 0 1\n/dev/sda1 /boot ext4 ro,relatime 0 2\n";

const char* const standInVariables[]
    = {"DIGSIG_UPDATE_INITRAMFS_STDERR", "DIGSIG_UPDATE_INITRAMFS_EXIT",
       "DIGSIG_UPDATE_INITRAMFS_CRASH", "DIGSIG_MOUNT_EXIT", "DIGSIG_MOUNT_CRASH"};

const QString mountRw = QStringLiteral("mount argv -o remount,rw /boot");
const QString mountRo = QStringLiteral("mount argv -o remount,ro /boot");
const QString rebuild = QStringLiteral("update-initramfs argv -u -k all");

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}

// Does what DigSigModule does with a read (start a read task), and remembers every operation.
class RecordingModule : public Module
{
public:
    RecordingModule()
        : Module(QStringLiteral("RecordingModule"), nullptr, false)
    { }

    void performOperation(ContextOperation* operation, OperationType type, ElementData* data,
                          int n) override
    {
        operations << type;
        if (type == ReadOperation)
            TaskObserver::instance(nullptr)->performTask(
                new DigSigReadTask(operation->elementContext()));
        Module::performOperation(operation, type, data, n);
    }

    QList<int> operations;
};

// The real settings widget, minus the reboot question, counting what the tasks call.
class RecordingWidget : public DigSigElementWidget
{
public:
    explicit RecordingWidget(Module& module)
        : DigSigElementWidget(module, Module::isAdministratorHierarchy, nullptr)
    { }

    void afterSuccessfulRead(Element* element, ElementData* data) override
    {
        reads << qMakePair(element, data != nullptr);
        DigSigElementWidget::afterSuccessfulRead(element, data);
    }

    void afterSuccessfulUpdate() override { ++updates; }

    QList<QPair<Element*, bool>> reads;
    int updates = 0;
};

DigSigElementData* edited(const QString& control = QStringLiteral("//bin/dash\n/usr/"))
{
    auto* data = new DigSigElementData;
    data->setElfMode(Debug);
    data->setXattrMode(Off);
    data->setIgnoreXattrKeys(true);
    data->setIgnoreGost2001(false);
    data->setXattrControl(control);
    return data;
}

const QByteArray editedSettings = "DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                                  "DIGSIG_IGNORE_XATTR_KEYS=1\nDIGSIG_IGNORE_GOST2001=0\n";

} // namespace

class SettingsTasksTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        _logPath = _scratch.filePath(QStringLiteral("tools.log"));
        const QByteArray tools = qgetenv("DIGSIG_TOOLS_DIR");
        QVERIFY2(!tools.isEmpty(), "run through CTest: DIGSIG_TOOLS_DIR names the stand-ins");
        qputenv("PATH", tools + ':' + qgetenv("PATH"));
        _path = qgetenv("PATH");
        // A search path with the mount stand-in and what its script runs, but no
        // update-initramfs (not even the machine's own).
        QVERIFY(QDir().mkpath(_scratch.filePath(QStringLiteral("onlymount"))));
        QVERIFY(QFile::link(QString::fromLocal8Bit(tools) + QStringLiteral("/mount"),
                            _scratch.filePath(QStringLiteral("onlymount/mount"))));
        for (const char* utility : {"awk", "date", "mv", "printenv"}) {
            const QString name = QString::fromLatin1(utility);
            QVERIFY(QFile::link(QStandardPaths::findExecutable(name),
                                _scratch.filePath(QStringLiteral("onlymount/") + name)));
        }
        _observer = TaskObserver::instance(nullptr);
    }

    void init()
    {
        QDir(sandboxed(QStringLiteral("/etc"))).removeRecursively();
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), oldSettings));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), oldControl));
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), bootReadWrite));
        QFile::remove(_logPath);
        for (const char* name : standInVariables)
            qunsetenv(name);
        qputenv("DIGSIG_UPDATE_INITRAMFS_LOG", _logPath.toUtf8());
        qputenv("DIGSIG_MOUNT_LOG", _logPath.toUtf8());
        qputenv("PATH", _path);

        _module = new RecordingModule;
        _element = new DigSigElement(*_module, Module::isAdministratorHierarchy);
        _module->elements().append(_element);
        _widget = new RecordingWidget(*_module);
        _module->insertElementWidget(_widget);
        _module->connectElementWidgets();
        _historyStart = _observer->history().size();
    }

    void cleanup()
    {
        QVERIFY(_observer->waitForIdle(30000));
        delete _module;
    }

    void readSucceeds()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath),
                                       "DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=1\n"
                                       "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n"));
        runTask(new DigSigReadTask(_element));
        QCOMPARE(records().size(), 1);
        QCOMPARE(records().at(0).description, QStringLiteral("Read digital signature settings"));
        QCOMPARE(records().at(0).status, 2);
        QCOMPARE(records().at(0).message, QString());
        QCOMPARE(_widget->reads.size(), 1);
        QCOMPARE(_widget->reads.at(0).first, static_cast<Element*>(_element));
        QVERIFY(_widget->reads.at(0).second);
        QVERIFY(_widget->findChild<QAbstractButton*>(QStringLiteral("_debugElfRadioButton"))
                    ->isChecked());
        QVERIFY(_widget->findChild<QAbstractButton*>(QStringLiteral("_onXattrRadioButton"))
                    ->isChecked());
    }

    void failedReadStillRefillsWidget()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), "DIGSIG_ELF_MODE=1\nFOO=3\n"));
        QVERIFY(QFile::remove(sandboxed(controlPath)));
        runTask(new DigSigReadTask(_element));
        QCOMPARE(records().size(), 1);
        QCOMPARE(records().at(0).status, 1);
        const QString file = QStringLiteral("file ") + settingsPath;
        QCOMPARE(
            records().at(0).message,
            QStringList(
                {file + QStringLiteral(" contains invalid key: FOO"),
                 file + QStringLiteral(" does not contain the required option DIGSIG_XATTR_MODE"),
                 file
                     + QStringLiteral(
                         " does not contain the required option DIGSIG_IGNORE_XATTR_KEYS"),
                 file
                     + QStringLiteral(
                         " does not contain the required option DIGSIG_IGNORE_GOST2001"),
                 QStringLiteral("DIGSIG_XATTR_MODE value \"\" is invalid"),
                 QStringLiteral("DIGSIG_IGNORE_XATTR_KEYS value \"\" is invalid"),
                 QStringLiteral("DIGSIG_IGNORE_GOST2001 value \"\" is invalid"),
                 QStringLiteral("file /etc/digsig/xattr_control can not be opened")})
                .join(QLatin1Char('\n')));
        QCOMPARE(_widget->reads.size(), 1);
        QVERIFY(
            _widget->findChild<QAbstractButton*>(QStringLiteral("_onElfRadioButton"))->isChecked());
    }

    void update_data()
    {
        QTest::addColumn<QByteArray>("mtab");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("calls");

        const QString process = QStringLiteral("Process: \"update-initramfs -u -k all\"");
        const QString control = QStringLiteral("//bin/dash\n/usr/");
        const QString warning = QStringLiteral("cryptsetup: WARNING: no such device\nother line\n");

        QTest::newRow("clean, /boot read-write")
            << bootReadWrite << QStringList() << control << 2 << QString() << QStringList {rebuild};
        QTest::newRow("clean, no /boot entry")
            << QByteArray("/dev/sda2 / ext4 ro 0 1\n") << QStringList() << control << 2 << QString()
            << QStringList {rebuild};
        QTest::newRow("clean, /boot read-only")
            << bootReadOnly << QStringList() << control << 2 << QString()
            << QStringList {mountRw, rebuild, mountRo};
        QTest::newRow("warnings") << bootReadOnly
                                  << QStringList {QStringLiteral("DIGSIG_UPDATE_INITRAMFS_STDERR=")
                                                  + warning}
                                  << control << 3
                                  << process + QStringLiteral(" finished with warnings:\n")
                + warning << QStringList {mountRw, rebuild, mountRo};
        QTest::newRow("rebuild fails, read-only remount still follows")
            << bootReadOnly
            << QStringList {QStringLiteral("DIGSIG_UPDATE_INITRAMFS_STDERR=E: %2 failed %1"),
                            QStringLiteral("DIGSIG_UPDATE_INITRAMFS_EXIT=4")}
            << control << 1
            << process + QStringLiteral(" finished with errors:\nE: %2 failed %1\nExit code: 4")
            << QStringList {mountRw, rebuild, mountRo};
        QTest::newRow("rebuild crashes")
            << bootReadOnly << QStringList {QStringLiteral("DIGSIG_UPDATE_INITRAMFS_CRASH=1")}
            << control << 1 << process + QStringLiteral(". Error: 1.\n\"Not finished\"")
            << QStringList {mountRw, rebuild, mountRo};
        QTest::newRow("rebuild not found")
            << bootReadOnly
            << QStringList {QStringLiteral("PATH=")
                            + _scratch.filePath(QStringLiteral("onlymount"))}
            << control << 1 << process + QStringLiteral(". Error: 0.\n\"Not started\"")
            << QStringList {mountRw, mountRo};
        QTest::newRow("read-write remount fails")
            << bootReadOnly << QStringList {QStringLiteral("DIGSIG_MOUNT_EXIT=32")} << control << 1
            << QStringLiteral("Can't remount /boot read write") << QStringList {mountRw};
        QTest::newRow("mount table missing")
            << QByteArray() << QStringList() << control << 1
            << QStringLiteral("Can't parse /etc/mtab") << QStringList();
        const QString tooLong = QString(4095, QLatin1Char('a'));
        QTest::newRow("failed write, nothing rebuilt")
            << bootReadOnly << QStringList() << QStringLiteral("/usr/\n") + tooLong << 1
            << QStringLiteral("Line ") + tooLong + QStringLiteral(" exceeds the size limit.")
            << QStringList();
    }

    void update()
    {
        QFETCH(QByteArray, mtab);
        QFETCH(QStringList, environment);
        QFETCH(QString, control);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QStringList, calls);
        if (mtab.isEmpty())
            QVERIFY(QFile::remove(sandboxed(mtabPath)));
        else
            QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), mtab));
        for (const QString& assignment : environment) {
            const int equals = assignment.indexOf(QLatin1Char('='));
            qputenv(assignment.left(equals).toUtf8().constData(),
                    assignment.mid(equals + 1).toUtf8());
        }
        // No re-read, so that the widget's changed mark shows what the update task left.
        _module->setData(QStringLiteral("paranoid"), false);
        _widget->changeContent();

        runTask(new DigSigUpdateTask(_element, edited(control)));
        QCOMPARE(records().size(), 1);
        QCOMPARE(records().at(0).description, QStringLiteral("Update digital signature settings"));
        QCOMPARE(records().at(0).status, status);
        QCOMPARE(records().at(0).message, message);
        QCOMPARE(argvLines(), calls);
        // A control text that cannot be written leaves the settings file alone too.
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)),
                 message.startsWith(QLatin1String("Line ")) ? oldSettings : editedSettings);
        if (!mtab.isEmpty())
            QCOMPARE(TestSupport::readFile(sandboxed(mtabPath)).contains("ro,relatime"),
                     mtab.contains("/boot ext4 ro"));
        QCOMPARE(_widget->updates, status == 1 ? 0 : 1);
        QCOMPARE(_widget->isChanged(), status == 1);
        QCOMPARE(_module->operations, QList<int>());
    }

    void nextApplyAfterAnUpdate_data()
    {
        QTest::addColumn<QByteArray>("exitCode");
        QTest::newRow("rebuilt") << QByteArray("0");
        QTest::newRow("files written, rebuild failed") << QByteArray("1");
    }

    // Without a re-read ("paranoid" false), the widget takes the files the update wrote as what
    // it shows: its next Apply is not refused for the update's own change.
    void nextApplyAfterAnUpdate()
    {
        QFETCH(QByteArray, exitCode);
        qputenv("DIGSIG_UPDATE_INITRAMFS_EXIT", exitCode);
        _module->setData(QStringLiteral("paranoid"), false);
        runTask(new DigSigReadTask(_element));
        _widget->blockEditWidget(false);
        auto* edit = _widget->findChild<QTextEdit*>(QStringLiteral("_xattrControlFileTextEdit"));
        edit->setPlainText(QStringLiteral(" /srv/ "));
        _widget->findChild<QAbstractButton*>(QStringLiteral("_debugElfRadioButton"))->click();
        for (const QByteArray& expected : {QByteArray("/srv/\n"), QByteArray("/opt/\n")}) {
            runTask(new DigSigUpdateTask(_element, _widget->exportElementData()));
            QVERIFY(!records().constLast().message.contains(QLatin1String("changed on disk")));
            QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), expected);
            QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), editedSettings);
            edit->setPlainText(QStringLiteral("/opt/"));
        }
    }

    void updateWithoutSettingsRecord_data()
    {
        QTest::addColumn<bool>("plainRecord");
        QTest::newRow("no record") << false;
        QTest::newRow("record of another type") << true;
    }

    void updateWithoutSettingsRecord()
    {
        QFETCH(bool, plainRecord);
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), bootReadOnly));
        runTask(new DigSigUpdateTask(_element, plainRecord ? new ElementData : nullptr));
        QCOMPARE(records().at(0).status, 1);
        QCOMPARE(records().at(0).message,
                 QStringLiteral("No digital signature settings were given to save"));
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), oldSettings);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), oldControl);
        QCOMPARE(argvLines(), QStringList());
        QCOMPARE(_widget->updates, 0);
    }

    void paranoid_data()
    {
        QTest::addColumn<QVariant>("paranoid");
        QTest::addColumn<bool>("failing");
        QTest::addColumn<bool>("reread");
        QTest::newRow("unset") << QVariant() << false << true;
        QTest::newRow("unset, failed update") << QVariant() << true << true;
        QTest::newRow("true") << QVariant(true) << false << true;
        QTest::newRow("false") << QVariant(false) << false << false;
        QTest::newRow("false, failed update") << QVariant(false) << true << false;
    }

    void paranoid()
    {
        QFETCH(QVariant, paranoid);
        QFETCH(bool, failing);
        QFETCH(bool, reread);
        if (paranoid.isValid())
            _module->setData(QStringLiteral("paranoid"), paranoid);
        if (failing)
            qputenv("DIGSIG_UPDATE_INITRAMFS_EXIT", "1");

        runTask(new DigSigUpdateTask(_element, edited()));
        QCOMPARE(_module->operations, reread ? QList<int> {ReadOperation} : QList<int>());
        QCOMPARE(records().size(), reread ? 2 : 1);
        QCOMPARE(records().at(0).status, failing ? 1 : 2);
        if (reread) {
            QCOMPARE(records().at(1).description,
                     QStringLiteral("Read digital signature settings"));
            QCOMPARE(records().at(1).status, 2);
            QCOMPARE(_widget->reads.size(), 1);
            QVERIFY(_widget->findChild<QAbstractButton*>(QStringLiteral("_debugElfRadioButton"))
                        ->isChecked());
        }
        QCOMPARE(_widget->updates, failing ? 0 : 1);
    }

    void rebuildTask_data()
    {
        QTest::addColumn<QByteArray>("mtab");
        QTest::addColumn<QByteArray>("exitCode");
        QTest::addColumn<QByteArray>("standardError");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("calls");

        const QString process = QStringLiteral("Process: \"update-initramfs -u -k all\"");
        const QByteArray ldconfig = "ldconfig: input file /lib/a.so not found\n";
        QTest::newRow("clean") << bootReadWrite << QByteArray() << QByteArray() << 2 << QString()
                               << QStringList {rebuild};
        QTest::newRow("clean, read-only /boot")
            << bootReadOnly << QByteArray() << QByteArray() << 2 << QString()
            << QStringList {mountRw, rebuild, mountRo};
        QTest::newRow("warnings") << bootReadWrite << QByteArray() << ldconfig << 3
                                  << process + QStringLiteral(" finished with warnings:\n")
                + ldconfig << QStringList {rebuild};
        QTest::newRow("fails") << bootReadOnly << QByteArray("2") << ldconfig << 1
                               << process + QStringLiteral(" finished with errors:\n") + ldconfig
                + QStringLiteral("\nExit code: 2")
                               << QStringList {mountRw, rebuild, mountRo};
        QTest::newRow("read-write remount fails")
            << QByteArray("/dev/sda1 /boot ext4 ro 0 2\n/dev/sdb1 /boot ext4 ro 0 2\n")
            << QByteArray() << QByteArray() << 1 << QStringLiteral("Can't remount /boot read write")
            << QStringList {mountRw};
    }

    void rebuildTask()
    {
        QFETCH(QByteArray, mtab);
        QFETCH(QByteArray, exitCode);
        QFETCH(QByteArray, standardError);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QStringList, calls);
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), mtab));
        if (status == 1 && exitCode.isEmpty())
            qputenv("DIGSIG_MOUNT_EXIT", "32");
        if (!exitCode.isEmpty())
            qputenv("DIGSIG_UPDATE_INITRAMFS_EXIT", exitCode);
        if (!standardError.isEmpty())
            qputenv("DIGSIG_UPDATE_INITRAMFS_STDERR", standardError);

        runTask(new UpdateInitramfsTask(new ElementData));
        QCOMPARE(records().size(), 1);
        QCOMPARE(records().at(0).description, QStringLiteral("Update initramfs"));
        QCOMPARE(records().at(0).status, status);
        QCOMPARE(records().at(0).message, message);
        QCOMPARE(argvLines(), calls);
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), oldSettings);
        QCOMPARE(_widget->reads.size(), 0);
        QCOMPARE(_widget->updates, 0);
    }

private:
    void runTask(AbstractTask* task)
    {
        _observer->performTask(task);
        QVERIFY(_observer->waitForIdle(30000));
    }

    QList<TaskObserver::Record> records() const { return _observer->history().mid(_historyStart); }

    QStringList argvLines() const
    {
        QStringList lines;
        for (const QString& line : TestSupport::readLog(_logPath)) {
            if (line.contains(QLatin1String(" argv ")))
                lines << line;
        }
        return lines;
    }

    QTemporaryDir _scratch;
    QString _logPath;
    QByteArray _path;
    TaskObserver* _observer = nullptr;
    RecordingModule* _module = nullptr;
    DigSigElement* _element = nullptr;
    RecordingWidget* _widget = nullptr;
    int _historyStart = 0;
};

DIGSIG_SANDBOX_TEST_MAIN(SettingsTasksTest)
#include "settingstaskstest.moc"
