#include "element.h"
#include "elementwidget.h"
#include "module.h"
#include "plugin.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QAbstractProxyModel>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QPluginLoader>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>

// Signs files of a sandbox folder through the plug-in the console loads, the way an
// administrator does: tick, choose both signature kinds, confirm, pick the key, sign.
class SigningEndToEndTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void signsTickedFilesAndRefreshesTheirSignatures();

private:
    QString signatureOf(const QString& path, int column) const;

    QPluginLoader _loader;
    Plugin* _plugin = nullptr;
    QTreeView* _view = nullptr;
    QAbstractProxyModel* _proxy = nullptr;
    QFileSystemModel* _files = nullptr;
    QString _fingerprint;
};

void SigningEndToEndTest::initTestCase()
{
    const QString root = Sysroot::root();
    QVERIFY(TestSupport::writeFile(root + QStringLiteral("/etc/digsig/digsig_initramfs.conf"),
                                   "DIGSIG_ELF_MODE=2\nDIGSIG_XATTR_MODE=0\n"
                                   "DIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n"));
    QVERIFY(
        TestSupport::writeFile(root + QStringLiteral("/etc/digsig/xattr_control"), "//bin/dash\n"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/etc/digsig/keys")));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/etc/digsig/xattr_keys")));
    QVERIFY(TestSupport::writeFile(root + QStringLiteral("/data/program"),
                                   TestSupport::readFile(QStringLiteral("/bin/true"))));
    QVERIFY(TestSupport::writeFile(root + QStringLiteral("/data/notes.txt"), "notes\n"));
    QVERIFY(QDir().mkpath(root + QStringLiteral("/var/lib/bsign")));
    qputenv("DIGSIG_BSIGN_STATE", root.toUtf8() + "/var/lib/bsign");

    QProcess gpg;
    gpg.start(QStringLiteral("gpg"),
              {QStringLiteral("--batch"), QStringLiteral("--passphrase"), QString(),
               QStringLiteral("--quick-gen-key"), QStringLiteral("E2E <e2e@example.org>"),
               QStringLiteral("ed25519"), QStringLiteral("sign"), QStringLiteral("never")});
    QVERIFY(gpg.waitForFinished(60000));
    gpg.start(QStringLiteral("gpg"),
              {QStringLiteral("--batch"), QStringLiteral("--with-colons"),
               QStringLiteral("--list-secret-keys")});
    QVERIFY(gpg.waitForFinished(60000));
    _fingerprint = QString::fromUtf8(gpg.readAllStandardOutput())
                       .section(QStringLiteral("fpr:"), 1)
                       .section(QLatin1Char(':'), 8, 8);
    QCOMPARE(_fingerprint.size(), 40);

    _loader.setFileName(qEnvironmentVariable("DIGSIG_PLUGIN_DIR")
                        + QStringLiteral("/cova-digsig-plugin.so"));
    _plugin = qobject_cast<Plugin*>(_loader.instance());
    QVERIFY2(_plugin, qPrintable(_loader.errorString()));
    ElementWidget* widget
        = _plugin->modules().first()->elementWidget(QStringLiteral("DigSigSigning"));
    QVERIFY(widget);
    widget->show();
    _view = widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"));
    _proxy = qobject_cast<QAbstractProxyModel*>(_view->model());
    QVERIFY(_proxy);
    _files = qobject_cast<QFileSystemModel*>(_proxy->sourceModel());
    QVERIFY(_files);
}

void SigningEndToEndTest::cleanupTestCase()
{
    delete _plugin;
}

QString SigningEndToEndTest::signatureOf(const QString& path, int column) const
{
    const QModelIndex source = _files->index(path);
    return _proxy->mapFromSource(source.sibling(source.row(), column)).data().toString();
}

void SigningEndToEndTest::signsTickedFilesAndRefreshesTheirSignatures()
{
    const QString root = Sysroot::root();
    const QString data = root + QStringLiteral("/data");
    const QString program = data + QStringLiteral("/program");
    signatureOf(program, 4);
    signatureOf(program, 5);
    QTRY_COMPARE(signatureOf(program, 4), QStringLiteral("0"));
    QTRY_COMPARE(signatureOf(program, 5), QStringLiteral("0"));

    QWidget* widget = _view->parentWidget();
    QVERIFY(_proxy->setData(_proxy->mapFromSource(_files->index(data)), Qt::Checked,
                            Qt::CheckStateRole));
    widget->findChild<QCheckBox*>(QStringLiteral("_elfCheckBox"))->setChecked(true);
    widget->findChild<QCheckBox*>(QStringLiteral("_xattrCheckBox"))->setChecked(true);
    auto* sign = widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"));
    QVERIFY(sign->isEnabled());

    TestSupport::ModalDriver driver(TestSupport::ModalDriver::agree());
    sign->click();

    QCOMPARE(
        driver.seen(),
        (QStringList {"QMessageBox: Selection confirmation", "SelectKeyDialog", "SigningDialog"}));
    for (const char* directory : {"/etc/digsig/keys/", "/etc/digsig/xattr_keys/"}) {
        const QByteArray key = TestSupport::readFile(root + QLatin1String(directory) + _fingerprint
                                                     + QStringLiteral(".gpg"));
        QVERIFY2(!key.isEmpty(), directory);
    }
    // The sandbox stands for the system: the control file names the path the kernel will see.
    QCOMPARE(TestSupport::readFile(root + QStringLiteral("/etc/digsig/xattr_control")),
             QByteArray("//bin/dash\n/data/\n"));
    QTRY_COMPARE(signatureOf(program, 4), QStringLiteral("1"));
    QTRY_COMPARE(signatureOf(program, 5), QStringLiteral("1"));
}

DIGSIG_SANDBOX_TEST_MAIN(SigningEndToEndTest)
#include "signingendtoendtest.moc"
