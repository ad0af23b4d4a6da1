#include "digsigelementwidget.h"
#include "atomicfile.h"
#include "bsignstandin.h"
#include "digsigelement.h"
#include "digsigelementdata.h"
#include "messagearea.h"
#include "module.h"
#include "testsupport.h"

#include <QtWidgets>

using TestSupport::ModalDriver;

namespace {

const QString settingsPath = QStringLiteral("/etc/digsig/digsig_initramfs.conf");
const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");

QByteArray settingsFile(const char* elf, const char* xattr, const char* keys = "1",
                        const char* gost = "0")
{
    return QByteArray("DIGSIG_ELF_MODE=") + elf + "\nDIGSIG_XATTR_MODE=" + xattr
        + "\nDIGSIG_IGNORE_XATTR_KEYS=" + keys + "\nDIGSIG_IGNORE_GOST2001=" + gost + "\n";
}

bool writeSystemFile(const QString& path, const QByteArray& bytes)
{
    return TestSupport::writeFile(TestSupport::sandboxPath(path), bytes);
}

QStringList words(const char* text)
{
    return QString::fromLatin1(text).split(' ', Qt::SkipEmptyParts);
}

// Every box gets the answer when it has that button, else OK; NoButton presses Enter.
ModalDriver::Handler answerAll(QMessageBox::StandardButton answer)
{
    return [answer](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && answer != QMessageBox::NoButton && !box->button(answer))
            return ModalDriver::press(box, QMessageBox::Ok);
        return ModalDriver::answer(answer)(modal);
    };
}

struct Row
{
    const char* elf;
    const char* xattr;
    QByteArray control;
    QStringList checked; // "debugElf" stands for _debugElfRadioButton
    QString missing; // the part of the notice that names the groups without a mode
    bool editable;
    QStringList clicks;
    QString text;
    QMessageBox::StandardButton answer;
    QStringList boxes; // title|text
    bool applied;
    int elfMode; // in the record
    int xattrMode;
};

template<typename... Fields> Row row(Fields&&... fields)
{
    return Row {std::forward<Fields>(fields)...};
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
    }

    void init()
    {
        QVERIFY(writeSystemFile(settingsPath, settingsFile("0", "0")));
        QVERIFY(writeSystemFile(controlPath, "//bin/dash\n/usr/"));
        QFile::remove(_logPath);
        _module = new Module(QStringLiteral("TestModule"), nullptr, false);
        _element = new DigSigElement(*_module, Module::isAdministratorHierarchy);
        _module->elements().append(_element);
        _widget = new DigSigElementWidget(*_module, Module::isAdministratorHierarchy, nullptr);
        _module->insertElementWidget(_widget);
        _module->connectElementWidgets();
        _performed.reset(new QSignalSpy(_module, &Module::operationPerformed));
    }

    void cleanup() { delete _module; }

    void form_data()
    {
        QTest::addColumn<Row>("row");
        const QString on = "Warning|All unsigned files can not be started after reboot system.";
        const QString apply = on
            + "\nIt is advisable to first check the system in debug mode.\nAre you sure want "
              "apply this settings?";
        const QString odd = "Templates that name no file|These lines of " + controlPath
            + " are not absolute paths, so they name no file:\n\n%1\n\nApply anyway?";
        const QString twelve = QStringLiteral("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nl");
        const QStringList offOff = words("offElf offXattr");
        const QStringList onApply = QStringList() << on << apply;
        QTest::newRow("debug and on, UTF-8: Yes to On")
            << row("2", "1", "/opt/\xd0\xbf/\n", words("debugElf onXattr"), "", true, QStringList(),
                   "", QMessageBox::Yes, QStringList(apply), true, Debug, On);
        QTest::newRow("looks like rich text: On again, Off, On, Enter")
            << row("1", "0", "/usr/<b>/\n", words("offXattr onElf"), "", true,
                   words("onElf offElf onElf"), "", QMessageBox::NoButton, onApply, false, On, Off);
        QTest::newRow("ELF invalid, not UTF-8: refused")
            << row("7", "2", "/caf\xe9/\n", words("debugXattr"), "for executable files.", false,
                   QStringList(), "", QMessageBox::Yes, QStringList(), false, Invalid, Debug);
        QTest::newRow("extended attributes unset, no-break space: Off chosen")
            << row("0", "", "/my\xc2\xa0/\n", words("offElf"), "for extended attributes.", false,
                   words("offXattr"), "", QMessageBox::Yes, QStringList(), true, Off, Off);
        QTest::newRow("both invalid, NUL byte: Off and On chosen")
            << row("x", "3", QByteArray("/a\0b/\n", 6), QStringList(),
                   "for executable files and for extended attributes.", false,
                   words("offElf onXattr"), "", QMessageBox::Yes, onApply, true, Off, On);
        QTest::newRow("odd templates, No") << row(
            "0", "0", "/usr/\n", offOff, "", true, QStringList(), "usr/\n//bin/sh\n  bin/dash  \n",
            QMessageBox::No, QStringList(odd.arg("usr/\nbin/dash")), false, Off, Off);
        QTest::newRow("twelve odd templates, Yes")
            << row("0", "0", "/usr/\n", offOff, "", true, QStringList(), twelve, QMessageBox::Yes,
                   QStringList(odd.arg(twelve.left(19) + "\nand 2 more")), true, Off, Off);
    }

    // A read replaces what an earlier one showed and asks nothing. A group without a mode is
    // named and refuses Apply until chosen; a control file the editor cannot hand back
    // unchanged stays read-only and is kept as it is. What is hard to undo asks first: On
    // warns when chosen and again before Apply, templates that name no file are named; Enter
    // answers the way that changes nothing. Reset empties the form.
    void form()
    {
        QFETCH(Row, row);
        DigSigElement other(*_module, Module::isAdministratorHierarchy);
        ElementData data;
        _widget->afterSuccessfulRead(&other, &data);
        QVERIFY(checkedButtons().isEmpty() && !_widget->isEditBlocked());
        QVERIFY(writeSystemFile(settingsPath, settingsFile("1", "1")));
        ModalDriver driver(answerAll(row.answer));
        read();
        const QByteArray settings = settingsFile(row.elf, row.xattr);
        QVERIFY(writeSystemFile(settingsPath, settings)
                && writeSystemFile(controlPath, row.control));
        read();
        // Only what was read counts: a change on disk since must not slip into the record.
        QVERIFY(writeSystemFile(settingsPath, settingsFile(row.elf, row.xattr, "0", "1"))
                && writeSystemFile(controlPath, "/opt/\n"));
        QCOMPARE(checkedButtons(), row.checked);
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
        QStringList shown;
        for (const ModalDriver::Box& box : driver.boxes())
            shown << box.title + '|' + box.text;
        QCOMPARE(shown, row.boxes);
        QVERIFY(shown.isEmpty()
                || driver.boxes().last().clicked
                    == (row.applied ? QMessageBox::Yes : QMessageBox::No));
        QCOMPARE(operations(), row.applied ? QList<int> {UpdateOperation} : QList<int>());
        const bool refused = shown.isEmpty() && !row.applied;
        QCOMPARE(area->isHidden(), !refused);
        QVERIFY(!refused || area->type() == MessageArea::Error);
        std::unique_ptr<ElementData> exported(_widget->exportElementData());
        auto* record = static_cast<DigSigElementData*>(exported.get());
        QCOMPARE(QVector<int>({record->elfMode(), record->xattrMode(), record->ignoreXattrKeys(),
                               record->ignoreGost2001(), record->keepXattrControl()}),
                 QVector<int>({row.elfMode, row.xattrMode, 1, 0, row.text.isEmpty()}));
        QVERIFY(row.text.isEmpty() || record->xattrControl() == row.text);
        QCOMPARE(record->settingsFingerprint(), AtomicFile::fingerprint(settings));
        QCOMPARE(record->xattrControlFingerprint(), AtomicFile::fingerprint(row.control));

        _widget->reset();
        QVERIFY(checkedButtons().isEmpty() && edit->toPlainText().isEmpty() && area->isHidden());
        QVERIFY(!_widget->isChanged());
        click("onElf");
        click("offElf");
        QCOMPARE(checkedButtons(), QStringList {"offElf"});
    }

    void rebootQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("userId");
        QTest::addColumn<QString>("runtimeDir");
        QTest::newRow("Yes, SUDO_UID set")
            << int(QMessageBox::Yes) << QByteArray("1234") << QStringLiteral("/run/user/1234");
        QTest::newRow("Yes, SUDO_UID unset")
            << int(QMessageBox::Yes) << QByteArray() << QStringLiteral("/run/user/");
        QTest::newRow("Enter") << int(QMessageBox::NoButton) << QByteArray("1234") << QString();
    }

    // Yes reboots through the desktop's helper in the session of the administrator who ran sudo.
    void rebootQuestion()
    {
        QFETCH(int, answer);
        QFETCH(QByteArray, userId);
        QFETCH(QString, runtimeDir);
        TestSupport::ScopedEnv sudo("SUDO_UID", userId);
        TestSupport::ScopedEnv runtime("XDG_RUNTIME_DIR", "/run/user/0");
        TestSupport::ProcessWarningCounter processWarnings;
        ModalDriver driver {QMessageBox::StandardButton(answer)};
        _widget->afterSuccessfulUpdate();
        QCOMPARE(driver.titles(), QStringList {"Reboot system"});
        QCOMPARE(driver.boxes().first().text,
                 QStringLiteral("To apply settings need reboot system.\nReboot now?"));
        const QStringList log = TestSupport::readLog(_logPath);
        QCOMPARE(log.mid(1, 2),
                 runtimeDir.isEmpty()
                     ? QStringList()
                     : QStringList({"kiro-wmfunc argv KIROWM_REBOOT",
                                    "kiro-wmfunc env XDG_RUNTIME_DIR=" + runtimeDir}));
        QCOMPARE(processWarnings.count(), 0);
    }

    // After a signing run merged into the control file, the widget must not keep (and later
    // save) the text from before: it re-reads, or under an edit says the form is out of date.
    void refreshAfterChangeOnDisk()
    {
        read();
        _widget->changeContent();
        _widget->refreshIfChangedOnDisk();
        auto* label = _widget->findChild<QLabel*>("_outOfDateLabel");
        QVERIFY(label->isHidden());
        QVERIFY(writeSystemFile(controlPath, "//bin/dash\n/opt/\n/usr/"));
        _widget->refreshIfChangedOnDisk();
        QVERIFY(!label->isHidden() && label->text().contains(controlPath));
        QCOMPARE(operations(), QList<int>());
        read();
        QVERIFY(label->isHidden());
        QVERIFY(writeSystemFile(controlPath, "/usr/"));
        _widget->refreshIfChangedOnDisk();
        QCOMPARE(operations(), QList<int> {ReadOperation});
    }

    void checkExecutables_data()
    {
        QTest::addColumn<bool>("signTool");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message");
        QTest::newRow("unsigned") << false << false
                                  << "ELF files without a good signature: 1 of 1; under ELF "
                                     "verification On they would not run:\n/usr/sbin/tool";
        QTest::newRow("signed") << true << false
                                << "ELF files checked: 1, all with a good signature.";
        QTest::newRow("cancelled")
            << false << true << "The check of the executables was cancelled.";
    }

    // The check offered next to On: progress with Cancel, then the findings inline. Cancel is
    // pressed while the tool is held at the gate, so that the check cannot end before it.
    void checkExecutables()
    {
        QFETCH(bool, signTool);
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        BsignStandIn::Session session;
        TestSupport::ScopedEnv hold("DIGSIG_BSIGN_WAIT_FOR", session.gatePath().toUtf8());
        const QString tool = TestSupport::sandboxPath(QStringLiteral("/usr/sbin/tool"));
        QVERIFY(TestSupport::writeElf(tool));
        if (!cancel)
            session.openGate();
        if (signTool)
            QCOMPARE(BsignStandIn::sign(tool, "--elf-only"), 0);
        read();
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
        QCOMPARE(findings->type(),
                 message.startsWith("ELF files without") ? MessageArea::Warning
                                                         : MessageArea::Information);
        QCOMPARE(findings->text(), message);
        QTRY_VERIFY(!_widget->findChild<QProgressDialog*>());
        session.openGate();
    }

private:
    void read()
    {
        ElementData data;
        _widget->afterSuccessfulRead(_element, &data);
    }

    QList<int> operations() const
    {
        QList<int> types;
        for (const QList<QVariant>& call : qAsConst(*_performed))
            types << call.at(1).toInt();
        return types;
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

    QStringList checkedButtons() const
    {
        QStringList names;
        for (auto* button : _widget->findChildren<QRadioButton*>()) {
            if (button->isChecked())
                names << button->objectName().mid(1).chopped(int(strlen("RadioButton")));
        }
        names.sort();
        return names;
    }

    QTemporaryDir _scratch;
    const QString _logPath = _scratch.filePath(QStringLiteral("wmfunc.log"));
    Module* _module = nullptr;
    DigSigElement* _element = nullptr;
    DigSigElementWidget* _widget = nullptr;
    std::unique_ptr<QSignalSpy> _performed;
};

DIGSIG_SANDBOX_TEST_MAIN(DigSigElementWidgetTest)
#include "digsigelementwidgettest.moc"
