#include "digsigelementwidget.h"
#include "atomicfile.h"
#include "bsignstandin.h"
#include "digsigelement.h"
#include "digsigelementdata.h"
#include "messagearea.h"
#include "module.h"
#include "testsupport.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTimer>

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QString helperPath = QStringLiteral("/usr/bin/kiro-wmfunc");

const QString onWarning
    = QStringLiteral("All unsigned files can not be started after reboot system.");
const QString applyWarning
    = QStringLiteral("All unsigned files can not be started after reboot system.\n"
                     "It is advisable to first check the system in debug mode.\n"
                     "Are you sure want apply this settings?");

const QStringList radioNames {
    QStringLiteral("_onElfRadioButton"),    QStringLiteral("_offElfRadioButton"),
    QStringLiteral("_debugElfRadioButton"), QStringLiteral("_onXattrRadioButton"),
    QStringLiteral("_offXattrRadioButton"), QStringLiteral("_debugXattrRadioButton")};

QString sandboxed(const QString& path)
{
    return TestSupport::sandboxRoot() + path;
}

QByteArray settingsFile(const char* elf, const char* xattr, const char* ignoreXattrKeys = "0",
                        const char* ignoreGost2001 = "0")
{
    return QByteArray("DIGSIG_ELF_MODE=") + elf + "\nDIGSIG_XATTR_MODE=" + xattr
        + "\nDIGSIG_IGNORE_XATTR_KEYS=" + ignoreXattrKeys
        + "\nDIGSIG_IGNORE_GOST2001=" + ignoreGost2001 + "\n";
}

// Keeps what the widget's update request carried; the base deletes the record.
class CapturingModule : public Module
{
public:
    CapturingModule()
        : Module(QStringLiteral("CapturingModule"), nullptr, false)
    { }

    void performOperation(ContextOperation* operation, OperationType type, ElementData* data,
                          int n) override
    {
        operations << type;
        if (const auto* settings = dynamic_cast<const DigSigElementData*>(data)) {
            elfMode = settings->elfMode();
            xattrMode = settings->xattrMode();
            ignoreXattrKeys = settings->ignoreXattrKeys();
            ignoreGost2001 = settings->ignoreGost2001();
            xattrControl = settings->xattrControl();
        }
        Module::performOperation(operation, type, data, n);
    }

    QList<int> operations;
    int elfMode = -1;
    int xattrMode = -1;
    bool ignoreXattrKeys = false;
    bool ignoreGost2001 = false;
    QString xattrControl;
};

} // namespace

class DigSigElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString tools = qEnvironmentVariable("DIGSIG_TOOLS_DIR");
        QVERIFY2(!tools.isEmpty(), "run through CTest: DIGSIG_TOOLS_DIR names the stand-ins");
        QVERIFY(TestSupport::writeFile(
            sandboxed(helperPath), TestSupport::readFile(tools + QStringLiteral("/kiro-wmfunc"))));
        QVERIFY(QFile::setPermissions(sandboxed(helperPath),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        _logPath = _scratch.filePath(QStringLiteral("wmfunc.log"));
        qputenv("DIGSIG_WMFUNC_LOG", _logPath.toUtf8());
    }

    void init()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsFile("0", "0", "1", "0")));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "//bin/dash\n/usr/"));
        QFile::remove(_logPath);
        _module = new CapturingModule;
        _element = new DigSigElement(*_module, Module::isAdministratorHierarchy);
        _module->elements().append(_element);
        _widget = new DigSigElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
        _module->insertElementWidget(_widget);
        _module->connectElementWidgets();
    }

    void cleanup() { delete _module; }

    void form()
    {
        QCOMPARE(_widget->objectName(), QStringLiteral("DigSigElementWidget"));
        QCOMPARE(QString::fromLatin1(_widget->metaObject()->className()),
                 QStringLiteral("DigSigElementWidget"));
        QVERIFY(_widget->qt_metacast("DigSigElementWidget"));
        QCOMPARE(_widget->elementType(), QStringLiteral("DigSig"));
        QCOMPARE(_widget->element(), static_cast<Element*>(_element));
        QCOMPARE(_widget->windowTitle(), QStringLiteral("Settings"));
        QCOMPARE(_widget->size(), QSize(714, 500));
        QVERIFY(_widget->isEnabled());

        auto* outer = qobject_cast<QGridLayout*>(_widget->layout());
        QVERIFY(outer);
        QCOMPARE(outer->objectName(), QStringLiteral("gridLayout_5"));
        auto* panel = child<QGroupBox>("groupBox_2");
        QCOMPARE(panel->title(), QStringLiteral("Control panel"));
        QVERIFY(panel->isFlat());
        QCOMPARE(position(outer, child<MessageArea>("_modeMessageArea")),
                 QVector<int>({0, 0, 1, 1}));
        QCOMPARE(position(outer, panel), QVector<int>({2, 0, 1, 1}));

        auto* panelLayout = grid(panel, "gridLayout_4");
        auto* elfBox = child<QGroupBox>("groupBox_3");
        auto* xattrBox = child<QGroupBox>("groupBox_4");
        auto* templatesBox = child<QGroupBox>("groupBox");
        QCOMPARE(elfBox->title(), QStringLiteral("Control executable files"));
        QCOMPARE(xattrBox->title(), QStringLiteral("Control extended attributes"));
        QCOMPARE(templatesBox->title(), QStringLiteral("File templates for extended attributes"));
        QCOMPARE(position(panelLayout, elfBox), QVector<int>({0, 0, 1, 1}));
        QCOMPARE(position(panelLayout, xattrBox), QVector<int>({0, 1, 1, 1}));
        QCOMPARE(position(panelLayout, templatesBox), QVector<int>({1, 0, 1, 2}));

        const auto html = [](const char* text) {
            return QStringLiteral("<html><head/><body><p>") + QLatin1String(text)
                + QStringLiteral("</p></body></html>");
        };
        const QString unsignedTip = html("System will issue warnings about unsigned files");
        checkRadio(grid(elfBox, "gridLayout"), "_offElfRadioButton", 0, "Off",
                   html("Disable cheking executable files"));
        checkRadio(grid(elfBox, "gridLayout"), "_debugElfRadioButton", 1, "Debug", unsignedTip);
        checkRadio(grid(elfBox, "gridLayout"), "_onElfRadioButton", 2, "On",
                   html("Enable cheking executable files"));
        checkRadio(grid(xattrBox, "gridLayout_3"), "_offXattrRadioButton", 0, "Off",
                   html("Disable control externded attributes files"));
        checkRadio(grid(xattrBox, "gridLayout_3"), "_debugXattrRadioButton", 1, "Debug",
                   unsignedTip);
        checkRadio(grid(xattrBox, "gridLayout_3"), "_onXattrRadioButton", 2, "On",
                   html("Enable control externded attributes files"));

        checkGroup("_elfButtonControlGroup",
                   {"_offElfRadioButton", "_debugElfRadioButton", "_onElfRadioButton"});
        checkGroup("_xattrButtonControlGroup",
                   {"_offXattrRadioButton", "_debugXattrRadioButton", "_onXattrRadioButton"});

        auto* templates = grid(templatesBox, "gridLayout_2");
        auto* label = child<QLabel>("labelXattrControl");
        QCOMPARE(label->text(), QStringLiteral("/etc/digsig/xattr_control:"));
        QCOMPARE(position(templates, label), QVector<int>({0, 0, 1, 1}));
        QCOMPARE(position(templates, child<QTextEdit>("_xattrControlFileTextEdit")),
                 QVector<int>({1, 0, 1, 1}));
        auto* files = child<QLabel>("labelHelpFiles");
        QCOMPARE(files->text(),
                 QStringLiteral("To check single files, you should add a slash to the "
                                "beginning of the path. For example, //bin/dash"));
        QVERIFY(files->wordWrap());
        QCOMPARE(position(templates, files), QVector<int>({2, 0, 1, 1}));
        auto* dirs = child<QLabel>("labelHelpDirs");
        QCOMPARE(dirs->text(),
                 QStringLiteral("To check files and subdirectories in a directory, you "
                                "should add a slash to the end of the path. For "
                                "example, /usr/"));
        QVERIFY(dirs->wordWrap());
        QCOMPARE(position(templates, dirs), QVector<int>({3, 0, 1, 1}));
    }

    void readChecksButtons_data()
    {
        QTest::addColumn<QByteArray>("elf");
        QTest::addColumn<QByteArray>("xattr");
        QTest::addColumn<QStringList>("checked");

        QTest::newRow("off, off") << QByteArray("0") << QByteArray("0")
                                  << QStringList {"_offElfRadioButton", "_offXattrRadioButton"};
        QTest::newRow("debug, on") << QByteArray("2") << QByteArray("1")
                                   << QStringList {"_debugElfRadioButton", "_onXattrRadioButton"};
        QTest::newRow("on, debug") << QByteArray("1") << QByteArray("2")
                                   << QStringList {"_onElfRadioButton", "_debugXattrRadioButton"};
        QTest::newRow("invalid, off")
            << QByteArray("7") << QByteArray("0") << QStringList {"_offXattrRadioButton"};
        QTest::newRow("invalid, invalid") << QByteArray("01") << QByteArray("") << QStringList();
    }

    void readChecksButtons()
    {
        QFETCH(QByteArray, elf);
        QFETCH(QByteArray, xattr);
        QFETCH(QStringList, checked);
        TestSupport::BoxAnswerer answerer(QMessageBox::Ok);
        // A first read with other values shows that the second one clears them.
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsFile("1", "1")));
        read();
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath),
                                       settingsFile(elf.constData(), xattr.constData())));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "//bin/bash\n/opt/\n"));
        QSignalSpy changed(_widget, &ViewEditElementWidget::changedStateChanged);

        read();
        QCOMPARE(checkedButtons(), checked);
        QCOMPARE(child<QTextEdit>("_xattrControlFileTextEdit")->toPlainText(),
                 QStringLiteral("//bin/bash\n/opt/\n"));
        QVERIFY(!_widget->isChanged());
        QVERIFY(_widget->isEditBlocked());
        QTest::qWait(20);
        QCOMPARE(answerer.boxes.size(), 0);
        QCOMPARE(_module->operations, QList<int>());
    }

    void readForAnotherElementIsIgnored()
    {
        DigSigElement other(*_module, Module::isAdministratorHierarchy);
        ElementData data;
        _widget->afterSuccessfulRead(&other, &data);
        _widget->afterSuccessfulRead(nullptr, &data);
        QCOMPARE(checkedButtons(), QStringList());
        QVERIFY(child<QTextEdit>("_xattrControlFileTextEdit")->toPlainText().isEmpty());
        QVERIFY(!_widget->isEditBlocked());

        _widget->setElement(_element, NoWidgetRole);
        _widget->afterSuccessfulRead(_element, &data);
        QCOMPARE(checkedButtons(), QStringList());
    }

    void clickingOnWarnsOnce_data()
    {
        QTest::addColumn<QString>("on");
        QTest::addColumn<QString>("off");
        QTest::newRow("ELF") << QStringLiteral("_onElfRadioButton")
                             << QStringLiteral("_offElfRadioButton");
        QTest::newRow("xattr") << QStringLiteral("_onXattrRadioButton")
                               << QStringLiteral("_offXattrRadioButton");
    }

    void clickingOnWarnsOnce()
    {
        QFETCH(QString, on);
        QFETCH(QString, off);
        read();
        _widget->blockEditWidget(false);
        TestSupport::BoxAnswerer answerer(QMessageBox::Ok);

        child<QRadioButton>(on)->click();
        QCOMPARE(answerer.boxes.size(), 1);
        QCOMPARE(answerer.boxes.at(0).title, QStringLiteral("Warning"));
        QCOMPARE(answerer.boxes.at(0).text, onWarning);
        QCOMPARE(answerer.boxes.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(answerer.boxes.at(0).icon, QMessageBox::Warning);
        QVERIFY(child<QRadioButton>(on)->isChecked());
        QVERIFY(_widget->isChanged());

        child<QRadioButton>(on)->click();
        QCOMPARE(answerer.boxes.size(), 1);
        child<QRadioButton>(off)->click();
        QCOMPARE(answerer.boxes.size(), 1);
        child<QRadioButton>(on)->click();
        QCOMPARE(answerer.boxes.size(), 2);
    }

    void textEditMarksChanged()
    {
        read();
        _widget->blockEditWidget(false);
        QVERIFY(!_widget->isChanged());
        child<QTextEdit>("_xattrControlFileTextEdit")->setPlainText(QStringLiteral("/srv/"));
        QVERIFY(_widget->isChanged());
    }

    void applyWithoutOnIsImmediate()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsFile("0", "0", "1", "1")));
        read();
        _widget->blockEditWidget(false);
        TestSupport::BoxAnswerer answerer(QMessageBox::No);
        child<QRadioButton>("_debugElfRadioButton")->click();
        child<QTextEdit>("_xattrControlFileTextEdit")
            ->setPlainText(QStringLiteral("//bin/dash\n/srv/\n"));

        _widget->applyContentChanges();
        QCOMPARE(answerer.boxes.size(), 0);
        QCOMPARE(_module->operations, QList<int> {UpdateOperation});
        QCOMPARE(_module->elfMode, int(Debug));
        QCOMPARE(_module->xattrMode, int(Off));
        QVERIFY(_module->ignoreXattrKeys);
        QVERIFY(_module->ignoreGost2001);
        QCOMPARE(_module->xattrControl, QStringLiteral("//bin/dash\n/srv/\n"));
    }

    void applyWithOnAsks_data()
    {
        QTest::addColumn<QString>("on");
        QTest::addColumn<int>("answer");
        QTest::newRow("ELF, No") << QStringLiteral("_onElfRadioButton") << int(QMessageBox::No);
        QTest::newRow("xattr, No") << QStringLiteral("_onXattrRadioButton") << int(QMessageBox::No);
        QTest::newRow("ELF, Yes") << QStringLiteral("_onElfRadioButton") << int(QMessageBox::Yes);
        QTest::newRow("xattr, Yes")
            << QStringLiteral("_onXattrRadioButton") << int(QMessageBox::Yes);
    }

    void applyWithOnAsks()
    {
        QFETCH(QString, on);
        QFETCH(int, answer);
        read();
        _widget->blockEditWidget(false);
        TestSupport::BoxAnswerer answerer {QMessageBox::StandardButton(answer)};
        child<QRadioButton>(on)->click();
        QCOMPARE(answerer.boxes.size(), 1);

        _widget->applyContentChanges();
        QCOMPARE(answerer.boxes.size(), 2);
        QCOMPARE(answerer.boxes.at(1).title, QStringLiteral("Warning"));
        QCOMPARE(answerer.boxes.at(1).text, applyWarning);
        QCOMPARE(answerer.boxes.at(1).buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(answerer.boxes.at(1).icon, QMessageBox::Warning);
        if (answer == QMessageBox::No) {
            QCOMPARE(_module->operations, QList<int>());
            QVERIFY(_widget->isChanged());
            QVERIFY(!_widget->isEditBlocked());
            QVERIFY(child<QRadioButton>(on)->isChecked());
        } else {
            QCOMPARE(_module->operations, QList<int> {UpdateOperation});
            QCOMPARE(on.contains(QLatin1String("Elf")) ? _module->elfMode : _module->xattrMode,
                     int(On));
        }
    }

    void exportWithoutCheckedButtonIsInvalid()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsFile("5", "", "1", "1")));
        read();
        QCOMPARE(checkedButtons(), QStringList());
        std::unique_ptr<ElementData> data(_widget->exportElementData());
        const auto* settings = dynamic_cast<const DigSigElementData*>(data.get());
        QVERIFY(settings);
        QCOMPARE(settings->elfMode(), int(Invalid));
        QCOMPARE(settings->xattrMode(), int(Invalid));
        QVERIFY(settings->ignoreXattrKeys());
        QVERIFY(settings->ignoreGost2001());
        QCOMPARE(settings->xattrControl(), QStringLiteral("//bin/dash\n/usr/"));
    }

    // The flags the widget does not edit, and the fingerprints, are those of the read it shows:
    // a fresh read at export time would take in a change the administrator never saw.
    void exportCarriesWhatWasRead()
    {
        const QByteArray settings = settingsFile("0", "0", "1", "0");
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settings));
        read();
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsFile("0", "0", "0", "1")));
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "/opt/\n"));
        _widget->blockEditWidget(false);

        std::unique_ptr<ElementData> data(_widget->exportElementData());
        auto* exported = dynamic_cast<const DigSigElementData*>(data.get());
        QVERIFY(exported->ignoreXattrKeys());
        QVERIFY(!exported->ignoreGost2001());
        QCOMPARE(exported->settingsFingerprint(), AtomicFile::fingerprint(settings));
        QCOMPARE(exported->xattrControlFingerprint(), AtomicFile::fingerprint("//bin/dash\n/usr/"));
        QVERIFY(exported->keepXattrControl());

        child<QTextEdit>("_xattrControlFileTextEdit")->setPlainText(QStringLiteral("/srv/"));
        data.reset(_widget->exportElementData());
        QVERIFY(!dynamic_cast<const DigSigElementData*>(data.get())->keepXattrControl());
    }

    void controlFileTheEditorCannotShow_data()
    {
        QTest::addColumn<QByteArray>("control");
        QTest::addColumn<bool>("editable");
        QTest::newRow("UTF-8 text") << QByteArray("/opt/\xd0\xbf/\n") << true;
        QTest::newRow("looks like rich text") << QByteArray("<b>/usr/</b>\n") << true;
        QTest::newRow("not UTF-8") << QByteArray("/caf\xe9/\n") << false;
        QTest::newRow("NUL byte") << QByteArray("/a\0b/\n", 6) << false;
        QTest::newRow("carriage return") << QByteArray("/usr/\r\n") << false;
        QTest::newRow("no-break space") << QByteArray("/my\xc2\xa0"
                                                      "dir/\n")
                                        << false;
    }

    // What the editor cannot hand back unchanged is shown read-only, said so beside it, and
    // left alone by the update.
    void controlFileTheEditorCannotShow()
    {
        QFETCH(QByteArray, control);
        QFETCH(bool, editable);
        QVERIFY(TestSupport::writeFile(sandboxed(controlPath), control));
        read();
        _widget->blockEditWidget(false);
        auto* edit = child<QTextEdit>("_xattrControlFileTextEdit");
        auto* notice = child<QLabel>("_xattrControlNoticeLabel");
        QCOMPARE(edit->isReadOnly(), !editable);
        QCOMPARE(notice->isHidden(), editable);
        if (editable)
            QCOMPARE(edit->toPlainText().toUtf8(), control);
        child<QRadioButton>("_debugElfRadioButton")->click();
        std::unique_ptr<ElementData> data(_widget->exportElementData());
        QVERIFY(dynamic_cast<const DigSigElementData*>(data.get())->keepXattrControl());
    }

    void refreshAfterChangeOnDisk_data()
    {
        QTest::addColumn<bool>("changeOnDisk");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QList<int>>("operations");
        QTest::addColumn<bool>("outOfDate");
        QTest::newRow("nothing changed") << false << true << QList<int>() << false;
        QTest::newRow("changed, no edit: re-read")
            << true << false << QList<int> {ReadOperation} << false;
        QTest::newRow("changed under an edit: out of date") << true << true << QList<int>() << true;
    }

    // After a signing run merged into the control file, the widget must not keep (and later
    // save) the text from before.
    void refreshAfterChangeOnDisk()
    {
        QFETCH(bool, changeOnDisk);
        QFETCH(bool, edited);
        QFETCH(QList<int>, operations);
        QFETCH(bool, outOfDate);
        read();
        if (edited) {
            _widget->blockEditWidget(false);
            child<QTextEdit>("_xattrControlFileTextEdit")->setPlainText(QStringLiteral("/srv/"));
        }
        if (changeOnDisk)
            QVERIFY(TestSupport::writeFile(sandboxed(controlPath), "//bin/dash\n/opt/\n/usr/"));

        _widget->refreshIfChangedOnDisk();
        QCOMPARE(_module->operations, operations);
        auto* label = child<QLabel>("_outOfDateLabel");
        QCOMPARE(label->isHidden(), !outOfDate);
        if (outOfDate)
            QVERIFY(label->text().contains(controlPath));
        read();
        QVERIFY(label->isHidden());
    }

    void resetClearsWithoutSignals()
    {
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath), settingsFile("1", "2")));
        read();
        QCOMPARE(checkedButtons().size(), 2);
        QList<QSignalSpy*> spies;
        for (const QString& name : radioNames)
            spies << new QSignalSpy(child<QRadioButton>(name), &QAbstractButton::toggled);
        spies << new QSignalSpy(child<QTextEdit>("_xattrControlFileTextEdit"),
                                &QTextEdit::textChanged);

        _widget->reset();
        QCOMPARE(checkedButtons(), QStringList());
        QVERIFY(child<QTextEdit>("_xattrControlFileTextEdit")->toPlainText().isEmpty());
        QVERIFY(!_widget->isChanged());
        for (QSignalSpy* spy : qAsConst(spies))
            QCOMPARE(spy->count(), 0);
        qDeleteAll(spies);

        // The groups are exclusive again.
        _widget->blockEditWidget(false);
        TestSupport::BoxAnswerer answerer(QMessageBox::Ok);
        child<QRadioButton>("_onElfRadioButton")->click();
        child<QRadioButton>("_offElfRadioButton")->click();
        QCOMPARE(checkedButtons(), QStringList {"_offElfRadioButton"});
    }

    void rebootOnYes_data()
    {
        QTest::addColumn<QByteArray>("userId");
        QTest::addColumn<QString>("runtimeDir");
        QTest::newRow("SUDO_UID set") << QByteArray("1234") << QStringLiteral("/run/user/1234");
        QTest::newRow("SUDO_UID unset") << QByteArray() << QStringLiteral("/run/user/");
    }

    void rebootOnYes()
    {
        QFETCH(QByteArray, userId);
        QFETCH(QString, runtimeDir);
        if (userId.isEmpty())
            qunsetenv("SUDO_UID");
        else
            qputenv("SUDO_UID", userId);
        qputenv("XDG_RUNTIME_DIR", "/run/user/0");
        qputenv("DIGSIG_WMFUNC_PROBE", "DIGSIG_PROBE_VALUE");
        qputenv("DIGSIG_PROBE_VALUE", "passed through");
        TestSupport::ProcessWarningCounter processWarnings;
        TestSupport::BoxAnswerer answerer(QMessageBox::Yes);

        _widget->afterSuccessfulUpdate();
        QCOMPARE(answerer.boxes.size(), 1);
        QCOMPARE(answerer.boxes.at(0).title, QStringLiteral("Reboot system"));
        QCOMPARE(answerer.boxes.at(0).text,
                 QStringLiteral("To apply settings need reboot system.\nReboot now?"));
        QCOMPARE(answerer.boxes.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(answerer.boxes.at(0).icon, QMessageBox::Question);

        const QStringList log = TestSupport::readLog(_logPath);
        QCOMPARE(log.size(), 5);
        QCOMPARE(log.at(1), QStringLiteral("kiro-wmfunc argv KIROWM_REBOOT"));
        QCOMPARE(log.at(2), QStringLiteral("kiro-wmfunc env XDG_RUNTIME_DIR=") + runtimeDir);
        QCOMPARE(log.at(3), QStringLiteral("kiro-wmfunc env DIGSIG_PROBE_VALUE=passed through"));
        QVERIFY(log.at(4).endsWith(QLatin1String("exit 0")));
        QCOMPARE(processWarnings.count(), 0);
    }

    // Enter answers each question the way that changes nothing.
    void hardToUndoQuestionsDefaultToNo_data()
    {
        QTest::addColumn<QString>("on");
        QTest::newRow("reboot") << QString();
        QTest::newRow("apply with ELF On") << QStringLiteral("_onElfRadioButton");
        QTest::newRow("apply with xattr On") << QStringLiteral("_onXattrRadioButton");
    }

    void hardToUndoQuestionsDefaultToNo()
    {
        QFETCH(QString, on);
        TestSupport::BoxAnswerer enter(QMessageBox::NoButton);
        if (on.isEmpty()) {
            _widget->afterSuccessfulUpdate();
        } else {
            read();
            _widget->blockEditWidget(false);
            child<QRadioButton>(on)->click();
            _widget->applyContentChanges();
        }
        QVERIFY(!enter.boxes.isEmpty());
        QCOMPARE(enter.boxes.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(enter.boxes.last().clicked, QMessageBox::No);
        QVERIFY(!QFile::exists(_logPath));
        QCOMPARE(_module->operations, QList<int>());
    }

    void missingModesRefuseApply_data()
    {
        QTest::addColumn<QByteArray>("elf");
        QTest::addColumn<QByteArray>("xattr");
        QTest::addColumn<QStringList>("choose");
        QTest::addColumn<QString>("notice");
        const QString both = QStringLiteral(
            "No mode is chosen for executable files and for extended attributes. Choose Off, "
            "Debug or On in each group before applying.");
        QTest::newRow("ELF invalid")
            << QByteArray("7") << QByteArray("0") << QStringList {"_offElfRadioButton"}
            << QStringLiteral("No mode is chosen for executable files. Choose Off, Debug or On "
                              "before applying.");
        QTest::newRow("xattr unset")
            << QByteArray("2") << QByteArray("") << QStringList {"_debugXattrRadioButton"}
            << QStringLiteral("No mode is chosen for extended attributes. Choose Off, Debug or "
                              "On before applying.");
        QTest::newRow("both invalid")
            << QByteArray("x") << QByteArray("3")
            << QStringList {"_offElfRadioButton", "_offXattrRadioButton"} << both;
    }

    void missingModesRefuseApply()
    {
        QFETCH(QByteArray, elf);
        QFETCH(QByteArray, xattr);
        QFETCH(QStringList, choose);
        QFETCH(QString, notice);
        QVERIFY(TestSupport::writeFile(sandboxed(settingsPath),
                                       settingsFile(elf.constData(), xattr.constData())));
        read();
        auto* area = child<MessageArea>("_modeMessageArea");
        QVERIFY(!area->isHidden());
        QCOMPARE(area->type(), MessageArea::Warning);
        QCOMPARE(area->text(), notice);

        _widget->blockEditWidget(false);
        child<QTextEdit>("_xattrControlFileTextEdit")->setPlainText(QStringLiteral("/srv/"));
        _widget->applyContentChanges();
        QCOMPARE(_module->operations, QList<int>());
        QCOMPARE(area->type(), MessageArea::Error);
        QVERIFY(_widget->isChanged());

        for (const QString& name : choose)
            child<QRadioButton>(name)->click();
        QVERIFY(area->isHidden());
        _widget->applyContentChanges();
        QCOMPARE(_module->operations, QList<int> {UpdateOperation});
        QVERIFY(_module->elfMode != Invalid && _module->xattrMode != Invalid);
    }

    void templatesThatNameNoFileAreNamedBeforeApply_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::addColumn<int>("answer");
        QTest::newRow("absolute only")
            << QStringLiteral("//bin/dash\n /usr/ \n\n") << QString() << int(QMessageBox::No);
        QTest::newRow("two odd lines, No")
            << QStringLiteral("usr/\n//bin/sh\n  bin/dash  \n") << QStringLiteral("usr/\nbin/dash")
            << int(QMessageBox::No);
        QTest::newRow("odd line, Yes")
            << QStringLiteral("~/bin/") << QStringLiteral("~/bin/") << int(QMessageBox::Yes);
        QStringList many;
        for (int i = 0; i < 12; ++i)
            many << QStringLiteral("line%1").arg(i);
        QTest::newRow("twelve odd lines")
            << many.join(QLatin1Char('\n'))
            << QStringList(many.mid(0, 10)).join(QLatin1Char('\n')) + QStringLiteral("\nand 2 more")
            << int(QMessageBox::No);
    }

    void templatesThatNameNoFileAreNamedBeforeApply()
    {
        QFETCH(QString, text);
        QFETCH(QString, named);
        QFETCH(int, answer);
        read();
        _widget->blockEditWidget(false);
        child<QTextEdit>("_xattrControlFileTextEdit")->setPlainText(text);
        TestSupport::BoxAnswerer answerer {QMessageBox::StandardButton(answer)};
        _widget->applyContentChanges();
        if (named.isEmpty()) {
            QCOMPARE(answerer.boxes.size(), 0);
        } else {
            QCOMPARE(answerer.boxes.size(), 1);
            QCOMPARE(answerer.boxes.first().title, QStringLiteral("Templates that name no file"));
            QCOMPARE(answerer.boxes.first().text,
                     QStringLiteral("These lines of /etc/digsig/xattr_control are not absolute "
                                    "paths, so they name no file:\n\n%1\n\nApply anyway?")
                         .arg(named));
            QCOMPARE(answerer.boxes.first().icon, QMessageBox::Warning);
        }
        const bool applied = named.isEmpty() || answer == QMessageBox::Yes;
        QCOMPARE(_module->operations, applied ? QList<int> {UpdateOperation} : QList<int>());
    }

    void noRebootOnNo()
    {
        qputenv("SUDO_UID", "1234");
        TestSupport::BoxAnswerer answerer(QMessageBox::No);
        _widget->afterSuccessfulUpdate();
        QCOMPARE(answerer.boxes.size(), 1);
        QVERIFY(!QFile::exists(_logPath));
    }

    void checkExecutables_data()
    {
        QTest::addColumn<bool>("signTool");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("message");
        QTest::newRow("unsigned") << false << false << int(MessageArea::Warning)
                                  << "ELF files without a good signature: 1 of 1; under ELF "
                                     "verification On they would not run:\n/usr/sbin/tool";
        QTest::newRow("signed") << true << false << int(MessageArea::Information)
                                << "ELF files checked: 1, all with a good signature.";
        QTest::newRow("cancelled") << false << true << int(MessageArea::Information)
                                   << "The check of the executables was cancelled.";
    }

    // The check offered next to On: progress with Cancel, then the findings inline.
    void checkExecutables()
    {
        QFETCH(bool, signTool);
        QFETCH(bool, cancel);
        QFETCH(int, type);
        QFETCH(QString, message);
        BsignStandIn::Session session;
        BsignStandIn::ScopedEnv hold("DIGSIG_BSIGN_WAIT_FOR", session.gatePath().toUtf8());
        QVERIFY(TestSupport::writeFile(sandboxed("/usr/sbin/tool"), BsignStandIn::elfBytes()));
        if (!cancel)
            session.openGate();
        if (signTool)
            QCOMPARE(BsignStandIn::sign(sandboxed("/usr/sbin/tool"), "--elf-only"), 0);
        read();
        _widget->blockEditWidget(false);
        child<QPushButton>("_checkExecutablesPushButton")->click();
        auto* progress = _widget->findChild<QProgressDialog*>();
        QVERIFY(progress && progress->isVisible());
        if (cancel) {
            QTRY_COMPARE_WITH_TIMEOUT(session.started().size(), 1, 30000);
            progress->findChild<QPushButton*>()->click();
        }
        auto* findings = child<MessageArea>("_checkMessageArea");
        QTRY_VERIFY_WITH_TIMEOUT(!findings->isHidden(), 30000);
        QCOMPARE(int(findings->type()), type);
        QCOMPARE(findings->text(), message);
        QTRY_VERIFY(!_widget->findChild<QProgressDialog*>());
        QVERIFY(!_widget->isChanged());
        session.openGate();
    }

private:
    void read()
    {
        ElementData data;
        _widget->afterSuccessfulRead(_element, &data);
    }

    template<typename T> T* child(const QString& name) const
    {
        auto* found = _widget->findChild<T*>(name);
        if (!found)
            qFatal("no child %s", qPrintable(name));
        return found;
    }

    template<typename T> T* child(const char* name) const
    {
        return child<T>(QString::fromLatin1(name));
    }

    QGridLayout* grid(QWidget* owner, const char* name) const
    {
        auto* layout = qobject_cast<QGridLayout*>(owner->layout());
        if (!layout || layout->objectName() != QLatin1String(name))
            qFatal("no grid layout %s", name);
        return layout;
    }

    static QVector<int> position(QGridLayout* layout, QWidget* widget)
    {
        int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
        const int index = layout->indexOf(widget);
        if (index >= 0)
            layout->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        return {row, column, rowSpan, columnSpan};
    }

    void checkRadio(QGridLayout* layout, const char* name, int row, const char* text,
                    const QString& toolTip) const
    {
        auto* button = child<QRadioButton>(name);
        QCOMPARE(position(layout, button), QVector<int>({row, 0, 1, 1}));
        QCOMPARE(button->text(), QString::fromLatin1(text));
        QCOMPARE(button->toolTip(), toolTip);
    }

    void checkGroup(const char* name, const QStringList& buttons) const
    {
        auto* group = child<QButtonGroup>(name);
        QCOMPARE(group->parent(), static_cast<QObject*>(_widget));
        QVERIFY(group->exclusive());
        QStringList names;
        for (QAbstractButton* button : group->buttons())
            names << button->objectName();
        QCOMPARE(names, buttons);
    }

    QStringList checkedButtons() const
    {
        QStringList names;
        for (const QString& name : radioNames) {
            if (child<QRadioButton>(name)->isChecked())
                names << name;
        }
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return radioNames.indexOf(a) % 3 + radioNames.indexOf(a) / 3 * 10
                < radioNames.indexOf(b) % 3 + radioNames.indexOf(b) / 3 * 10;
        });
        return names;
    }

    QTemporaryDir _scratch;
    QString _logPath;
    CapturingModule* _module = nullptr;
    DigSigElement* _element = nullptr;
    DigSigElementWidget* _widget = nullptr;
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigElementWidgetTest)
#include "digsigelementwidgettest.moc"
