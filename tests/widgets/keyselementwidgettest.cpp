#include "keyselementwidget.h"
#include "createkeydialog.h"
#include "keyfilemodel.h"
#include "keymanager.h"
#include "module.h"
#include "testsupport.h"

#include <QtWidgets>

using TestSupport::ModalDriver;

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
        QDir(_top).removeRecursively();
        for (const char* file : {"xattr_control", "keys/a.gpg.bak", "keys/notes.txt",
                                 "keys/sub/deeper/d.gpg", "oldkeys/o.gpg", "other/z.gpg", "a.gpg"})
            QVERIFY(TestSupport::writeFile(_top + file, "key"));
        _widget.reset(new KeysElementWidget(_module, Module::isAdministratorHierarchy, nullptr));
    }

    // Directly in /etc/digsig only the key directories, everywhere else only key files, all
    // expanded; each key file shows its key, read without importing it. The tree follows the
    // disk: a reset only drops the changed mark.
    void treeShowsTheKeyFiles()
    {
        GnupgHome maker;
        const QString fingerprint = maker.makeKey("Signer <s@example.org>", "rsa1024").value(0);
        QCOMPARE(maker.gpg({"--output", _top + "keys/signer.gpg", "--export", fingerprint}), 0);
        QVERIFY(TestSupport::writeFile(_top + "xattr_keys/x.gpg", "no key"));
        _widget->show();
        auto* view = _widget->findChild<QTreeView*>();
        // Every row the view shows expanded, in its order (folders first), by its path, with its
        // key columns.
        const auto tree = [&] {
            QStringList rows;
            for (QModelIndex i = view->model()->index(0, 0, view->rootIndex()); i.isValid();
                 i = view->indexBelow(i)) {
                rows << i.data(QFileSystemModel::FilePathRole).toString().mid(_top.size());
                for (int c = KeyFileModel::UserIdColumn; c <= KeyFileModel::ExpiresColumn; ++c)
                    rows.last() += '|' + i.siblingAtColumn(c).data().toString();
            }

            return rows;
        };
        const QString none = QStringLiteral("|The file holds no OpenPGP key|||");
        QTRY_COMPARE(
            tree(),
            QStringList({"keys||||", "keys/sub||||", "keys/sub/deeper||||",
                         "keys/sub/deeper/d.gpg" + none, "keys/a.gpg.bak" + none,
                         "keys/signer.gpg|Signer <s@example.org>|"
                             + KeyFileModel::readableFingerprint(fingerprint) + "|rsa1024|never",
                         "oldkeys||||", "oldkeys/o.gpg" + none, "xattr_keys||||",
                         "xattr_keys/x.gpg" + none}));
        QVERIFY(!_home.fingerprints(QString(), false).contains(fingerprint));
        _widget->changeContent();
        _widget->reset();
        QVERIFY(!_widget->isChanged());
    }

    void openKeyManager_data()
    {
        QTest::addColumn<QByteArray>("knob"); // of the stand-in dpkg-query
        QTest::addColumn<QString>("path"); // "query" holds dpkg-query but no kgpg, "none" neither
        QTest::addColumn<QString>("box");
        const QString missing = QStringLiteral("The kgpg utility is not installed");
        QTest::newRow("installed") << QByteArray("STATUS=install ok installed") << "" << QString();
        QTest::newRow("deinstalled")
            << QByteArray("STATUS=deinstall ok config-files") << "" << missing;
        QTest::newRow("unknown package, kgpg found") << QByteArray("STATUS=") << "" << missing;
        QTest::newRow("four fields, kgpg found")
            << QByteArray("OUTPUT=kgpg\t1\tdeinstall ok\t") << "" << QString();
        QTest::newRow("crash, no kgpg") << QByteArray("CRASH=1") << "query" << missing;
        QTest::newRow("no dpkg-query, no kgpg") << QByteArray("STATUS=") << "none" << missing;
        QTest::newRow("installed, kgpg missing")
            << QByteArray("STATUS=install ok installed") << "query"
            << "The kgpg utility cannot be started";
    }

    // The utility starts, or the administrator learns why it does not.
    void openKeyManager()
    {
        QFETCH(QByteArray, knob);
        QFETCH(QString, path);
        QFETCH(QString, box);
        QTemporaryDir scratch;
        const QString bin = scratch.filePath(path);
        const int split = knob.indexOf('=');
        TestSupport::ScopedEnv set("DIGSIG_DPKG_QUERY_" + knob.left(split), knob.mid(split + 1));
        TestSupport::ScopedEnv queryLog("DIGSIG_DPKG_QUERY_LOG", scratch.filePath("q").toUtf8());
        TestSupport::ScopedEnv kgpgLog("DIGSIG_KGPG_LOG", scratch.filePath("k").toUtf8());
        TestSupport::ScopedEnv searchPath("PATH", path.isEmpty() ? qgetenv("PATH") : bin.toUtf8());
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(path != "query"
                || QFile::copy(qEnvironmentVariable("DIGSIG_TOOLS_DIR") + "/dpkg-query",
                               bin + "/dpkg-query"));
        ModalDriver driver(QMessageBox::Ok);
        auto* button = _widget->findChild<QPushButton*>("_openEditAppPushButton");
        QVERIFY(button->isEnabled());
        button->click();

        QCOMPARE(TestSupport::readLog(scratch.filePath("q")).size(), int(path != "none"));
        QCOMPARE(driver.titles(), box.isEmpty() ? QStringList() : QStringList {box});
        QTRY_COMPARE(TestSupport::readLog(scratch.filePath("k")),
                     box.isEmpty() ? QStringList {"kgpg "} : QStringList());
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
        const QString exported = _top + "xattr_keys/" + _fingerprint + ".gpg";
        QVERIFY(!exportable || QDir().mkpath(QFileInfo(exported).path()));
        QByteArray atSuccess;
        bool announced = false;
        ModalDriver driver([&](QWidget* modal) {
            // GnuPG cannot make the GOST key; announce a real key as the key manager would.
            if (auto* dialog = qobject_cast<CreateKeyDialog*>(modal)) {
                if (!std::exchange(announced, true))
                    QTimer::singleShot(0, dialog, [this, dialog] {
                        Q_EMIT dialog->keyManager()->keyGenerationEnded(_fingerprint);
                    });
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
    const QString _top = TestSupport::sandboxPath(QStringLiteral("/etc/digsig/"));
    GnupgHome _home;
    QString _fingerprint;
    Module _module {QStringLiteral("TestModule"), nullptr, false};
    std::unique_ptr<KeysElementWidget> _widget;
};

DIGSIG_SANDBOX_TEST_MAIN(KeysElementWidgetTest)
#include "keyselementwidgettest.moc"
