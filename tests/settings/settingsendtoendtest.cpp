// Drives the built plug-in the way the console does: loaded through QPluginLoader, reached only
// through the framework's classes and the settings form's object names.
#include "contextoperation.h"
#include "element.h"
#include "module.h"
#include "plugin.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "vieweditelementwidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPluginLoader>
#include <QPointer>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QString mtabPath = QStringLiteral("/etc/mtab");
const QString helperPath = QStringLiteral("/usr/bin/kiro-wmfunc");

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}

} // namespace

class SettingsEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString tools = qEnvironmentVariable("DIGSIG_TOOLS_DIR");
        const QString plugins = qEnvironmentVariable("DIGSIG_PLUGIN_DIR");
        QVERIFY2(!tools.isEmpty() && !plugins.isEmpty(),
                 "run through CTest: DIGSIG_TOOLS_DIR and DIGSIG_PLUGIN_DIR are needed");
        qputenv("PATH", tools.toLocal8Bit() + ':' + qgetenv("PATH"));

        QVERIFY(TestSupport::writeFile(
            sandboxed(helperPath), TestSupport::readFile(tools + QStringLiteral("/kiro-wmfunc"))));
        QVERIFY(QFile::setPermissions(sandboxed(helperPath),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        _logPath = _scratch.filePath(QStringLiteral("tools.log"));
        for (const char* variable :
             {"DIGSIG_UPDATE_INITRAMFS_LOG", "DIGSIG_MOUNT_LOG", "DIGSIG_WMFUNC_LOG"})
            qputenv(variable, _logPath.toUtf8());
        qputenv("SUDO_UID", "1000");

        _loader.setFileName(plugins + QStringLiteral("/cova-digsig-plugin.so"));
        QObject* root = _loader.instance();
        QVERIFY2(root, qPrintable(_loader.errorString()));
        QCOMPARE(_loader.metaData().value(QStringLiteral("IID")).toString(),
                 QStringLiteral("kiro-admin-cova/0.0"));
        auto* plugin = qobject_cast<Plugin*>(root);
        QVERIFY(plugin);
        QVERIFY(plugin->isValid());
        for (Module* module : plugin->modules()) {
            for (Element* element : module->elements()) {
                const auto* context = dynamic_cast<const ContextOperation*>(element);
                if (context && context->elementType() == QLatin1String("DigSig"))
                    _element = element;
            }
        }
        QVERIFY(_element);
        _widget = qobject_cast<ViewEditElementWidget*>(_element->elementWidget(MainWidgetRole));
        QVERIFY(_widget);
        QVERIFY(_widget->inherits("DigSigElementWidget"));
        _observer = TaskObserver::instance(nullptr);
    }

    void readEditApply_data()
    {
        QTest::addColumn<QByteArray>("mtab");
        QTest::addColumn<QStringList>("calls");

        const QString rebuild = QStringLiteral("update-initramfs argv -u -k all");
        const QString rw = QStringLiteral("mount argv -o remount,rw /boot");
        const QString ro = QStringLiteral("mount argv -o remount,ro /boot");
        QTest::newRow("/boot read-only") << QByteArray(
            "/dev/sda2 / ext4 rw,relatime 0 1\n/dev/sda1 /boot ext4 ro,relatime 0 2\n")
                                         << QStringList {rw, rebuild, ro};
        QTest::newRow("/boot read-write") << QByteArray(
            "/dev/sda2 / ext4 rw,relatime 0 1\n/dev/sda1 /boot ext4 rw,relatime 0 2\n")
                                          << QStringList {rebuild};
    }

    void readEditApply()
    {
        QFETCH(QByteArray, mtab);
        QFETCH(QStringList, calls);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath),
                                       "# written by hand\nDIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\n"
                                       "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n"));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "//bin/dash\n/usr/"));
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), mtab));
        QFile::remove(_logPath);
        const int historyStart = _observer->history().size();

        // Read: the console sends operation 32 when the element is shown.
        QVERIFY(_element->availableOperations() & ReadOperation);
        _element->performOperation(ReadOperation, nullptr, 0);
        QVERIFY(_observer->waitForIdle(30000));
        QList<TaskObserver::Record> history = _observer->history().mid(historyStart);
        QCOMPARE(history.size(), 1);
        QCOMPARE(history.at(0).description, QStringLiteral("Read digital signature settings"));
        QCOMPARE(history.at(0).status, 2);
        QVERIFY(radio("_offElfRadioButton")->isChecked());
        QVERIFY(radio("_offXattrRadioButton")->isChecked());
        QCOMPARE(_widget->findChild<QTextEdit*>(QStringLiteral("_xattrControlFileTextEdit"))
                     ->toPlainText(),
                 QStringLiteral("//bin/dash\n/usr/"));
        QVERIFY(_widget->isEditBlocked());
        QVERIFY(!_widget->isChanged());

        // Edit: the console's Edit action unblocks the widget; ELF goes to Debug.
        _widget->blockEditWidget(false);
        QTest::mouseClick(radio("_debugElfRadioButton"), Qt::LeftButton);
        QVERIFY(radio("_debugElfRadioButton")->isChecked());
        QVERIFY(_widget->isChanged());

        // Apply: no confirmation for Debug; the reboot question after the update gets Yes.
        TestSupport::BoxAnswerer answerer(QMessageBox::Yes);
        _widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));

        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)),
                 QByteArray("DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                            "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n"));
        // The control text was not edited: the file is left as it was.
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), QByteArray("//bin/dash\n/usr/"));
        QStringList argv;
        for (const QString& line : TestSupport::readLog(_logPath)) {
            if (line.contains(QLatin1String(" argv "))
                && !line.startsWith(QLatin1String("kiro-wmfunc")))
                argv << line;
        }
        QCOMPARE(argv, calls);
        QCOMPARE(TestSupport::readFile(sandboxed(mtabPath)), mtab);

        // The task panel: the update succeeded and was followed by a fresh read.
        history = _observer->history().mid(historyStart);
        QCOMPARE(history.size(), 3);
        QCOMPARE(history.at(1).description, QStringLiteral("Update digital signature settings"));
        QCOMPARE(history.at(1).status, 2);
        QCOMPARE(history.at(1).message, QString());
        QCOMPARE(history.at(2).description, QStringLiteral("Read digital signature settings"));
        QCOMPARE(history.at(2).status, 2);

        // The reboot question was answered Yes, so the helper ran.
        QCOMPARE(answerer.titles(), QStringList {QStringLiteral("Reboot system")});
        const QStringList log = TestSupport::readLog(_logPath);
        QVERIFY(log.contains(QStringLiteral("kiro-wmfunc argv KIROWM_REBOOT")));
        QVERIFY(log.contains(QStringLiteral("kiro-wmfunc env XDG_RUNTIME_DIR=/run/user/1000")));

        // The widget was refilled from disk and is back in view mode, unchanged.
        QVERIFY(radio("_debugElfRadioButton")->isChecked());
        QVERIFY(!radio("_offElfRadioButton")->isChecked());
        QVERIFY(radio("_offXattrRadioButton")->isChecked());
        QCOMPARE(_widget->findChild<QTextEdit*>(QStringLiteral("_xattrControlFileTextEdit"))
                     ->toPlainText(),
                 QStringLiteral("//bin/dash\n/usr/"));
        QVERIFY(_widget->isEditBlocked());
        QVERIFY(!_widget->isChanged());
    }

    void failedRebuildKeepsTheEditUntilTheReread()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath),
                                       "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\n"
                                       "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n"));
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), "/dev/sda1 /boot ext4 ro 0 2\n"));
        QFile::remove(_logPath);
        qputenv("DIGSIG_UPDATE_INITRAMFS_STDERR", "E: out of space %2\n");
        qputenv("DIGSIG_UPDATE_INITRAMFS_EXIT", "1");
        const int historyStart = _observer->history().size();
        _element->performOperation(ReadOperation, nullptr, 0);
        QVERIFY(_observer->waitForIdle(30000));

        _widget->blockEditWidget(false);
        TestSupport::BoxAnswerer answerer(QMessageBox::Yes);
        radio("_onXattrRadioButton")->click();
        _widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));
        qunsetenv("DIGSIG_UPDATE_INITRAMFS_STDERR");
        qunsetenv("DIGSIG_UPDATE_INITRAMFS_EXIT");

        // Two warnings (On, then the apply confirmation) and no reboot question.
        QCOMPARE(answerer.titles(),
                 QStringList({QStringLiteral("Warning"), QStringLiteral("Warning")}));
        const QList<TaskObserver::Record> history = _observer->history().mid(historyStart);
        QCOMPARE(history.size(), 3);
        QCOMPARE(history.at(1).status, 1);
        QCOMPARE(history.at(1).message,
                 QStringLiteral("Process: \"update-initramfs -u -k all\" finished with errors:\n"
                                "E: out of space %2\n\nExit code: 1"));
        QVERIFY(TestSupport::readFile(sandboxed(settingsPath)).contains("DIGSIG_XATTR_MODE=1\n"));
        QCOMPARE(TestSupport::readFile(sandboxed(mtabPath)),
                 QByteArray("/dev/sda1 /boot ext4 ro 0 2\n"));
        QVERIFY(!TestSupport::readLog(_logPath).contains(
            QStringLiteral("kiro-wmfunc argv KIROWM_REBOOT")));
        // Module value "paranoid" is unset, so the read-back shows what the file now holds.
        QVERIFY(radio("_onXattrRadioButton")->isChecked());
    }

    void applyRefusedAfterChangeOnDisk_data()
    {
        QTest::addColumn<QString>("changed");
        QTest::newRow("control file merged into by a signing run") << controlPath;
        QTest::newRow("settings file changed by another administrator") << settingsPath;
    }

    // Between the read the widget shows and Apply, a file changes: nothing is written, nothing
    // rebuilt, and the message names the file.
    void applyRefusedAfterChangeOnDisk()
    {
        QFETCH(QString, changed);
        const QByteArray settings = "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\n"
                                    "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n";
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settings));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "/usr/\n"));
        readAndEdit();
        _widget->findChild<QTextEdit*>(QStringLiteral("_xattrControlFileTextEdit"))
            ->setPlainText(QStringLiteral("/usr/\n/srv/\n"));
        const QByteArray meanwhile = changed == controlPath
            ? QByteArray("/opt/signed/\n/usr/\n")
            : QByteArray(settings).replace("IGNORE_GOST2001=0", "IGNORE_GOST2001=1");
        QVERIFY(TestSupport::writeFile(sandboxed(changed), meanwhile));
        QFile::remove(_logPath);
        const int historyStart = _observer->history().size();

        TestSupport::BoxAnswerer answerer(QMessageBox::Yes);
        _widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));
        const QList<TaskObserver::Record> history = _observer->history().mid(historyStart);
        QCOMPARE(history.at(0).status, 1);
        QCOMPARE(history.at(0).message,
                 changed
                     + QStringLiteral(" has changed on disk since it was read; nothing was saved. "
                                      "Press Refresh to see what it holds now, then make your "
                                      "changes again."));
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)),
                 changed == settingsPath ? meanwhile : settings);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)),
                 changed == controlPath ? meanwhile : QByteArray("/usr/\n"));
        QCOMPARE(TestSupport::readLog(_logPath), QStringList());
    }

    // A control file the editor cannot show as it is stays byte for byte when the modes change.
    void controlFileThatIsNotTextIsKept()
    {
        const QByteArray control("/caf\xe9/\n/a\0b/\n//bin/dash\n", 24);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath),
                                       "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\n"
                                       "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n"));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), control));
        QVERIFY(TestSupport::writeFile(sandboxed(mtabPath), "/dev/sda1 /boot ext4 rw 0 2\n"));
        readAndEdit();
        auto* edit = _widget->findChild<QTextEdit*>(QStringLiteral("_xattrControlFileTextEdit"));
        auto* notice = _widget->findChild<QLabel*>(QStringLiteral("_xattrControlNoticeLabel"));
        QVERIFY(edit->isReadOnly());
        QVERIFY(!notice->isHidden());
        QVERIFY(notice->text().startsWith(controlPath + QStringLiteral(" holds bytes")));
        QCOMPARE(edit->toPlainText(), QString::fromUtf8("/caf\ufffd/\n/a\ufffdb/\n//bin/dash\n"));

        TestSupport::BoxAnswerer answerer(QMessageBox::No);
        radio("_debugElfRadioButton")->click();
        _widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));
        QCOMPARE(_observer->history().at(_observer->history().size() - 2).status, 2);
        QVERIFY(TestSupport::readFile(sandboxed(settingsPath)).startsWith("DIGSIG_ELF_MODE=2\n"));
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), control);
    }

private:
    void readAndEdit()
    {
        _element->performOperation(ReadOperation, nullptr, 0);
        QVERIFY(_observer->waitForIdle(30000));
        _widget->blockEditWidget(false);
    }

    QRadioButton* radio(const char* name) const
    {
        auto* button = _widget->findChild<QRadioButton*>(QString::fromLatin1(name));
        if (!button)
            qFatal("no radio button %s", name);
        return button;
    }

    QTemporaryDir _scratch;
    QString _logPath;
    QPluginLoader _loader;
    Element* _element = nullptr;
    ViewEditElementWidget* _widget = nullptr;
    TaskObserver* _observer = nullptr;
};

DIGSIG_SANDBOX_TEST_MAIN(SettingsEndToEndTest)
#include "settingsendtoendtest.moc"
