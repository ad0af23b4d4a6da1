#include "digsigelementwidget.h"
#include "atomicfile.h"
#include "bsignstandin.h"
#include "digsigconstants.h"
#include "digsigelement.h"
#include "digsigelementdata.h"
#include "messagearea.h"
#include "module.h"
#include "testsupport.h"

#include <QtWidgets>

using TestSupport::ModalDriver;

namespace {

QByteArray settingsFile(const char* elf, const char* xattr, const char* keys = "1",
                        const char* gost = "0")
{
    return QByteArray("DIGSIG_ELF_MODE=") + elf + "\nDIGSIG_XATTR_MODE=" + xattr
        + "\nDIGSIG_IGNORE_XATTR_KEYS=" + keys + "\nDIGSIG_IGNORE_GOST2001=" + gost + "\n";
}

bool writeFiles(const QByteArray& control, const QByteArray& settings = settingsFile("0", "0"))
{
    return TestSupport::writeFile(TestSupport::sandboxPath(DigSig::controlFilePath()), control)
        && TestSupport::writeFile(TestSupport::sandboxPath(DigSig::settingsFilePath()), settings);
}

struct Row
{
    const char* elf;
    const char* xattr;
    QByteArray control;
    QVariantList shown; // the modes read
    QString missing; // the part of the notice that names the groups without a mode
    bool editable;
    QStringList clicks;
    QString text;
    QStringList boxes;
    bool applied;
    QVariantList saved; // the modes in the record
};

Row row(const char* elf, const char* xattr, const QByteArray& control, const QVariantList& shown,
        const QString& missing, bool editable, const QStringList& clicks, const QString& text,
        const QStringList& boxes, bool applied, const QVariantList& saved)
{
    return {elf, xattr, control, shown, missing, editable, clicks, text, boxes, applied, saved};
}

} // namespace

Q_DECLARE_METATYPE(Row)

class DigSigElementWidgetTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString helper = TestSupport::sandboxPath(QStringLiteral("/usr/bin/kiro-wmfunc"));
        QVERIFY(QDir().mkpath(QFileInfo(helper).path()));
        QVERIFY(QFile::copy(qEnvironmentVariable("DIGSIG_TOOLS_DIR") + "/kiro-wmfunc", helper));
        qputenv("DIGSIG_WMFUNC_LOG", _logPath.toUtf8());
        qputenv("SUDO_UID", "1234");
        qputenv("XDG_RUNTIME_DIR", "/run/user/0");
    }

    void init()
    {
        QVERIFY(writeFiles("//bin/dash\n/usr/"));
        QFile::remove(_logPath);
        _module = new Module(QStringLiteral("TestModule"), nullptr, false);
        _element = new DigSigElement(*_module, Module::isAdministratorHierarchy);
        _module->elements().append(_element);
        _widget = new DigSigElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
        _module->insertElementWidget(_widget);
        _module->connectElementWidgets();
    }

    void cleanup() { delete _module; }

    void form_data()
    {
        QTest::addColumn<Row>("row");
        const QString on = "Warning|All unsigned files can not be started after reboot system.";
        const QString apply = on
            + "\nIt is advisable to first check the system in debug mode.\nAre you sure want "
              "apply this settings?";
        const QString odd = "Templates that name no file|These lines of "
            + DigSig::controlFilePath()
            + " are not absolute paths, so they name no file:\n\n%1\n\nApply anyway?";
        const QString twelve = QStringLiteral("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nl");
        QTest::newRow("debug and on, UTF-8, twelve odd templates: Yes")
            << row("2", "1", "/opt/\xd0\xbf/\n", {Debug, On}, "", true, {}, twelve,
                   {odd.arg(twelve.left(19) + "\nand 2 more"), apply}, true, {Debug, On});
        QTest::newRow("looks like rich text: On again, Off, On, Enter")
            << row("1", "0", "/usr/<b>/\n", {On, Off}, "", true, {"onElf", "offElf", "onElf"}, "",
                   {on, apply}, false, {On, Off});
        QTest::newRow("ELF invalid, not UTF-8: refused")
            << row("7", "2", "/caf\xe9/\n", {Invalid, Debug}, "for executable files.", false, {},
                   "", {}, false, {Invalid, Debug});
        QTest::newRow("extended attributes unset, no-break space: Off chosen")
            << row("0", "", "/my\xc2\xa0/\n", {Off, Invalid}, "for extended attributes.", false,
                   {"offXattr"}, "", {}, true, {Off, Off});
        QTest::newRow("both invalid, NUL byte: Off and On chosen")
            << row("x", "3", QByteArray("/a\0b/\n", 6), {Invalid, Invalid},
                   "for executable files and for extended attributes.", false,
                   {"offElf", "onXattr"}, "", {on, apply}, true, {Off, On});
        QTest::newRow("odd templates, Enter")
            << row("0", "0", "/usr/\n", {Off, Off}, "", true, {}, "usr/\n//bin/sh\n  bin/dash  \n",
                   {odd.arg("usr/\nbin/dash")}, false, {Off, Off});
    }

    // A read replaces what an earlier one showed and asks nothing. A group without a mode is
    // named and refuses Apply until chosen; a control file the editor cannot hand back
    // unchanged stays read-only and is kept as it is. What is hard to undo asks first: On
    // warns when chosen and again before Apply, templates that name no file are named; Enter
    // answers the way that changes nothing, also to the question whether to reboot. Reset empties
    // the form.
    void form()
    {
        QFETCH(Row, row);
        QSignalSpy performed(_module, &Module::operationPerformed);
        DigSigElement other(*_module, Module::isAdministratorHierarchy);
        ElementData data;
        _widget->afterSuccessfulRead(&other, &data);
        QVERIFY(!_widget->isEditBlocked());
        QVERIFY(writeFiles("/usr/\n", settingsFile("1", "1")));
        // What is not to be applied gets Enter.
        ModalDriver driver(row.applied ? ModalDriver::agree()
                                       : ModalDriver::answer(QMessageBox::NoButton));
        _widget->afterSuccessfulRead(_element, &data);
        const QByteArray settings = settingsFile(row.elf, row.xattr);
        QVERIFY(writeFiles(row.control, settings));
        _widget->afterSuccessfulRead(_element, &data);
        // Only what was read counts: a change on disk since must not slip into the record.
        QVERIFY(writeFiles("/opt/\n", settingsFile(row.elf, row.xattr, "0", "1")));
        QCOMPARE(record().mid(0, 2), row.shown);
        QVERIFY(!_widget->isChanged() && _widget->isEditBlocked());
        auto* area = _widget->findChild<MessageArea*>("_modeMessageArea");
        QCOMPARE(area->isHidden(), row.missing.isEmpty());
        QVERIFY(area->isHidden() || area->text().startsWith("No mode is chosen " + row.missing));
        _widget->blockEditWidget(false);
        auto* edit = _widget->findChild<QTextEdit*>();
        QCOMPARE(edit->isReadOnly(), !row.editable);
        QCOMPARE(_widget->findChild<QLabel*>("_xattrControlNoticeLabel")->isHidden(), row.editable);
        QVERIFY(!row.editable || edit->toPlainText().toUtf8() == row.control);

        for (const QString& name : qAsConst(row.clicks))
            click(name);
        if (!row.text.isEmpty())
            edit->setPlainText(row.text);
        _widget->applyContentChanges();
        QCOMPARE(performed.size(), int(row.applied));
        QVERIFY(!row.applied || performed.first().at(1) == int(UpdateOperation));
        const bool refused = row.boxes.isEmpty() && !row.applied;
        QCOMPARE(area->isHidden(), !refused);
        QVERIFY(!refused || area->type() == MessageArea::Error);
        const QVariantList saved = record();
        QCOMPARE(saved.mid(0, 5), row.saved + (QVariantList {true, false, row.text.isEmpty()}));
        QVERIFY(row.text.isEmpty() || saved.at(5) == row.text);
        QCOMPARE(saved.mid(6),
                 QVariantList() << AtomicFile::fingerprint(settings)
                                << AtomicFile::fingerprint(row.control));

        // The question after an update: Yes reboots through the desktop's helper in the session
        // of the administrator who ran sudo.
        TestSupport::ProcessWarningCounter processWarnings;
        _widget->afterSuccessfulUpdate();
        QStringList boxes;
        for (const ModalDriver::Box& box : driver.boxes())
            boxes << box.title + '|' + box.text;
        QCOMPARE(boxes,
                 row.boxes << "Reboot system|To apply settings need reboot system.\nReboot now?");
        QCOMPARE(TestSupport::readLog(_logPath).mid(1, 2),
                 row.applied ? QStringList({"kiro-wmfunc argv KIROWM_REBOOT",
                                            "kiro-wmfunc env XDG_RUNTIME_DIR=/run/user/1234"})
                             : QStringList());
        QCOMPARE(processWarnings.count(), 0);

        _widget->reset();
        QVERIFY(edit->toPlainText().isEmpty() && area->isHidden() && !_widget->isChanged());
        click("debugElf");
        click("offElf");
        QCOMPARE(record().mid(0, 2), (QVariantList {Off, Invalid}));
    }

    void checkExecutables_data()
    {
        QTest::addColumn<QString>("message"); // names the case: unsigned, signed or cancelled
        QTest::newRow("unsigned") << "ELF files without a good signature: 1 of 1; under ELF "
                                     "verification On they would not run:\n/usr/sbin/tool";
        QTest::newRow("signed") << "ELF files checked: 1, all with a good signature.";
        QTest::newRow("cancelled") << "The check of the executables was cancelled.";
    }

    // The check offered next to On: progress with Cancel, then the findings inline. Cancel is
    // pressed while the tool is held at the gate, so that the check cannot end before it.
    void checkExecutables()
    {
        QFETCH(QString, message);
        const bool cancel = message.endsWith("cancelled.");
        BsignStandIn::Session session;
        TestSupport::ScopedEnv hold("DIGSIG_BSIGN_WAIT_FOR", session.gatePath().toUtf8());
        const QString tool = TestSupport::sandboxPath(QStringLiteral("/usr/sbin/tool"));
        QVERIFY(TestSupport::writeElf(tool));
        if (!cancel)
            session.openGate();
        if (message.contains("all with a good signature"))
            QCOMPARE(BsignStandIn::sign(tool, "--elf-only"), 0);
        ElementData data;
        _widget->afterSuccessfulRead(_element, &data);
        _widget->blockEditWidget(false);
        click("_checkExecutablesPushButton");
        auto* progress = _widget->findChild<QProgressDialog*>();
        QVERIFY(progress && progress->isVisible());
        if (cancel) {
            QTRY_COMPARE_WITH_TIMEOUT(session.started().size(), 1, 30000);
            ModalDriver::press(progress->findChild<QPushButton*>());
        }
        auto* findings = _widget->findChild<MessageArea*>("_checkMessageArea");
        QTRY_VERIFY_WITH_TIMEOUT(!findings->isHidden(), 30000);
        QCOMPARE(findings->type() == MessageArea::Warning, message.contains("without"));
        QCOMPARE(findings->text(), message);
        QTRY_VERIFY(!_widget->findChild<QProgressDialog*>());
        session.openGate();
    }

private:
    // What Apply would save: the modes, the kept flags, whether the control file is kept, its
    // text and the fingerprints of the files as they were read.
    QVariantList record() const
    {
        std::unique_ptr<DigSigElementData> r(
            static_cast<DigSigElementData*>(_widget->exportElementData()));
        return QVariantList() << r->elfMode() << r->xattrMode() << r->ignoreXattrKeys()
                              << r->ignoreGost2001() << r->keepXattrControl() << r->xattrControl()
                              << r->settingsFingerprint() << r->xattrControlFingerprint();
    }

    // A radio button by its short name ("onElf") or any button by its object name. A locked
    // form fails here rather than leave the test waiting for what the click would do.
    void click(const QString& name) const
    {
        auto* button = _widget->findChild<QAbstractButton*>(
            name.startsWith('_') ? name : '_' + name + "RadioButton");
        QVERIFY2(button && button->isEnabled(), qPrintable(name));
        button->click();
    }

    QTemporaryDir _scratch;
    const QString _logPath = _scratch.filePath(QStringLiteral("wmfunc.log"));
    Module* _module = nullptr;
    DigSigElement* _element = nullptr;
    DigSigElementWidget* _widget = nullptr;
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigElementWidgetTest)
#include "digsigelementwidgettest.moc"
