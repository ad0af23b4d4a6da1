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

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
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

// Where the tests' files lie: inside the sandbox, which the tree shows as the file system.
QString filePath(const QString& name)
{
    return Sysroot::path(QStringLiteral("/opt/files/") + name);
}

} // namespace

class SigningElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void treeStartsAtTheSandboxRoot();
    void nameColumnLeavesTheOthersInView();
    void signButtonNeedsAModeAndACheckedEntry_data();
    void signButtonNeedsAModeAndACheckedEntry();
    void safetyQuestionOnlyForUnsafeExtendedAttributeSelections_data();
    void safetyQuestionOnlyForUnsafeExtendedAttributeSelections();
    void verificationOfferFollowsAFinishedExtendedAttributeRun_data();
    void verificationOfferFollowsAFinishedExtendedAttributeRun();
    void signatureColumnsAreShownReadably();
    void settingsElementFollowsTheMerge_data();
    void settingsElementFollowsTheMerge();

private:
    void check(const QString& path, bool checked = true);
    void setModes(bool elf, bool xattr);
    QTreeView* view() const;

    QTemporaryDir _state;
    Module* _module = nullptr;
    SigningElementWidget* _widget = nullptr;
    FilteredTreeProxyModel* _proxy = nullptr;
    SignFileModel* _model = nullptr;
};

void SigningElementWidgetTest::initTestCase()
{
    QVERIFY(TestSupport::writeFile(filePath(QStringLiteral("program")),
                                   TestSupport::readFile(QStringLiteral("/bin/true"))));
    QVERIFY(TestSupport::writeFile(filePath(QStringLiteral("notes.txt")), "text\n"));
    for (const char* directory : {"/usr/bin", "/etc", "/home/admin"})
        QVERIFY(QDir().mkpath(Sysroot::path(QLatin1String(directory))));
    for (int i = 0; i < 12; ++i)
        QVERIFY(QDir().mkpath(Sysroot::path(QStringLiteral("/var/lib/app%1").arg(i))));
    QCOMPARE(QProcess::execute(QStringLiteral("gpg"),
                               {QStringLiteral("--batch"), QStringLiteral("--passphrase"),
                                QString(), QStringLiteral("--quick-gen-key"),
                                QStringLiteral("Widget <w@example.org>"), QStringLiteral("ed25519"),
                                QStringLiteral("sign"), QStringLiteral("never")}),
             0);
    QVERIFY(QDir().mkpath(Sysroot::path(DigSig::keysDirectory())));
    QVERIFY(QDir().mkpath(Sysroot::path(DigSig::xattrKeysDirectory())));
    QVERIFY(TestSupport::writeFile(Sysroot::path(DigSig::controlFilePath()), ""));
    qputenv("DIGSIG_BSIGN_STATE", _state.filePath(QStringLiteral(".state")).toUtf8());
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

QTreeView* SigningElementWidgetTest::view() const
{
    return _widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"));
}

// The sandbox stands in for the file system as "/" would on the real system: one top row,
// named "/", expanded, and nothing from around the sandbox.
void SigningElementWidgetTest::treeStartsAtTheSandboxRoot()
{
    // Other programs change the folder around the sandbox meanwhile: hold persistent indexes.
    const QPersistentModelIndex rootIndex = view()->rootIndex();
    QCOMPARE(_model->filePath(_proxy->mapToSource(rootIndex)),
             QFileInfo(Sysroot::root()).absolutePath());
    QTRY_COMPARE(_proxy->rowCount(rootIndex), 1);
    const QPersistentModelIndex top = _proxy->index(0, 0, rootIndex);
    QCOMPARE(top.data().toString(), QStringLiteral("/"));
    QCOMPARE(_model->filePath(_proxy->mapToSource(top)), Sysroot::root());
    QVERIFY(view()->isExpanded(top));
    QTRY_VERIFY(_proxy->rowCount(top) >= 4);
    QVERIFY(_proxy->mapFromSource(_model->index(Sysroot::path(QStringLiteral("/etc")))).isValid());
}

void SigningElementWidgetTest::nameColumnLeavesTheOthersInView()
{
    const QString deep = Sysroot::path(QStringLiteral("/opt/files/") + QString(60, QLatin1Char('n'))
                                       + QStringLiteral("/") + QString(60, QLatin1Char('m')));
    QVERIFY(
        TestSupport::writeFile(deep + QStringLiteral("/") + QString(80, QLatin1Char('f')), "x"));
    _widget->resize(900, 500);
    _widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(_widget));
    for (QString path = deep; path.startsWith(Sysroot::root()); path = QFileInfo(path).path()) {
        const QModelIndex index = _proxy->mapFromSource(_model->index(path));
        QVERIFY(index.isValid());
        view()->expand(index);
    }
    QTRY_VERIFY(_proxy->rowCount(_proxy->mapFromSource(_model->index(deep))) == 1);
    QHeaderView* header = view()->header();
    for (int section :
         {int(SignFileModel::SignatureColumn), int(SignFileModel::ExternedSignatureColumn), 1, 3}) {
        QVERIFY2(header->sectionViewportPosition(section) + header->sectionSize(section)
                     <= view()->viewport()->width(),
                 qPrintable(QString::number(section)));
        QVERIFY(header->sectionSize(section) >= header->sectionSizeHint(section));
    }
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
        check(filePath(QStringLiteral("program")));
    QCOMPARE(sign->isEnabled(), (elf || xattr) && checked);
    QCOMPARE(_proxy->elfOnly(), elf && !xattr);
    if (checked) {
        check(filePath(QStringLiteral("program")), false);
        QVERIFY(!sign->isEnabled());
    }
}

// Paths are judged and named as the system knows them; Enter answers No.
void SigningElementWidgetTest::safetyQuestionOnlyForUnsafeExtendedAttributeSelections_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("elf");
    QTest::addColumn<bool>("xattr");
    QTest::addColumn<QString>("named");
    QTest::newRow("/usr/bin, extended attributes")
        << QStringList {"/usr/bin"} << false << true << QString();
    QTest::newRow("/usr/bin and /etc, extended attributes")
        << QStringList {"/usr/bin", "/etc"} << false << true << "/etc";
    QTest::newRow("/etc and /home/admin, both")
        << QStringList {"/etc", "/home/admin"} << true << true << "/etc\n/home/admin";
    QTest::newRow("/, extended attributes") << QStringList {"/"} << false << true << "/";
    QTest::newRow("/, ELF only") << QStringList {"/"} << true << false << QString();
    QTest::newRow("/etc, ELF only") << QStringList {"/etc"} << true << false << QString();
    QStringList many;
    for (int i = 0; i < 12; ++i)
        many << QStringLiteral("/var/lib/app%1").arg(i);
    QTest::newRow("twelve unsafe")
        << many << false << true
        << QStringList(many.mid(0, 10)).join(QLatin1Char('\n')) + QStringLiteral("\nand 2 more");
}

void SigningElementWidgetTest::safetyQuestionOnlyForUnsafeExtendedAttributeSelections()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, elf);
    QFETCH(bool, xattr);
    QFETCH(QString, named);
    setModes(elf, xattr);
    for (const QString& path : paths)
        check(path == QLatin1String("/") ? Sysroot::root() : Sysroot::path(path));
    // The question is answered with Enter; a key selection means the run went on: cancel it.
    TestSupport::ModalDriver driver([](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            QTest::keyClick(box, Qt::Key_Return);
        else
            qobject_cast<QDialog*>(modal)->reject();
        return true;
    });
    _widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"))->click();
    if (named.isEmpty()) {
        QCOMPARE(driver.seen(), QStringList {"SelectKeyDialog"});
        return;
    }
    QCOMPARE(driver.seen(), QStringList {"QMessageBox: Selection confirmation"});
    const TestSupport::ModalDriver::Box box = driver.boxes().value(0);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.informativeText,
             QStringLiteral("Outside the trusted system directories:\n") + named);
    QCOMPARE(box.clicked, QMessageBox::No);
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
        QVERIFY(QFile::link(filePath(QStringLiteral("notes.txt")), control));
    setModes(elf, xattr);
    check(filePath(QStringLiteral("program")));
    QSignalSpy started(TaskObserver::instance(nullptr), &TaskObserver::taskStarted);
    TestSupport::ModalDriver driver(TestSupport::ModalDriver::agree());
    _widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"))->click();

    // The file lies in the sandbox's /opt, a trusted directory: no safety question.
    QStringList expected {"SelectKeyDialog", "SigningDialog"};
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

void SigningElementWidgetTest::settingsElementFollowsTheMerge_data()
{
    QTest::addColumn<bool>("xattr");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<QList<int>>("operations");
    QTest::newRow("merge, no edit: re-read") << true << false << QList<int> {ReadOperation};
    QTest::newRow("merge under an edit: out of date") << true << true << QList<int>();
    QTest::newRow("ELF only, nothing merged") << false << false << QList<int>();
}

// A run merges into the control file; the settings element must not apply the text from before.
void SigningElementWidgetTest::settingsElementFollowsTheMerge()
{
    QFETCH(bool, xattr);
    QFETCH(bool, edited);
    QFETCH(QList<int>, operations);
    writeSettings("0");
    QVERIFY(TestSupport::writeFile(Sysroot::path(DigSig::controlFilePath()), "/usr/\n"));
    auto* element = new DigSigElement(*_module, Module::isAdministratorHierarchy);
    _module->elements().append(element);
    auto* settings = new DigSigElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
    _module->insertElementWidget(settings);
    _module->connectElementWidgets();
    ElementData read;
    settings->afterSuccessfulRead(element, &read);
    if (edited) {
        settings->blockEditWidget(false);
        settings->changeContent();
    }
    QSignalSpy performed(_module, &Module::operationPerformed);

    setModes(!xattr, xattr);
    check(filePath(QStringLiteral("program")));
    TestSupport::ModalDriver driver(TestSupport::ModalDriver::agree());
    _widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"))->click();
    QVERIFY(driver.seen().contains(QStringLiteral("SigningDialog")));

    QList<int> seen;
    for (const QList<QVariant>& call : qAsConst(performed))
        seen << call.at(1).toInt();
    QCOMPARE(seen, operations);
    QCOMPARE(settings->findChild<QLabel*>(QStringLiteral("_outOfDateLabel"))->isHidden(), !edited);
}

DIGSIG_SANDBOX_TEST_MAIN(SigningElementWidgetTest)
#include "signingelementwidgettest.moc"
