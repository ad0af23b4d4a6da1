// Drives the built plug-in the way the console does: loaded through QPluginLoader, reached only
// through the framework's classes and the settings form's object names.
#include "contextoperation.h"
#include "element.h"
#include "module.h"
#include "plugin.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "vieweditelementwidget.h"

#include <QRadioButton>
#include <QTextEdit>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
using TestSupport::sandboxPath;

} // namespace

class SettingsEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The loader leaves the plug-in loaded when it goes.
        QPluginLoader loader(qEnvironmentVariable("DIGSIG_PLUGIN_DIR") + "/cova-digsig-plugin.so");
        auto* plugin = qobject_cast<Plugin*>(loader.instance());
        QVERIFY2(plugin && plugin->isValid(), qPrintable(loader.errorString()));
        for (Module* module : plugin->modules())
            for (Element* element : module->elements())
                if (const auto* context = dynamic_cast<const ContextOperation*>(element);
                    context && context->elementType() == QLatin1String("DigSig"))
                    _element = element;
        QVERIFY(_element);
        qputenv("DIGSIG_UPDATE_INITRAMFS_LOG", QFile::encodeName(_logPath));
        qputenv("DIGSIG_MOUNT_LOG", QFile::encodeName(_logPath));
    }

    void apply_data()
    {
        QTest::addColumn<bool>("failed");
        QTest::addColumn<bool>("paranoid");
        QTest::newRow("rebuilt, reboot offered, read back") << false << true;
        QTest::newRow("rebuild fails: files written, no reboot offered") << true << true;
        QTest::newRow("not paranoid: not read back") << false << false;
    }

    // Update without a record; read, edit, Apply; then the next Apply is never refused for the
    // first one's own change.
    void apply()
    {
        QFETCH(bool, failed);
        QFETCH(bool, paranoid);
        // Every message box is answered No and recorded, so that a box the flow should not open
        // fails the test instead of blocking it.
        const TestSupport::ModalDriver driver(QMessageBox::No);
        auto* widget
            = qobject_cast<ViewEditElementWidget*>(_element->elementWidget(MainWidgetRole));
        QVERIFY(widget && widget->inherits("DigSigElementWidget"));
        auto* edit = widget->findChild<QTextEdit*>(QStringLiteral("_xattrControlFileTextEdit"));
        auto* debug = widget->findChild<QRadioButton*>(QStringLiteral("_debugElfRadioButton"));
        QVERIFY(edit && debug);
        // A key the reader does not know: the read fails, yet the form shows the values.
        QVERIFY(TestSupport::writeFile(sandboxPath(settingsPath),
                                       "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\nFOO=1\n"
                                       "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n"));
        QVERIFY(TestSupport::writeFile(sandboxPath(controlPath), "//bin/dash\n/usr/"));
        QVERIFY(TestSupport::writeFile(sandboxPath("/etc/mtab"), "/dev/sda1 /boot ext4 rw 0 2\n"));
        QFile::remove(_logPath);
        const TestSupport::ScopedEnv exit("DIGSIG_UPDATE_INITRAMFS_EXIT", failed ? "1" : "0");
        // Unset, the module's default, means paranoid.
        dynamic_cast<ContextOperation*>(_element)->module()->setData(
            QStringLiteral("paranoid"), paranoid ? QVariant() : QVariant(false));
        // Without a record nothing is saved: the update fails and offers no reboot.
        int start = _observer->history().size();
        _element->performOperation(UpdateOperation, nullptr, 0);
        QVERIFY(_observer->waitForIdle(30000));
        QCOMPARE(_observer->history().value(start).message,
                 QStringLiteral("No digital signature settings were given to save"));
        start = _observer->history().size();

        // The console reads when the element is shown and unblocks the form for Edit.
        _element->performOperation(ReadOperation, nullptr, 0);
        QVERIFY(_observer->waitForIdle(30000));
        QCOMPARE(_observer->history().value(start).message,
                 "file " + settingsPath + " contains invalid key: FOO");
        QVERIFY(!debug->isChecked());
        QCOMPARE(edit->toPlainText(), QStringLiteral("//bin/dash\n/usr/"));
        widget->blockEditWidget(false);
        debug->click();
        edit->setPlainText(QStringLiteral("//bin/dash\n/usr/\n/srv/"));

        widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));
        const QList<TaskObserver::Record> history = _observer->history().mid(start);
        QCOMPARE(history.size(), paranoid ? 3 : 2);
        QCOMPARE(history.at(1).status, failed ? 1 : 2);
        QCOMPARE(history.value(2).status, paranoid ? 2 : 0);
        QCOMPARE(TestSupport::readLog(_logPath).filter(QStringLiteral(" argv ")),
                 QStringList {"update-initramfs argv -u -k all"});
        QCOMPARE(TestSupport::readFile(sandboxPath(settingsPath)),
                 QByteArray("DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                            "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n"));
        QCOMPARE(TestSupport::readFile(sandboxPath(controlPath)),
                 QByteArray("//bin/dash\n/usr/\n/srv/\n"));
        QCOMPARE(driver.titles(), failed ? QStringList() : QStringList {"Reboot system"});
        QVERIFY(debug->isChecked());
        QCOMPARE(widget->isChanged(), !paranoid && failed);

        widget->blockEditWidget(false);
        edit->setPlainText(QStringLiteral("/opt/"));
        widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));
        QCOMPARE(TestSupport::readFile(sandboxPath(controlPath)), QByteArray("/opt/\n"));
    }

private:
    QTemporaryDir _scratch;
    const QString _logPath = _scratch.filePath(QStringLiteral("tools.log"));
    Element* _element = nullptr;
    TaskObserver* const _observer = TaskObserver::instance(nullptr);
};

DIGSIG_SANDBOX_TEST_MAIN(SettingsEndToEndTest)
#include "settingsendtoendtest.moc"
