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
        QDir(TestSupport::sandboxPath(QStringLiteral("/etc/digsig"))).removeRecursively();
        for (const char* file : {"xattr_control", "keys/a.gpg.bak", "keys/notes.txt",
                                 "keys/sub/deeper/d.gpg", "oldkeys/o.gpg", "other/z.gpg", "a.gpg"})
            QVERIFY(TestSupport::writeFile(keyFile(file), "key"));
        _widget.reset(new KeysElementWidget(_module, Module::isAdministratorHierarchy, nullptr));
        _view = _widget->findChild<QTreeView*>();
    }

    // Directly in /etc/digsig only the key directories, everywhere else only key files, all
    // expanded; each key file shows its key, read without importing it, and every column stays
    // in view. The tree follows the disk: a reset only drops the changed mark.
    void treeShowsTheKeyFiles()
    {
        GnupgHome maker;
        const QString fingerprint = maker.makeKey("Signer <s@example.org>", "rsa1024").value(0);
        QByteArray key;
        QCOMPARE(maker.gpg({"--export", fingerprint}, &key), 0);
        QVERIFY(TestSupport::writeFile(keyFile("keys/signer.gpg"), key));
        QVERIFY(TestSupport::writeFile(keyFile("xattr_keys/x.gpg"), "no key"));
        _widget->resize(800, 400);
        _widget->show();
        QCOMPARE(_view->rootIndex().data(QFileSystemModel::FilePathRole).toString(),
                 TestSupport::sandboxPath(QStringLiteral("/etc/digsig")));
        QTRY_COMPARE(visibleTree(),
                     QStringList({"keys", "keys/a.gpg.bak", "keys/signer.gpg", "keys/sub",
                                  "keys/sub/deeper", "keys/sub/deeper/d.gpg", "oldkeys",
                                  "oldkeys/o.gpg", "xattr_keys", "xattr_keys/x.gpg"}));
        QTRY_VERIFY(_view->isExpanded(_view->model()->index(0, 0, _view->rootIndex())));
        QTRY_COMPARE(
            row("keys", "signer.gpg"),
            QStringList({"Signer <s@example.org>", KeyFileModel::readableFingerprint(fingerprint),
                         "rsa1024", "never"}));
        QTRY_COMPARE(row("xattr_keys", "x.gpg"),
                     QStringList({"The file holds no OpenPGP key", "", "", ""}));
        QVERIFY(!_home.fingerprints(QString(), false).contains(fingerprint));
        _widget->changeContent();
        _widget->reset();
        QVERIFY(!_widget->isChanged());
        QHeaderView* header = _view->header();
        for (int column = KeyFileModel::UserIdColumn; column <= KeyFileModel::ExpiresColumn;
             ++column)
            QTRY_VERIFY(header->sectionViewportPosition(column) + header->sectionSize(column)
                        <= _view->viewport()->width());
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
        QTest::newRow("installed")
            << status << QByteArray("install ok installed") << QString() << QString();
        QTest::newRow("deinstalled")
            << status << QByteArray("deinstall ok config-files") << QString() << missing;
        QTest::newRow("unknown package, kgpg found")
            << status << QByteArray() << QString() << missing;
        QTest::newRow("four fields, kgpg found")
            << QByteArray("DIGSIG_DPKG_QUERY_OUTPUT") << QByteArray("kgpg\t1\tdeinstall ok\t")
            << QString() << QString();
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
        const QString queryLog = scratch.filePath(QStringLiteral("dpkg-query.log"));
        const QString kgpgLog = scratch.filePath(QStringLiteral("kgpg.log"));
        TestSupport::ScopedEnv queryLogged("DIGSIG_DPKG_QUERY_LOG", queryLog.toUtf8());
        TestSupport::ScopedEnv kgpgLogged("DIGSIG_KGPG_LOG", kgpgLog.toUtf8());
        TestSupport::ScopedEnv knob(variable.constData(), value);
        const QString bin = scratch.filePath(path);
        QVERIFY(QDir().mkpath(bin));
        if (path == QLatin1String("query"))
            QVERIFY(QFile::copy(qEnvironmentVariable("DIGSIG_TOOLS_DIR") + "/dpkg-query",
                                bin + QStringLiteral("/dpkg-query")));
        TestSupport::ScopedEnv searchPath("PATH",
                                          path.isEmpty() ? qgetenv("PATH") : bin.toLocal8Bit());
        TestSupport::ProcessWarningCounter warnings;
        ModalDriver driver(QMessageBox::Ok);
        auto* button = _widget->findChild<QPushButton*>(QStringLiteral("_openEditAppPushButton"));
        QVERIFY(button->isEnabled());
        button->click();

        QCOMPARE(TestSupport::readLog(queryLog),
                 path == QLatin1String("none")
                     ? QStringList()
                     : QStringList {"dpkg-query -W -f=${binary:Package}\t${Version}\t${Status} "
                                    "kgpg"});
        QCOMPARE(driver.titles(), box.isEmpty() ? QStringList() : QStringList {box});
        if (box.isEmpty())
            QTRY_COMPARE(TestSupport::readLog(kgpgLog), QStringList {"kgpg "});
        else
            QVERIFY(!QFile::exists(kgpgLog));
        QCOMPARE(warnings.count(), 0);
    }

    void createKey_data()
    {
        QTest::addColumn<bool>("exportable");
        QTest::newRow("exported before the success box") << true;
        QTest::newRow("export fails") << false;
    }

    // A created key lands among the trusted files before success is announced; a key that
    // cannot land there is reported first.
    void createKey()
    {
        QFETCH(bool, exportable);
        const QString exported = keyFile("xattr_keys/" + _fingerprint + ".gpg");
        if (exportable)
            QVERIFY(QDir().mkpath(QFileInfo(exported).path()));
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
        auto* button = _widget->findChild<QPushButton*>(QStringLiteral("_createKeyPushButton"));
        QVERIFY(button->isEnabled());
        button->click();

        QByteArray expected;
        QCOMPARE(_home.gpg({"--export", _fingerprint}, &expected), 0);
        QStringList texts;
        for (const ModalDriver::Box& box : driver.boxes())
            texts << box.title + '|' + box.text;
        const QString failure
            = QStringLiteral(
                  "Key export error|Can not export the public key into "
                  "/etc/digsig/xattr_keys/%1.gpg:\n"
                  "Can not create a new file beside /etc/digsig/xattr_keys/%1.gpg: No such file or "
                  "directory")
                  .arg(_fingerprint);
        QCOMPARE(texts,
                 (exportable ? QStringList() : QStringList {failure})
                     << "|Key generated successfully.");
        QCOMPARE(atSuccess, exportable ? expected : QByteArray());
        QVERIFY(exportable || !QFileInfo::exists(QFileInfo(exported).path()));
    }

private:
    QStringList visibleTree() const
    {
        QStringList paths;
        const std::function<void(const QModelIndex&, const QString&)> collect
            = [&](const QModelIndex& parent, const QString& prefix) {
                  QAbstractItemModel* model = _view->model();
                  if (model->canFetchMore(parent))
                      model->fetchMore(parent);
                  for (int r = 0; r < model->rowCount(parent); ++r) {
                      const QModelIndex index = model->index(r, 0, parent);
                      paths.append(prefix + index.data().toString());
                      collect(index, paths.last() + '/');
                  }
              };
        collect(_view->rootIndex(), QString());
        paths.sort();
        return paths;
    }

    // The key columns of a file's row.
    QStringList row(const QString& folder, const QString& name) const
    {
        QAbstractItemModel* model = _view->model();
        const QModelIndexList found
            = model->match(model->index(0, 0, _view->rootIndex()), Qt::DisplayRole, folder);
        const QModelIndex parent = found.value(0);
        QStringList cells;
        for (int r = 0; r < model->rowCount(parent); ++r) {
            if (model->index(r, 0, parent).data() != name)
                continue;
            for (int column = KeyFileModel::UserIdColumn; column <= KeyFileModel::ExpiresColumn;
                 ++column)
                cells << model->index(r, column, parent).data().toString();
        }
        return cells;
    }

    GnupgHome _home;
    QString _fingerprint;
    Module _module {QStringLiteral("TestModule"), nullptr, false};
    std::unique_ptr<KeysElementWidget> _widget;
    QTreeView* _view = nullptr;
};

DIGSIG_SANDBOX_TEST_MAIN(KeysElementWidgetTest)
#include "keyselementwidgettest.moc"
