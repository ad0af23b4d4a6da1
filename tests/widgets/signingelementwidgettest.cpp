#include "signingelementwidget.h"
#include "digsigconstants.h"
#include "filteredtreeproxymodel.h"
#include "module.h"
#include "signaturedelegate.h"
#include "signfilemodel.h"
#include "sysroot.h"
#include "taskobserver.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>

namespace {

void writeSettings(const QByteArray& xattrMode)
{
    TestSupport::writeFile(Sysroot::path(DigSig::settingsFilePath()),
                           "DIGSIG_ELF_MODE=0\nDIGSIG_XATTR_MODE=" + xattrMode
                               + "\nDIGSIG_IGNORE_XATTR_KEYS=0\nDIGSIG_IGNORE_GOST2001=0\n");
}

} // namespace

class SigningElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void signButtonNeedsAModeAndACheckedEntry_data();
    void signButtonNeedsAModeAndACheckedEntry();
    void safetyQuestionOnlyForUnsafeExtendedAttributeSelections_data();
    void safetyQuestionOnlyForUnsafeExtendedAttributeSelections();
    void verificationOfferFollowsAFinishedExtendedAttributeRun_data();
    void verificationOfferFollowsAFinishedExtendedAttributeRun();
    void signatureColumnsAreShownReadably();

private:
    void check(const QString& path, bool checked = true);
    void setModes(bool elf, bool xattr);

    QTemporaryDir _files;
    Module* _module = nullptr;
    SigningElementWidget* _widget = nullptr;
    FilteredTreeProxyModel* _proxy = nullptr;
    SignFileModel* _model = nullptr;
};

void SigningElementWidgetTest::initTestCase()
{
    QVERIFY(TestSupport::writeFile(_files.filePath(QStringLiteral("program")),
                                   TestSupport::readFile(QStringLiteral("/bin/true"))));
    QVERIFY(TestSupport::writeFile(_files.filePath(QStringLiteral("notes.txt")), "text\n"));
    QCOMPARE(QProcess::execute(QStringLiteral("gpg"),
                               {QStringLiteral("--batch"), QStringLiteral("--passphrase"),
                                QString(), QStringLiteral("--quick-gen-key"),
                                QStringLiteral("Widget <w@example.org>"), QStringLiteral("ed25519"),
                                QStringLiteral("sign"), QStringLiteral("never")}),
             0);
    QVERIFY(QDir().mkpath(Sysroot::path(DigSig::keysDirectory())));
    QVERIFY(QDir().mkpath(Sysroot::path(DigSig::xattrKeysDirectory())));
    QVERIFY(TestSupport::writeFile(Sysroot::path(DigSig::controlFilePath()), ""));
    qputenv("DIGSIG_BSIGN_STATE", _files.filePath(QStringLiteral(".state")).toUtf8());
}

void SigningElementWidgetTest::init()
{
    _module = new Module(QStringLiteral("TestModule"), nullptr, false);
    _widget = new SigningElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
    _module->insertElementWidget(_widget);
    auto* view = _widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"));
    _proxy = qobject_cast<FilteredTreeProxyModel*>(view->model());
    QVERIFY(_proxy);
    _model = qobject_cast<SignFileModel*>(_proxy->sourceModel());
    QVERIFY(_model);
}

void SigningElementWidgetTest::cleanup()
{
    QVERIFY(TaskObserver::instance(nullptr)->waitForIdle(60000));
    delete _module;
}

void SigningElementWidgetTest::check(const QString& path, bool checked)
{
    const QModelIndex index = _proxy->mapFromSource(_model->index(path));
    QVERIFY2(index.isValid(), qPrintable(path));
    QVERIFY(_proxy->setData(index, checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
}

void SigningElementWidgetTest::setModes(bool elf, bool xattr)
{
    _widget->findChild<QCheckBox*>(QStringLiteral("_elfCheckBox"))->setChecked(elf);
    _widget->findChild<QCheckBox*>(QStringLiteral("_xattrCheckBox"))->setChecked(xattr);
}

void SigningElementWidgetTest::signButtonNeedsAModeAndACheckedEntry_data()
{
    QTest::addColumn<bool>("elf");
    QTest::addColumn<bool>("xattr");
    QTest::addColumn<bool>("checked");
    for (bool elf : {false, true}) {
        for (bool xattr : {false, true}) {
            for (bool checked : {false, true})
                QTest::addRow("elf %d xattr %d checked %d", elf, xattr, checked)
                    << elf << xattr << checked;
        }
    }
}

void SigningElementWidgetTest::signButtonNeedsAModeAndACheckedEntry()
{
    QFETCH(bool, elf);
    QFETCH(bool, xattr);
    QFETCH(bool, checked);
    auto* sign = _widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"));
    QVERIFY(!sign->isEnabled());
    setModes(elf, xattr);
    if (checked)
        check(_files.filePath(QStringLiteral("program")));
    QCOMPARE(sign->isEnabled(), (elf || xattr) && checked);
    QCOMPARE(_proxy->elfOnly(), elf && !xattr);
    if (checked) {
        check(_files.filePath(QStringLiteral("program")), false);
        QVERIFY(!sign->isEnabled());
    }
}

void SigningElementWidgetTest::safetyQuestionOnlyForUnsafeExtendedAttributeSelections_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("elf");
    QTest::addColumn<bool>("xattr");
    QTest::addColumn<bool>("asked");
    QTest::newRow("/usr/bin, extended attributes")
        << QStringList {"/usr/bin"} << false << true << false;
    QTest::newRow("/usr/bin and /etc, extended attributes")
        << QStringList {"/usr/bin", "/etc"} << false << true << true;
    QTest::newRow("/usr/bin and /etc, both")
        << QStringList {"/usr/bin", "/etc"} << true << true << true;
    QTest::newRow("/, ELF only") << QStringList {"/"} << true << false << false;
    QTest::newRow("/etc, ELF only") << QStringList {"/etc"} << true << false << false;
}

void SigningElementWidgetTest::safetyQuestionOnlyForUnsafeExtendedAttributeSelections()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, elf);
    QFETCH(bool, xattr);
    QFETCH(bool, asked);
    setModes(elf, xattr);
    for (const QString& path : paths)
        check(path);
    // Answer the safety question with No; a key selection means the run went on: cancel it.
    TestSupport::ModalDriver driver([](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->button(QMessageBox::No)->click();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
    _widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"))->click();
    const QStringList expected = asked ? QStringList {"QMessageBox: Selection confirmation"}
                                       : QStringList {"SelectKeyDialog"};
    QCOMPARE(driver.seen(), expected);
}

void SigningElementWidgetTest::verificationOfferFollowsAFinishedExtendedAttributeRun_data()
{
    QTest::addColumn<bool>("elf");
    QTest::addColumn<bool>("xattr");
    QTest::addColumn<QByteArray>("xattrMode");
    QTest::addColumn<bool>("controlWritable");
    QTest::addColumn<bool>("offered");
    QTest::newRow("extended attributes, verification On")
        << false << true << QByteArray("1") << true << true;
    QTest::newRow("both, verification Debug") << true << true << QByteArray("2") << true << true;
    QTest::newRow("extended attributes, verification Off")
        << false << true << QByteArray("0") << true << false;
    QTest::newRow("ELF only, verification On") << true << false << QByteArray("1") << true << false;
    // A rebuild would not make the files count: the control file does not list them.
    QTest::newRow("control file not written") << false << true << QByteArray("1") << false << false;
}

void SigningElementWidgetTest::verificationOfferFollowsAFinishedExtendedAttributeRun()
{
    QFETCH(bool, elf);
    QFETCH(bool, xattr);
    QFETCH(QByteArray, xattrMode);
    QFETCH(bool, controlWritable);
    QFETCH(bool, offered);
    writeSettings(xattrMode);
    const QString control = Sysroot::path(DigSig::controlFilePath());
    QFile::remove(control);
    if (controlWritable)
        QVERIFY(TestSupport::writeFile(control, ""));
    else
        QVERIFY(QFile::link(_files.filePath(QStringLiteral("notes.txt")), control));
    setModes(elf, xattr);
    check(_files.filePath(QStringLiteral("program")));
    QSignalSpy started(TaskObserver::instance(nullptr), &TaskObserver::taskStarted);
    TestSupport::ModalDriver driver(TestSupport::agreeToEverything);
    _widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"))->click();

    QStringList expected {"SelectKeyDialog", "SigningDialog"};
    if (xattr)
        expected.prepend(QStringLiteral("QMessageBox: Selection confirmation"));
    if (offered)
        expected.append(QStringLiteral("QMessageBox: Add files for verification"));
    QCOMPARE(driver.seen(), expected);
    QCOMPARE(started.size(), offered ? 1 : 0);
    if (offered)
        QCOMPARE(started.first().first().toString(), QStringLiteral("Update initramfs"));
    QFile::remove(control);
    QVERIFY(TestSupport::writeFile(control, ""));
}

void SigningElementWidgetTest::signatureColumnsAreShownReadably()
{
    auto* view = _widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"));
    for (int column : {SignFileModel::SignatureColumn, SignFileModel::ExternedSignatureColumn})
        QVERIFY(qobject_cast<SignatureDelegate*>(view->itemDelegateForColumn(column)));
}

DIGSIG_SANDBOX_TEST_MAIN(SigningElementWidgetTest)
#include "signingelementwidgettest.moc"
