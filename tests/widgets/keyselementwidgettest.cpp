#include "keyselementwidget.h"
#include "gnupghome.h"
#include "createkeydialog.h"
#include "keyfilemodel.h"
#include "keymanager.h"
#include "module.h"

#include "testsupport.h"

#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

namespace {
const QString keysRoot = QStringLiteral("/etc/digsig");

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}
} // namespace

// The keys widget inside a sandbox root: its file tree, the key manager button over the
// stand-in dpkg-query and kgpg, and key creation with a real GnuPG.
class KeysElementWidgetTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void treeShowsKeyDirectoriesAndFiles();
    void keyFilesShowTheirKeys();
    void openKeyManager_data();
    void openKeyManager();
    void createdKeyIsExportedBeforeSuccessBox();
    void failedExportIsReported();
    void resetClearsChanges();

private:
    QStringList visibleTree() const;
    void collect(const QModelIndex& parent, const QString& prefix, QStringList* paths) const;
    void answerCreateKeyDialog(const QString& fingerprint, std::function<void()> beforeSuccess);

    std::unique_ptr<Module> _module;
    std::unique_ptr<KeysElementWidget> _widget;
    std::unique_ptr<GnupgHome> _home;
    std::unique_ptr<QTemporaryDir> _scratch;
    QString _fingerprint;
};

void KeysElementWidgetTest::initTestCase()
{
    QVERIFY(!TestSupport::sandboxRoot().isEmpty());
    _home = std::make_unique<GnupgHome>();
    _home->makeDefault();
    _fingerprint
        = _home->makeKey(QStringLiteral("Widget <widget@example.org>"), QStringLiteral("rsa1024"))
              .value(0);
    QCOMPARE(_fingerprint.size(), 40);
    _module = std::make_unique<Module>(QStringLiteral("TestModule"), nullptr, false);
}

void KeysElementWidgetTest::cleanupTestCase()
{
    _home.reset();
}

void KeysElementWidgetTest::init()
{
    QDir(sandboxed(keysRoot)).removeRecursively();
    const QStringList files {QStringLiteral("digsig_initramfs.conf"),
                             QStringLiteral("xattr_control"),
                             QStringLiteral("keys/a.gpg"),
                             QStringLiteral("keys/.gpg"),
                             QStringLiteral("keys/a.gpg.bak"),
                             QStringLiteral("keys/notes.txt"),
                             QStringLiteral("keys/sub/b.gpg"),
                             QStringLiteral("keys/sub/c.txt"),
                             QStringLiteral("keys/sub/deeper/d.gpg"),
                             QStringLiteral("xattr_keys/x.gpg"),
                             QStringLiteral("oldkeys/o.gpg"),
                             QStringLiteral("other/z.gpg"),
                             QStringLiteral("a.gpg")};
    for (const QString& file : files)
        QVERIFY(TestSupport::writeFile(sandboxed(keysRoot + QLatin1Char('/') + file), "key"));
    _scratch = std::make_unique<QTemporaryDir>();
    _widget
        = std::make_unique<KeysElementWidget>(*_module, Module::isAdministratorHierarchy, nullptr);
}

void KeysElementWidgetTest::cleanup()
{
    _widget.reset();
    // Drops answers still waiting for a modal widget that never came.
    qDeleteAll(qApp->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly));
    for (const char* name : {"DIGSIG_DPKG_QUERY_STATUS", "DIGSIG_DPKG_QUERY_OUTPUT",
                             "DIGSIG_DPKG_QUERY_CRASH", "DIGSIG_DPKG_QUERY_LOG", "DIGSIG_KGPG_LOG"})
        qunsetenv(name);
}

void KeysElementWidgetTest::collect(const QModelIndex& parent, const QString& prefix,
                                    QStringList* paths) const
{
    QAbstractItemModel* model
        = _widget->findChild<QTreeView*>(QStringLiteral("_keysTreeView"))->model();
    if (model->canFetchMore(parent))
        model->fetchMore(parent);
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        const QString path = prefix + index.data().toString();
        paths->append(path);
        collect(index, path + QLatin1Char('/'), paths);
    }
}

QStringList KeysElementWidgetTest::visibleTree() const
{
    auto* view = _widget->findChild<QTreeView*>(QStringLiteral("_keysTreeView"));
    QStringList paths;
    collect(view->rootIndex(), QString(), &paths);
    paths.sort();
    return paths;
}

void KeysElementWidgetTest::treeShowsKeyDirectoriesAndFiles()
{
    auto* view = _widget->findChild<QTreeView*>(QStringLiteral("_keysTreeView"));
    // No model tester: above the sandbox the tree holds the real file system, which it would
    // walk and fetch from "/".
    _widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(_widget.get()));
    QCOMPARE(view->rootIndex().data(QFileSystemModel::FilePathRole).toString(),
             sandboxed(keysRoot));
    const QStringList expected {QStringLiteral("keys"),
                                QStringLiteral("keys/a.gpg"),
                                QStringLiteral("keys/a.gpg.bak"),
                                QStringLiteral("keys/sub"),
                                QStringLiteral("keys/sub/b.gpg"),
                                QStringLiteral("keys/sub/deeper"),
                                QStringLiteral("keys/sub/deeper/d.gpg"),
                                QStringLiteral("oldkeys"),
                                QStringLiteral("oldkeys/o.gpg"),
                                QStringLiteral("xattr_keys"),
                                QStringLiteral("xattr_keys/x.gpg")};
    QTRY_COMPARE(visibleTree(), expected);
    QTRY_VERIFY(view->isExpanded(view->model()->index(0, 0, view->rootIndex())));
}

// The key in each file, read from the file without importing it into root's key ring.
void KeysElementWidgetTest::keyFilesShowTheirKeys()
{
    GnupgHome maker;
    const QString fingerprint = maker
                                    .makeKey(QStringLiteral("Jean-Luc O'Neil <jl@example.org>"),
                                             QStringLiteral("rsa1024"))
                                    .value(0);
    QByteArray key;
    QCOMPARE(maker.gpg({QStringLiteral("--export"), fingerprint}, &key), 0);
    QVERIFY(TestSupport::writeFile(sandboxed(keysRoot + QStringLiteral("/keys/signer.gpg")), key));
    QVERIFY(TestSupport::writeFile(
        sandboxed(keysRoot + QStringLiteral("/xattr_keys/%1.gpg").arg(fingerprint)), key));
    _widget->show();
    auto* view = _widget->findChild<QTreeView*>(QStringLiteral("_keysTreeView"));
    QAbstractItemModel* model = view->model();
    QStringList headers;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (!view->header()->isSectionHidden(column))
            headers << model->headerData(column, Qt::Horizontal).toString();
    }
    QCOMPARE(headers, (QStringList {"Name", "User ID", "Fingerprint", "Algorithm", "Expires"}));

    QTRY_VERIFY(visibleTree().contains(QStringLiteral("keys/signer.gpg")));
    const auto row = [&](const QString& name) {
        QStringList cells;
        const QModelIndex keys = model->index(0, 0, view->rootIndex());
        for (int r = 0; r < model->rowCount(keys); ++r) {
            if (model->index(r, 0, keys).data().toString() != name)
                continue;
            for (int column = KeyFileModel::UserIdColumn; column <= KeyFileModel::ExpiresColumn;
                 ++column)
                cells << model->index(r, column, keys).data().toString();
        }
        return cells;
    };
    const QString grouped = KeyFileModel::readableFingerprint(fingerprint);
    QCOMPARE(grouped.size(), 49);
    QTRY_COMPARE(row(QStringLiteral("signer.gpg")),
                 (QStringList {"Jean-Luc O'Neil <jl@example.org>", grouped, "rsa1024", "never"}));
    QTRY_COMPARE(row(QStringLiteral("a.gpg")),
                 (QStringList {"The file holds no OpenPGP key", "", "", ""}));
    QVERIFY(!_home->fingerprints(QString(), false).contains(fingerprint));

    // Long file names and fingerprints leave every column in view.
    _widget->resize(800, 400);
    QHeaderView* header = view->header();
    for (int column : {int(KeyFileModel::UserIdColumn), int(KeyFileModel::FingerprintColumn),
                       int(KeyFileModel::AlgorithmColumn), int(KeyFileModel::ExpiresColumn)})
        QTRY_VERIFY2(header->sectionViewportPosition(column) + header->sectionSize(column)
                         <= view->viewport()->width(),
                     qPrintable(QStringLiteral("%1: %2 + %3 > %4")
                                    .arg(column)
                                    .arg(header->sectionViewportPosition(column))
                                    .arg(header->sectionSize(column))
                                    .arg(view->viewport()->width())));
}

void KeysElementWidgetTest::openKeyManager_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("kgpgStarted");
    QTest::addColumn<QString>("box");

    const QString notInstalled = QStringLiteral("The kgpg utility is not installed|To open key "
                                                "management utility run in the console apt-get "
                                                "install kgpg");
    const QString cannotStart
        = QStringLiteral("The kgpg utility cannot be started|The key "
                         "management utility kgpg could not be started. "
                         "Check that it runs when started in a console: kgpg");
    const QByteArray status("DIGSIG_DPKG_QUERY_STATUS");
    const QByteArray output("DIGSIG_DPKG_QUERY_OUTPUT");
    // The path "query" holds dpkg-query but no kgpg, "none" neither.
    QTest::newRow("installed") << status << QByteArray("install ok installed") << QString() << true
                               << QString();
    QTest::newRow("deinstalled") << status << QByteArray("deinstall ok config-files") << QString()
                                 << false << notInstalled;
    QTest::newRow("not installed")
        << status << QByteArray("unknown ok not-installed") << QString() << false << notInstalled;
    QTest::newRow("unknown package")
        << QByteArray() << QByteArray() << QString() << false << notInstalled;
    QTest::newRow("two fields, kgpg found")
        << output << QByteArray("kgpg\tinstall ok installed") << QString() << true << QString();
    QTest::newRow("four fields, kgpg found")
        << output << QByteArray("kgpg\t1\tinstall ok installed\t") << QString() << true
        << QString();
    QTest::newRow("crash, kgpg found") << QByteArray("DIGSIG_DPKG_QUERY_CRASH") << QByteArray("1")
                                       << QString() << true << QString();
    QTest::newRow("crash, no kgpg") << QByteArray("DIGSIG_DPKG_QUERY_CRASH") << QByteArray("1")
                                    << "query" << false << notInstalled;
    QTest::newRow("no dpkg-query, no kgpg")
        << QByteArray() << QByteArray() << "none" << false << notInstalled;
    QTest::newRow("installed, kgpg missing")
        << status << QByteArray("install ok installed") << "query" << false << cannotStart;
}

void KeysElementWidgetTest::openKeyManager()
{
    QFETCH(QByteArray, variable);
    QFETCH(QByteArray, value);
    QFETCH(QString, path);
    QFETCH(bool, kgpgStarted);
    QFETCH(QString, box);
    const QString queryLog = _scratch->filePath(QStringLiteral("dpkg-query.log"));
    const QString kgpgLog = _scratch->filePath(QStringLiteral("kgpg.log"));
    qputenv("DIGSIG_DPKG_QUERY_LOG", queryLog.toUtf8());
    qputenv("DIGSIG_KGPG_LOG", kgpgLog.toUtf8());
    if (!variable.isEmpty())
        qputenv(variable.constData(), value);
    const QByteArray originalPath = qgetenv("PATH");
    if (!path.isEmpty()) {
        const QString bin = _scratch->filePath(path);
        QVERIFY(QDir().mkpath(bin));
        if (path == QLatin1String("query"))
            QVERIFY(QFile::copy(qEnvironmentVariable("DIGSIG_TOOLS_DIR")
                                    + QStringLiteral("/dpkg-query"),
                                bin + QStringLiteral("/dpkg-query")));
        qputenv("PATH", bin.toLocal8Bit());
    }
    TestSupport::ProcessWarningCounter warnings;
    TestSupport::BoxAnswerer answerer(QMessageBox::Ok);

    _widget->findChild<QPushButton*>(QStringLiteral("_openEditAppPushButton"))->click();
    qputenv("PATH", originalPath);

    if (path != QLatin1String("none"))
        QCOMPARE(TestSupport::readLog(queryLog),
                 QStringList {QStringLiteral(
                     "dpkg-query -W -f=${binary:Package}\t${Version}\t${Status} kgpg")});
    QStringList boxes;
    for (const TestSupport::BoxAnswerer::Box& shown : answerer.boxes)
        boxes << shown.title + QLatin1Char('|') + shown.text;
    QCOMPARE(boxes, box.isEmpty() ? QStringList() : QStringList {box});
    if (kgpgStarted)
        QTRY_COMPARE(TestSupport::readLog(kgpgLog), QStringList {QStringLiteral("kgpg ")});
    else
        QVERIFY(!QFile::exists(kgpgLog));
    QCOMPARE(warnings.count(), 0);
}

void KeysElementWidgetTest::answerCreateKeyDialog(const QString& fingerprint,
                                                  std::function<void()> beforeSuccess)
{
    TestSupport::onNextModal([fingerprint, beforeSuccess](QWidget* modal) {
        auto* dialog = qobject_cast<CreateKeyDialog*>(modal);
        QVERIFY(dialog);
        beforeSuccess();
        // GnuPG cannot make the GOST key; announce a real key as the key manager would.
        Q_EMIT dialog->keyManager()->keyGenerationEnded(fingerprint);
    });
}

void KeysElementWidgetTest::createdKeyIsExportedBeforeSuccessBox()
{
    const QString exported
        = sandboxed(QStringLiteral("/etc/digsig/xattr_keys/%1.gpg").arg(_fingerprint));
    QByteArray atSuccess;
    QString successText;
    answerCreateKeyDialog(_fingerprint, [&] {
        TestSupport::onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            successText = box->text();
            atSuccess = TestSupport::readFile(exported);
            box->button(QMessageBox::Ok)->click();
        });
    });
    _widget->show();
    _widget->findChild<QPushButton*>(QStringLiteral("_createKeyPushButton"))->click();

    QByteArray expected;
    QCOMPARE(_home->gpg({QStringLiteral("--export"), _fingerprint}, &expected), 0);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(successText, QStringLiteral("Key generated successfully."));
    QCOMPARE(atSuccess, expected);
    QCOMPARE(
        QDir(sandboxed(QStringLiteral("/etc/digsig/keys"))).entryList(QDir::Files | QDir::Hidden),
        (QStringList {QStringLiteral(".gpg"), QStringLiteral("a.gpg"), QStringLiteral("a.gpg.bak"),
                      QStringLiteral("notes.txt")}));
    QTRY_VERIFY(visibleTree().contains(QStringLiteral("xattr_keys/%1.gpg").arg(_fingerprint)));
}

void KeysElementWidgetTest::failedExportIsReported()
{
    QVERIFY(QDir(sandboxed(QStringLiteral("/etc/digsig/xattr_keys"))).removeRecursively());
    QStringList boxes;
    answerCreateKeyDialog(_fingerprint, [&] {
        TestSupport::onNextModal([&](QWidget* warning) {
            auto* box = qobject_cast<QMessageBox*>(warning);
            QVERIFY(box);
            boxes.append(box->windowTitle() + QLatin1Char('|') + box->text());
            TestSupport::onNextModal([&](QWidget* success) {
                auto* box = qobject_cast<QMessageBox*>(success);
                QVERIFY(box);
                boxes.append(box->text());
                box->button(QMessageBox::Ok)->click();
            });
            box->button(QMessageBox::Ok)->click();
        });
    });
    _widget->findChild<QPushButton*>(QStringLiteral("_createKeyPushButton"))->click();
    QCOMPARE(boxes,
             (QStringList {QStringLiteral("Key export error|Can not export the public key into "
                                          "/etc/digsig/xattr_keys/%1.gpg:\nCan not create a new "
                                          "file beside /etc/digsig/xattr_keys/%1.gpg: No such "
                                          "file or directory")
                               .arg(_fingerprint),
                           QStringLiteral("Key generated successfully.")}));
    QVERIFY(!QFileInfo::exists(sandboxed(QStringLiteral("/etc/digsig/xattr_keys"))));
}

void KeysElementWidgetTest::resetClearsChanges()
{
    QCOMPARE(_widget->elementType(), QStringLiteral("DigSigKeys"));
    _widget->changeContent();
    QVERIFY(_widget->isChanged());
    _widget->reset();
    QVERIFY(!_widget->isChanged());
}

DIGSIG_SANDBOX_TEST_MAIN(KeysElementWidgetTest)
#include "keyselementwidgettest.moc"
