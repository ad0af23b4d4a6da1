#include "keyselementwidget.h"
#include "createkeydialog.h"
#include "keyfilemodel.h"
#include "keymanager.h"
#include "module.h"
#include "testsupport.h"

#include <QtWidgets>

using TestSupport::ModalDriver;

namespace {

QString keyFile(const QString& name)
{
    return TestSupport::sandboxPath(QStringLiteral("/etc/digsig/") + name);
}

} // namespace

// The keys widget inside a sandbox root: its file tree, the key manager button over the
// stand-in dpkg-query and kgpg, and key creation with a real GnuPG.
class KeysElementWidgetTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        _home.makeDefault();
        _fingerprint = _home.makeKey("Widget <widget@example.org>", "rsa1024").value(0);
        QCOMPARE(_fingerprint.size(), 40);
    }

    void init()
    {
        QDir(keyFile(QString())).removeRecursively();
        for (const char* file : {"xattr_control", "keys/a.gpg.bak", "keys/notes.txt",
                                 "keys/sub/deeper/d.gpg", "oldkeys/o.gpg", "other/z.gpg", "a.gpg"})
            QVERIFY(TestSupport::writeFile(keyFile(file), "key"));
        _widget.reset(new KeysElementWidget(_module, Module::isAdministratorHierarchy, nullptr));
    }

    // Directly in /etc/digsig only the key directories, everywhere else only key files, all
    // expanded; each key file shows its key, read without importing it. The tree follows the
    // disk: a reset only drops the changed mark.
    void treeShowsTheKeyFiles()
    {
        GnupgHome maker;
        const QString fingerprint = maker.makeKey("Signer <s@example.org>", "rsa1024").value(0);
        QByteArray key;
        QCOMPARE(maker.gpg({"--export", fingerprint}, &key), 0);
        QVERIFY(TestSupport::writeFile(keyFile("keys/signer.gpg"), key));
        QVERIFY(TestSupport::writeFile(keyFile("xattr_keys/x.gpg"), "no key"));
        _widget->show();
        auto* view = _widget->findChild<QTreeView*>();
        QAbstractItemModel* model = view->model();
        QCOMPARE(view->rootIndex().data(QFileSystemModel::FilePathRole).toString(),
                 TestSupport::sandboxPath(QStringLiteral("/etc/digsig")));
        // Every row by its path, with its key columns.
        const auto tree = [&] {
            QMap<QString, QStringList> rows;
            std::function<void(const QModelIndex&, const QString&)> collect =
                [&](const QModelIndex& parent, const QString& prefix) {
                    if (model->canFetchMore(parent))
                        model->fetchMore(parent);
                    for (int r = 0; r < model->rowCount(parent); ++r) {
                        const QString path = prefix + model->index(r, 0, parent).data().toString();
                        for (int c = KeyFileModel::UserIdColumn; c <= KeyFileModel::ExpiresColumn;
                             ++c)
                            rows[path] << model->index(r, c, parent).data().toString();
                        collect(model->index(r, 0, parent), path + '/');
                    }
                };
            collect(view->rootIndex(), QString());
            return rows;
        };
        QTRY_COMPARE(tree().keys(),
                     QStringList({"keys", "keys/a.gpg.bak", "keys/signer.gpg", "keys/sub",
                                  "keys/sub/deeper", "keys/sub/deeper/d.gpg", "oldkeys",
                                  "oldkeys/o.gpg", "xattr_keys", "xattr_keys/x.gpg"}));
        QTRY_VERIFY(view->isExpanded(model->index(0, 0, view->rootIndex())));
        QTRY_COMPARE(
            tree().value("keys/signer.gpg"),
            QStringList({"Signer <s@example.org>", KeyFileModel::readableFingerprint(fingerprint),
                         "rsa1024", "never"}));
        QTRY_COMPARE(tree().value("xattr_keys/x.gpg"),
                     QStringList({"The file holds no OpenPGP key", "", "", ""}));
        QVERIFY(!_home.fingerprints(QString(), false).contains(fingerprint));
        _widget->changeContent();
        _widget->reset();
        QVERIFY(!_widget->isChanged());
    }

    void openKeyManager_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("box");
        const QString missing = QStringLiteral("The kgpg utility is not installed");
        const QByteArray status("DIGSIG_DPKG_QUERY_STATUS");
        // The path "query" holds dpkg-query but no kgpg, "none" neither.
        QTest::newRow("installed") << status << QByteArray("install ok installed") << ""
                                   << "";
        QTest::newRow("deinstalled")
            << status << QByteArray("deinstall ok config-files") << "" << missing;
        QTest::newRow("unknown package, kgpg found") << status << QByteArray() << "" << missing;
        QTest::newRow("four fields, kgpg found")
            << QByteArray("DIGSIG_DPKG_QUERY_OUTPUT") << QByteArray("kgpg\t1\tdeinstall ok\t") << ""
            << "";
        QTest::newRow("crash, no kgpg")
            << QByteArray("DIGSIG_DPKG_QUERY_CRASH") << QByteArray("1") << "query" << missing;
        QTest::newRow("no dpkg-query, no kgpg") << status << QByteArray() << "none" << missing;
        QTest::newRow("installed, kgpg missing")
            << status << QByteArray("install ok installed") << "query"
            << "The kgpg utility cannot be started";
    }

    // The utility starts, or the administrator learns why it does not.
    void openKeyManager()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        QFETCH(QString, path);
        QFETCH(QString, box);
        QTemporaryDir scratch;
        const QString queryLog = scratch.filePath("dpkg-query.log");
        const QString kgpgLog = scratch.filePath("kgpg.log");
        const QString bin = scratch.filePath(path);
        TestSupport::ScopedEnv queryLogged("DIGSIG_DPKG_QUERY_LOG", queryLog.toUtf8());
        TestSupport::ScopedEnv kgpgLogged("DIGSIG_KGPG_LOG", kgpgLog.toUtf8());
        TestSupport::ScopedEnv knob(variable.constData(), value);
        TestSupport::ScopedEnv searchPath("PATH", path.isEmpty() ? qgetenv("PATH") : bin.toUtf8());
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(path != "query"
                || QFile::copy(qEnvironmentVariable("DIGSIG_TOOLS_DIR") + "/dpkg-query",
                               bin + "/dpkg-query"));
        TestSupport::ProcessWarningCounter warnings;
        ModalDriver driver(QMessageBox::Ok);
        auto* button = _widget->findChild<QPushButton*>("_openEditAppPushButton");
        QVERIFY(button->isEnabled());
        button->click();

        QCOMPARE(TestSupport::readLog(queryLog).size(), int(path != "none"));
        QCOMPARE(driver.titles(), box.isEmpty() ? QStringList() : QStringList {box});
        if (box.isEmpty())
            QTRY_COMPARE(TestSupport::readLog(kgpgLog), QStringList {"kgpg "});
        QVERIFY(box.isEmpty() || !QFile::exists(kgpgLog));
        QCOMPARE(warnings.count(), 0);
    }

    void createKey_data()
    {
        QTest::addColumn<bool>("exportable");
        QTest::newRow("exported before the success box") << true;
        QTest::newRow("export fails") << false;
    }

    // A created key lands among the trusted files before success is announced; a key that
    // cannot land there is reported first, by its path as the system knows it.
    void createKey()
    {
        QFETCH(bool, exportable);
        const QString exported = keyFile("xattr_keys/" + _fingerprint + ".gpg");
        QVERIFY(!exportable || QDir().mkpath(QFileInfo(exported).path()));
        QByteArray atSuccess;
        bool announced = false;
        ModalDriver driver([&](QWidget* modal) {
            // GnuPG cannot make the GOST key; announce a real key as the key manager would.
            if (auto* dialog = qobject_cast<CreateKeyDialog*>(modal)) {
                if (!std::exchange(announced, true))
                    QMetaObject::invokeMethod(
                        dialog,
                        [this, dialog] {
                            Q_EMIT dialog->keyManager()->keyGenerationEnded(_fingerprint);
                        },
                        Qt::QueuedConnection);
                return true;
            }
            atSuccess = TestSupport::readFile(exported);
            return ModalDriver::press(qobject_cast<QMessageBox*>(modal), QMessageBox::Ok);
        });
        auto* button = _widget->findChild<QPushButton*>("_createKeyPushButton");
        QVERIFY(button->isEnabled());
        button->click();

        QByteArray expected;
        QCOMPARE(_home.gpg({"--export", _fingerprint}, &expected), 0);
        QStringList texts;
        for (const ModalDriver::Box& box : driver.boxes())
            texts << box.title + '|' + box.text.section('\n', 0, 0);
        const QString failure = "Key export error|Can not export the public key into "
                                "/etc/digsig/xattr_keys/"
            + _fingerprint + ".gpg:";
        QCOMPARE(texts,
                 (exportable ? QStringList() : QStringList {failure})
                     << "|Key generated successfully.");
        QCOMPARE(atSuccess, exportable ? expected : QByteArray());
    }

private:
    GnupgHome _home;
    QString _fingerprint;
    Module _module {QStringLiteral("TestModule"), nullptr, false};
    std::unique_ptr<KeysElementWidget> _widget;
};

DIGSIG_SANDBOX_TEST_MAIN(KeysElementWidgetTest)
#include "keyselementwidgettest.moc"
