#include "signingelementwidget.h"
#include "digsigconstants.h"
#include "digsigelement.h"
#include "digsigelementwidget.h"
#include "elementdata.h"
#include "filteredtreeproxymodel.h"
#include "module.h"
#include "signaturedelegate.h"
#include "signfilemodel.h"
#include "sysroot.h"
#include "taskobserver.h"
#include "testsupport.h"

#include <QtWidgets>

using TestSupport::ModalDriver;

namespace {

const QString program = QStringLiteral("/opt/files/program");

} // namespace

class SigningElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestSupport::writeElf(Sysroot::path(program)));
        QVERIFY(TestSupport::writeFile(Sysroot::path("/opt/files/notes.txt"), "text\n"));
        for (const char* directory :
             {"/usr/bin", "/etc/digsig/keys", "/etc/digsig/xattr_keys", "/home/admin"})
            QVERIFY(QDir().mkpath(Sysroot::path(QLatin1String(directory))));
        QVERIFY(!GnupgHome(qEnvironmentVariable("GNUPGHOME"))
                     .makeKey(QStringLiteral("Widget <w@example.org>"), QStringLiteral("ed25519"))
                     .isEmpty());
        qputenv("DIGSIG_BSIGN_STATE", _state.filePath(QStringLiteral(".state")).toUtf8());
    }

    void init()
    {
        QVERIFY(TestSupport::writeFile(Sysroot::path(DigSig::controlFilePath()), ""));
        _module = new Module(QStringLiteral("TestModule"), nullptr, false);
        _widget = new SigningElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
        _module->insertElementWidget(_widget);
        _view = _widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"));
        _proxy = qobject_cast<FilteredTreeProxyModel*>(_view->model());
        _model = qobject_cast<SignFileModel*>(_proxy->sourceModel());
        _sign = _widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"));
    }

    void cleanup()
    {
        QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
        delete _module;
    }

    // The sandbox stands in for the file system as "/" would on the real system: one top row,
    // named "/", expanded, and nothing from around the sandbox.
    void treeAndSignButton()
    {
        // Other programs change the folder around the sandbox meanwhile: hold persistent indexes.
        const QPersistentModelIndex rootIndex = _view->rootIndex();
        QCOMPARE(_model->filePath(_proxy->mapToSource(rootIndex)),
                 QFileInfo(Sysroot::root()).absolutePath());
        QTRY_COMPARE(_proxy->rowCount(rootIndex), 1);
        const QPersistentModelIndex top = _proxy->index(0, 0, rootIndex);
        QCOMPARE(top.data().toString(), QStringLiteral("/"));
        QCOMPARE(_model->filePath(_proxy->mapToSource(top)), Sysroot::root());
        QVERIFY(_view->isExpanded(top));
        for (int column : {SignFileModel::SignatureColumn, SignFileModel::ExternedSignatureColumn})
            QVERIFY(qobject_cast<SignatureDelegate*>(_view->itemDelegateForColumn(column)));

        // Sign needs a mode and a checked entry; ELF-only signing narrows the tree to ELF files.
        check(program);
        QVERIFY(!_sign->isEnabled());
        setModes(true, false);
        QVERIFY(_sign->isEnabled() && _proxy->elfOnly());
        setModes(true, true);
        QVERIFY(_sign->isEnabled() && !_proxy->elfOnly());
        check(program, false);
        QVERIFY(!_sign->isEnabled());
    }

    void sign_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("elf");
        QTest::addColumn<bool>("xattr");
        QTest::addColumn<QByteArray>("xattrMode");
        QTest::addColumn<bool>("controlWritable");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QStringList>("seen");
        const QStringList run {"SelectKeyDialog", "SigningDialog"};
        const QStringList offer = run + QStringList {"QMessageBox: Add files for verification"};
        const QStringList question {"QMessageBox: Selection confirmation"};
        QTest::newRow("extended attributes, verification On: offered")
            << QStringList {program} << false << true << QByteArray("1") << true << "" << offer;
        QTest::newRow("both, verification Off")
            << QStringList {program} << true << true << QByteArray("0") << true << "" << run;
        QTest::newRow("ELF only outside the trusted directories, verification On")
            << QStringList {"/home/admin", program} << true << false << QByteArray("1") << true
            << "" << run;
        QTest::newRow("control file not written")
            << QStringList {program} << false << true << QByteArray("1") << false << "" << run;
        QTest::newRow("trusted and not, both modes")
            << QStringList {"/usr/bin", "/etc", "/home/admin"} << true << true << QByteArray("1")
            << true << "/etc\n/home/admin" << question;
        QTest::newRow("the root itself")
            << QStringList {"/"} << false << true << QByteArray("1") << true << "/" << question;
    }

    // Files outside the trusted directories under extended-attribute signing are named, as the
    // system knows them, before any key is asked for; Enter answers No. A finished run under
    // extended-attribute verification offers to rebuild the initramfs, so that the new files
    // count; the settings page re-reads the control file the run merged into, rather than later
    // save the text from before.
    void sign()
    {
        QFETCH(QStringList, paths);
        QFETCH(bool, elf);
        QFETCH(bool, xattr);
        QFETCH(QByteArray, xattrMode);
        QFETCH(bool, controlWritable);
        QFETCH(QString, named);
        QFETCH(QStringList, seen);
        QVERIFY(TestSupport::writeFile(Sysroot::path(DigSig::settingsFilePath()),
                                       "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=" + xattrMode
                                           + "\nDIGSIG_IGNORE_XATTR_KEYS=0\n"
                                             "DIGSIG_IGNORE_GOST2001=0\n"));
        const QString control = Sysroot::path(DigSig::controlFilePath());
        if (!controlWritable)
            QVERIFY(QFile::remove(control)
                    && QFile::link(Sysroot::path("/opt/files/notes.txt"), control));
        auto* element = new DigSigElement(*_module, Module::isAdministratorHierarchy);
        _module->elements().append(element);
        auto* settings
            = new DigSigElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
        _module->insertElementWidget(settings);
        _module->connectElementWidgets();
        ElementData read;
        settings->afterSuccessfulRead(element, &read);
        QSignalSpy performed(_module, &Module::operationPerformed);
        QSignalSpy started(TaskObserver::instance(nullptr), &TaskObserver::taskStarted);
        setModes(elf, xattr);
        for (const QString& path : paths)
            check(path);
        ModalDriver driver([agree = ModalDriver::agree()](QWidget* modal) {
            if (modal->windowTitle() == QLatin1String("Selection confirmation"))
                return ModalDriver::answer(QMessageBox::NoButton)(modal);
            return agree(modal);
        });
        QVERIFY(_sign->isEnabled());
        _sign->click();

        QCOMPARE(driver.seen(), seen);
        if (!named.isEmpty()) {
            QCOMPARE(driver.boxes().value(0).informativeText,
                     "Outside the trusted system directories:\n" + named);
            QCOMPARE(driver.boxes().value(0).clicked, QMessageBox::No);
        }
        QCOMPARE(started.size(), int(seen.size() == 3));
        QVERIFY(started.isEmpty() || started.first().first() == QStringLiteral("Update initramfs"));
        const bool merged = xattr && controlWritable && seen.size() > 1;
        QCOMPARE(performed.size(), int(merged));
        QVERIFY(!merged || performed.first().at(1) == int(ReadOperation));
        QFile::remove(control);
    }

private:
    void check(const QString& path, bool checked = true)
    {
        const QModelIndex index = _proxy->mapFromSource(
            _model->index(path == QLatin1String("/") ? Sysroot::root() : Sysroot::path(path)));
        QVERIFY2(index.isValid(), qPrintable(path));
        QVERIFY(_proxy->setData(index, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
    }

    void setModes(bool elf, bool xattr)
    {
        _widget->findChild<QCheckBox*>(QStringLiteral("_elfCheckBox"))->setChecked(elf);
        _widget->findChild<QCheckBox*>(QStringLiteral("_xattrCheckBox"))->setChecked(xattr);
    }

    QTemporaryDir _state;
    Module* _module = nullptr;
    SigningElementWidget* _widget = nullptr;
    QTreeView* _view = nullptr;
    FilteredTreeProxyModel* _proxy = nullptr;
    SignFileModel* _model = nullptr;
    QPushButton* _sign = nullptr;
};

DIGSIG_SANDBOX_TEST_MAIN(SigningElementWidgetTest)
#include "signingelementwidgettest.moc"
