#include "signingelementwidget.h"
#include "digsigconstants.h"
#include "digsigelement.h"
#include "digsigelementwidget.h"
#include "elementdata.h"
#include "filteredtreeproxymodel.h"
#include "module.h"
#include "signaturedelegate.h"
#include "signfilemodel.h"
#include "taskobserver.h"
#include "testsupport.h"

#include <QtWidgets>

using TestSupport::ModalDriver;

class SigningElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestSupport::writeElf(TestSupport::sandboxPath(_program)));
        for (const char* directory : {"/usr/bin", "/etc/digsig/xattr_keys", "/home/admin"})
            QVERIFY(QDir().mkpath(TestSupport::sandboxPath(QLatin1String(directory))));
        QVERIFY(!GnupgHome(qEnvironmentVariable("GNUPGHOME"))
                     .makeKey(QStringLiteral("Widget <w@example.org>"), QStringLiteral("ed25519"))
                     .isEmpty());
        qputenv("DIGSIG_BSIGN_STATE", _state.filePath(QStringLiteral(".state")).toUtf8());
    }

    void init()
    {
        QVERIFY(TestSupport::writeFile(TestSupport::sandboxPath(DigSig::controlFilePath()), ""));
        _module = new Module(QStringLiteral("TestModule"), nullptr, false);
        _widget = new SigningElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
        _module->insertElementWidget(_widget);
    }

    void cleanup()
    {
        QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
        delete _module;
    }

    void sign_data()
    {
        QTest::addColumn<QStringList>("paths");
        // The modes to sign with; "off": extended-attribute verification is Off; "edited": the
        // settings page holds unsaved edits.
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<QString>("named"); // outside the trusted directories
        const QStringList run {"SelectKeyDialog", "SigningDialog"};
        const QStringList offer = run + QStringList {"QMessageBox: Add files for verification"};
        const QStringList question {"QMessageBox: Selection confirmation"};
        QTest::newRow("extended attributes, verification On: offered")
            << QStringList {_program} << "xattr" << offer << "";
        QTest::newRow("both, verification Off, settings edited: out of date")
            << QStringList {_program} << "elf xattr off edited" << run << "";
        QTest::newRow("ELF only outside the trusted directories, verification On")
            << QStringList {"/home/admin", _program} << "elf" << run << "";
        QTest::newRow("trusted and not, both modes")
            << QStringList {"/usr/bin", "/etc", "/home/admin"} << "elf xattr" << question
            << "/etc\n/home/admin";
        QTest::newRow("the root itself") << QStringList {"/"} << "xattr" << question << "/";
        QTest::newRow("no mode") << QStringList {_program} << "" << QStringList() << "";
        QTest::newRow("nothing checked") << QStringList() << "elf xattr" << QStringList() << "";
    }

    // The sandbox stands in for the file system as "/" would on the real system: one top row,
    // named "/", expanded, and nothing from around the sandbox. Sign needs a mode and a checked
    // entry; ELF-only signing narrows the tree to ELF files. Files outside the trusted
    // directories under extended-attribute signing are named, as the system knows them, before
    // any key is asked for; Enter answers No. A finished run under extended-attribute
    // verification offers to rebuild the initramfs, so that the new files count. The settings
    // page must not keep (and later save) the control file's text from before the run merged
    // into it: it re-reads, or under an edit says it is out of date until read again.
    void sign()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, setup);
        QFETCH(QStringList, seen);
        QFETCH(QString, named);
        const bool elf = setup.contains("elf"), xattr = setup.contains("xattr");
        const bool edited = setup.contains("edited");
        QVERIFY(TestSupport::writeFile(TestSupport::sandboxPath(DigSig::settingsFilePath()),
                                       setup.contains("off") ? "DIGSIG_XATTR_MODE=0\n"
                                                             : "DIGSIG_XATTR_MODE=1\n"));
        auto* element = new DigSigElement(*_module, Module::isAdministratorHierarchy);
        _module->elements().append(element);
        auto* settings
            = new DigSigElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
        _module->insertElementWidget(settings);
        _module->connectElementWidgets();
        ElementData read;
        settings->afterSuccessfulRead(element, &read);
        if (edited)
            settings->changeContent();
        QSignalSpy performed(_module, &Module::operationPerformed);
        QSignalSpy started(TaskObserver::instance(nullptr), &TaskObserver::taskStarted);
        auto* view = _widget->findChild<QTreeView*>("_filesTreeView");
        auto* proxy = qobject_cast<FilteredTreeProxyModel*>(view->model());
        auto* model = qobject_cast<SignFileModel*>(proxy->sourceModel());
        // Other programs change the folder around the sandbox meanwhile: hold persistent indexes.
        const QPersistentModelIndex rootIndex = view->rootIndex();
        QTRY_COMPARE(proxy->rowCount(rootIndex), 1);
        const QPersistentModelIndex top = proxy->index(0, 0, rootIndex);
        QCOMPARE(top.data().toString(), QStringLiteral("/"));
        QCOMPARE(model->filePath(proxy->mapToSource(top)), TestSupport::sandboxRoot());
        QVERIFY(view->isExpanded(top));
        for (int column : {SignFileModel::SignatureColumn, SignFileModel::ExternedSignatureColumn})
            QVERIFY(qobject_cast<SignatureDelegate*>(view->itemDelegateForColumn(column)));
        for (const QString& path : paths) {
            const QModelIndex index
                = proxy->mapFromSource(model->index(TestSupport::sandboxPath(path)));
            QVERIFY2(index.isValid() && proxy->setData(index, Qt::Checked, Qt::CheckStateRole),
                     qPrintable(path));
        }
        _widget->findChild<QCheckBox*>("_elfCheckBox")->setChecked(elf);
        _widget->findChild<QCheckBox*>("_xattrCheckBox")->setChecked(xattr);
        QCOMPARE(proxy->elfOnly(), elf && !xattr);
        ModalDriver driver([](QWidget* modal) {
            const bool question = modal->windowTitle() == QLatin1String("Selection confirmation");
            return (question ? ModalDriver::answer(QMessageBox::NoButton)
                             : ModalDriver::agree())(modal);
        });
        auto* sign = _widget->findChild<QPushButton*>("_signPushButton");
        QCOMPARE(sign->isEnabled(), !seen.isEmpty());
        if (sign->isEnabled())
            sign->click();

        QCOMPARE(driver.seen(), seen);
        if (!named.isEmpty()) {
            QCOMPARE(driver.boxes().value(0).informativeText,
                     "Outside the trusted system directories:\n" + named);
            QCOMPARE(driver.boxes().value(0).clicked, QMessageBox::No);
        }
        QCOMPARE(started.size(), int(seen.size() == 3));
        QVERIFY(started.isEmpty() || started.first().first() == QStringLiteral("Update initramfs"));
        const bool merged = xattr && seen.size() > 1;
        QCOMPARE(performed.size(), int(merged && !edited));
        QVERIFY(performed.isEmpty() || performed.first().at(1) == int(ReadOperation));
        auto* label = settings->findChild<QLabel*>("_outOfDateLabel");
        QCOMPARE(label->isHidden(), !(merged && edited));
        QVERIFY(label->isHidden() || label->text().contains(DigSig::controlFilePath()));
        settings->afterSuccessfulRead(element, &read);
        QVERIFY(label->isHidden());
    }

private:
    const QString _program = QStringLiteral("/opt/files/program");
    QTemporaryDir _state;
    Module* _module = nullptr;
    SigningElementWidget* _widget = nullptr;
};

DIGSIG_SANDBOX_TEST_MAIN(SigningElementWidgetTest)
#include "signingelementwidgettest.moc"
