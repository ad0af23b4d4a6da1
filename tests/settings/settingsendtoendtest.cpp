// Drives the built plug-in the way the console does: loaded through QPluginLoader, reached only
// through the framework's classes and the settings form's object names.
#include "contextoperation.h"
#include "element.h"
#include "module.h"
#include "plugin.h"
#include "taskobserver.h"
#include "testsupport.h"
#include "vieweditelementwidget.h"

#include <QPluginLoader>
#include <QRadioButton>
#include <QTextEdit>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QByteArray bootReadOnly = "/dev/sda1 /boot ext4 ro,relatime 0 2\n";
const QByteArray bootReadWrite = "/dev/sda1 /boot ext4 rw,relatime 0 2\n";
// A key the reader does not know: the read fails, yet the widget shows the values.
const QByteArray handWritten = "# written by hand\nDIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=0\nFOO=1\n"
                               "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n";
const QByteArray written = "DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                           "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=1\n";

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxPath(path);
}

} // namespace

class SettingsEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        _loader.setFileName(qEnvironmentVariable("DIGSIG_PLUGIN_DIR")
                            + QStringLiteral("/cova-digsig-plugin.so"));
        auto* plugin = qobject_cast<Plugin*>(_loader.instance());
        QVERIFY2(plugin && plugin->isValid(), qPrintable(_loader.errorString()));
        for (Module* module : plugin->modules()) {
            for (Element* element : module->elements()) {
                const auto* context = dynamic_cast<const ContextOperation*>(element);
                if (context && context->elementType() == QLatin1String("DigSig")) {
                    _element = element;
                    _module = module;
                }
            }
        }
        QVERIFY(_element);
        _widget = qobject_cast<ViewEditElementWidget*>(_element->elementWidget(MainWidgetRole));
        QVERIFY(_widget && _widget->inherits("DigSigElementWidget"));
        _edit = _widget->findChild<QTextEdit*>(QStringLiteral("_xattrControlFileTextEdit"));
        QVERIFY(_edit);
        _observer = TaskObserver::instance(nullptr);
        _logPath = _scratch.filePath(QStringLiteral("tools.log"));
        qputenv("DIGSIG_UPDATE_INITRAMFS_LOG", QFile::encodeName(_logPath));
        qputenv("DIGSIG_MOUNT_LOG", QFile::encodeName(_logPath));
    }

    void apply_data()
    {
        QTest::addColumn<QByteArray>("mtab");
        QTest::addColumn<QByteArray>("exitCode");
        QTest::addColumn<bool>("paranoid");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("calls");
        const QString rebuild = QStringLiteral("update-initramfs argv -u -k all");
        QTest::newRow("/boot read-only: remounted around the rebuild, reboot offered")
            << bootReadOnly << QByteArray("0") << true << QString()
            << QStringList {"mount argv -o remount,rw /boot", rebuild,
                            "mount argv -o remount,ro /boot"};
        QTest::newRow("rebuild fails: files written, no reboot offered")
            << bootReadWrite << QByteArray("1") << true
            << "Process: \"update-initramfs -u -k all\" finished with errors:\n\nExit code: 1"
            << QStringList {rebuild};
        QTest::newRow("not paranoid: not read back")
            << bootReadWrite << QByteArray("0") << false << QString() << QStringList {rebuild};
    }

    // Read, edit, Apply; then the next Apply is never refused for the first one's own change.
    void apply()
    {
        QFETCH(QByteArray, mtab);
        QFETCH(QByteArray, exitCode);
        QFETCH(bool, paranoid);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), handWritten));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "//bin/dash\n/usr/"));
        QVERIFY(TestSupport::writeFile(sandboxed(QStringLiteral("/etc/mtab")), mtab));
        QFile::remove(_logPath);
        const TestSupport::ScopedEnv exit("DIGSIG_UPDATE_INITRAMFS_EXIT", exitCode);
        if (paranoid)
            _module->removeData(QStringLiteral("paranoid"));
        else
            _module->setData(QStringLiteral("paranoid"), false);
        const int start = _observer->history().size();

        // The console reads when the element is shown and unblocks the form for Edit.
        _element->performOperation(ReadOperation, nullptr, 0);
        QVERIFY(_observer->waitForIdle(30000));
        QCOMPARE(_observer->history().size(), start + 1);
        QCOMPARE(_observer->history().at(start).status, 1);
        QCOMPARE(_observer->history().at(start).message,
                 "file " + settingsPath + " contains invalid key: FOO");
        QVERIFY(radio("_offElfRadioButton")->isChecked());
        QCOMPARE(_edit->toPlainText(), QStringLiteral("//bin/dash\n/usr/"));
        _widget->blockEditWidget(false);
        radio("_debugElfRadioButton")->click();
        _edit->setPlainText(QStringLiteral("//bin/dash\n/usr/\n/srv/"));

        TestSupport::ModalDriver driver(QMessageBox::No);
        _widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));
        const QList<TaskObserver::Record> history = _observer->history().mid(start);
        QCOMPARE(history.size(), paranoid ? 3 : 2);
        QCOMPARE(history.at(1).description, QStringLiteral("Update digital signature settings"));
        const bool failed = exitCode != "0";
        QCOMPARE(history.at(1).status, failed ? 1 : 2);
        QTEST(history.at(1).message, "message");
        QCOMPARE(history.value(2).status, paranoid ? 2 : 0);
        QStringList calls;
        for (const QString& line : TestSupport::readLog(_logPath))
            if (line.contains(QLatin1String(" argv ")))
                calls << line;
        QTEST(calls, "calls");
        QCOMPARE(TestSupport::readFile(sandboxed(settingsPath)), written);
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)),
                 QByteArray("//bin/dash\n/usr/\n/srv/\n"));
        QCOMPARE(driver.titles(), failed ? QStringList() : QStringList {"Reboot system"});
        QVERIFY(radio("_debugElfRadioButton")->isChecked());
        QCOMPARE(_widget->isChanged(), !paranoid && failed);

        _widget->blockEditWidget(false);
        _edit->setPlainText(QStringLiteral("/opt/"));
        _widget->applyContentChanges();
        QVERIFY(_observer->waitForIdle(60000));
        QCOMPARE(TestSupport::readFile(sandboxed(controlPath)), QByteArray("/opt/\n"));
    }

private:
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
    Module* _module = nullptr;
    Element* _element = nullptr;
    ViewEditElementWidget* _widget = nullptr;
    QTextEdit* _edit = nullptr;
    TaskObserver* _observer = nullptr;
};

DIGSIG_SANDBOX_TEST_MAIN(SettingsEndToEndTest)
#include "settingsendtoendtest.moc"
