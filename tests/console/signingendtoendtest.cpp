#include "element.h"
#include "elementwidget.h"
#include "module.h"
#include "plugin.h"
#include "testsupport.h"

#include <QAbstractProxyModel>
#include <QCheckBox>
#include <QFileSystemModel>
#include <QPluginLoader>
#include <QPushButton>
#include <QTreeView>

// Signs files of a sandbox folder through the plug-in the console loads, the way an
// administrator does: tick, choose both signature kinds, confirm, pick the key, sign.
class SigningEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signsTickedFilesAndRefreshesTheirSignatures();
};

void SigningEndToEndTest::signsTickedFilesAndRefreshesTheirSignatures()
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

    QPluginLoader loader(qEnvironmentVariable("DIGSIG_PLUGIN_DIR")
                         + QStringLiteral("/cova-digsig-plugin.so"));
    const QScopedPointer<Plugin> plugin(qobject_cast<Plugin*>(loader.instance()));
    QVERIFY2(plugin, qPrintable(loader.errorString()));
    ElementWidget* widget
        = plugin->modules().first()->elementWidget(QStringLiteral("DigSigSigning"));
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

DIGSIG_SANDBOX_TEST_MAIN(SigningEndToEndTest)
#include "signingendtoendtest.moc"
