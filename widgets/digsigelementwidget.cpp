#include "digsigelementwidget.h"
#include "ui_digsigelementwidget.h"

#include "digsigconfigmanager.h"
#include "digsigconstants.h"
#include "digsigelementdata.h"
#include "digsigsettings.h"
#include "element.h"
#include "messagearea.h"
#include "shortlist.h"
#include "signatureaudit.h"
#include "sysroot.h"
#include "xattrcontrolfile.h"

#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressDialog>

#include <cstdlib>

namespace {

constexpr int rebootHelperWaitMsecs = 30000;

} // namespace

DigSigElementWidget::DigSigElementWidget(Module& module, bool (*permission)(Module const&),
                                         QWidget* parent)
    : ViewEditElementWidget(module, permission, parent)
    , ui(new Ui::DigSigElementWidget)
    , _ignoreXattrKeys(false)
    , _ignoreGost2001(false)
    , _xattrControlEditable(true)
{
    _elementType = QStringLiteral("DigSig");
    _targetElementType = _elementType;
    ui->setupUi(this);

    _radioButtons << ui->_onElfRadioButton << ui->_offElfRadioButton << ui->_debugElfRadioButton
                  << ui->_onXattrRadioButton << ui->_offXattrRadioButton
                  << ui->_debugXattrRadioButton;
    _buttonGroups << ui->_elfButtonControlGroup << ui->_xattrButtonControlGroup;
    _textEdits << ui->_xattrControlFileTextEdit;

    for (QTextEdit* edit : qAsConst(_textEdits))
        connect(edit, &QTextEdit::textChanged, this, &ViewEditElementWidget::changeContent);
    for (QAbstractButton* button : qAsConst(_radioButtons))
        connect(button, &QAbstractButton::toggled, this, &ViewEditElementWidget::changeContent);
    for (QAbstractButton* button : {ui->_onElfRadioButton, ui->_onXattrRadioButton}) {
        connect(button, &QAbstractButton::toggled, button,
                [this](bool checked) { warnAboutOn(checked); });
    }
    // The notice names what is still missing; it stays until both groups have a mode.
    ui->_modeMessageArea->setCloseButtonVisible(false);
    for (QButtonGroup* group : qAsConst(_buttonGroups)) {
        connect(group, qOverload<QAbstractButton*>(&QButtonGroup::buttonClicked), this, [this] {
            if (!ui->_modeMessageArea->isHidden())
                showMissingModes(ui->_modeMessageArea->type() == MessageArea::Error);
        });
    }
    connect(ui->_checkExecutablesPushButton, &QAbstractButton::clicked, this,
            &DigSigElementWidget::checkExecutables);
}

DigSigElementWidget::~DigSigElementWidget()
{
    delete _audit;
    delete ui;
}

ElementData* DigSigElementWidget::exportElementData() const
{
    auto* data = new DigSigElementData;
    data->setElfMode(
        checkedMode(ui->_onElfRadioButton, ui->_debugElfRadioButton, ui->_offElfRadioButton));
    data->setXattrMode(
        checkedMode(ui->_onXattrRadioButton, ui->_debugXattrRadioButton, ui->_offXattrRadioButton));
    // Not editable here: saving writes back what the settings file held when it was shown. A
    // fresh read would take in a change the administrator never saw; the fingerprints make the
    // update refuse such a change instead.
    data->setIgnoreGost2001(_ignoreGost2001);
    data->setIgnoreXattrKeys(_ignoreXattrKeys);
    const QString text = ui->_xattrControlFileTextEdit->toPlainText();
    data->setXattrControl(text);
    data->setKeepXattrControl(!_xattrControlEditable || text == _shownXattrControl);
    data->setSettingsFingerprint(_settingsFingerprint);
    data->setXattrControlFingerprint(_xattrControlFingerprint);
    return data;
}

void DigSigElementWidget::afterSuccessfulRead(Element* element, ElementData* data)
{
    if (element != this->element() || role() != MainWidgetRole)
        return;
    if (!isEditBlocked())
        blockEditWidget(true);
    clear();

    for (QAbstractButton* button : qAsConst(_radioButtons))
        button->blockSignals(true);
    const DigSigSettings settings(DigSigConfigManager::instance());
    const auto check
        = [](int mode, QAbstractButton* on, QAbstractButton* debug, QAbstractButton* off) {
              switch (mode) {
              case On:
                  on->setChecked(true);
                  break;
              case Debug:
                  debug->setChecked(true);
                  break;
              case Off:
                  off->setChecked(true);
                  break;
              default:
                  break;
              }
          };
    check(settings.elfMode(), ui->_onElfRadioButton, ui->_debugElfRadioButton,
          ui->_offElfRadioButton);
    check(settings.xattrMode(), ui->_onXattrRadioButton, ui->_debugXattrRadioButton,
          ui->_offXattrRadioButton);
    for (QAbstractButton* button : qAsConst(_radioButtons))
        button->blockSignals(false);

    _settingsFingerprint = settings.settingsFingerprint();
    _xattrControlFingerprint = settings.xattrControlFingerprint();
    _ignoreXattrKeys = settings.ignoreXattrKeys();
    _ignoreGost2001 = settings.ignoreGost2001();
    ui->_outOfDateLabel->hide();
    showXattrControl(settings.xattrControlBytes(), settings.isXattrControlText());
    showMissingModes(false);
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void DigSigElementWidget::showXattrControl(const QByteArray& bytes, bool isText)
{
    // Plain text, never guessed rich text: a template must show as it is written. NUL bytes
    // would end the text, so they show as replacement characters.
    QString text = QString::fromUtf8(bytes.constData(), bytes.size());
    text.replace(QChar(0), QChar::ReplacementCharacter);
    QTextEdit* edit = ui->_xattrControlFileTextEdit;
    edit->setPlainText(text);
    _shownXattrControl = edit->toPlainText();
    // The editor turns some characters into others (a no-break space into a space, say):
    // whatever it cannot hand back unchanged is not saved from it.
    _xattrControlEditable = isText && _shownXattrControl == text;
    ui->_xattrControlNoticeLabel->setVisible(!_xattrControlEditable);
    ui->_xattrControlNoticeLabel->setText(
        _xattrControlEditable
            ? QString()
            : tr("%1 holds bytes this editor cannot show as they are (not UTF-8, NUL, carriage "
                 "returns or special spaces): it is read-only here and left unchanged when the "
                 "settings are applied.")
                  .arg(DigSig::controlFilePath()));
    if (!_xattrControlEditable)
        edit->setReadOnly(true);
}

void DigSigElementWidget::blockEditWidget(bool block)
{
    ViewEditElementWidget::blockEditWidget(block);
    if (!_xattrControlEditable)
        ui->_xattrControlFileTextEdit->setReadOnly(true);
}

void DigSigElementWidget::takeSavedFiles(const QByteArray& readSettings,
                                         const QByteArray& readControl,
                                         const QByteArray& savedSettings,
                                         const QByteArray& savedControl)
{
    if (readSettings != _settingsFingerprint || readControl != _xattrControlFingerprint)
        return;
    _settingsFingerprint = savedSettings;
    if (savedControl != readControl && _xattrControlEditable)
        _shownXattrControl = ui->_xattrControlFileTextEdit->toPlainText();
    _xattrControlFingerprint = savedControl;
}

void DigSigElementWidget::refreshIfChangedOnDisk()
{
    if (_settingsFingerprint.isEmpty() && _xattrControlFingerprint.isEmpty())
        return;
    const QStringList changed
        = DigSigConfigManager::changedSinceRead(_settingsFingerprint, _xattrControlFingerprint);
    if (changed.isEmpty())
        return;
    Element* target = element();
    if (!isChanged() && target && (target->availableOperations() & ReadOperation)) {
        target->performOperation(ReadOperation, nullptr, 0);
        return;
    }
    ui->_outOfDateLabel->setText(
        tr("Changed on disk since it was shown: %1. Applying these settings will be refused; "
           "press Refresh to see what the files hold now (your changes here are then lost).")
            .arg(changed.join(QStringLiteral(", "))));
    ui->_outOfDateLabel->show();
}

// Yes reboots the machine at once: only a deliberate click may give it.
void DigSigElementWidget::afterSuccessfulUpdate()
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Reboot system"), tr("To apply settings need reboot system.\nReboot now?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        startRebootHelper();
}

void DigSigElementWidget::applyContentChanges()
{
    if (isUpdateRunning() || !showMissingModes(true) || !confirmOddTemplates() || !confirmOn())
        return;
    ViewEditElementWidget::applyContentChanges();
}

// A damaged settings file leaves a group without a mode; saving that would silently write Off.
bool DigSigElementWidget::showMissingModes(bool refusingApply)
{
    const bool elf = ui->_elfButtonControlGroup->checkedButton() != nullptr;
    const bool xattr = ui->_xattrButtonControlGroup->checkedButton() != nullptr;
    if (elf && xattr) {
        ui->_modeMessageArea->clearMessage();
        return true;
    }
    const QString text = !elf && !xattr
        ? tr("No mode is chosen for executable files and for extended attributes. Choose Off, "
             "Debug or On in each group before applying.")
        : !elf ? tr("No mode is chosen for executable files. Choose Off, Debug or On before "
                    "applying.")
               : tr("No mode is chosen for extended attributes. Choose Off, Debug or On before "
                    "applying.");
    ui->_modeMessageArea->showMessage(refusingApply ? MessageArea::Error : MessageArea::Warning,
                                      text);
    return false;
}

// A template that is not an absolute path names no file; it is most likely a typing error.
bool DigSigElementWidget::confirmOddTemplates()
{
    const QStringList odd
        = XattrControlFile::templatesNamingNoFile(ui->_xattrControlFileTextEdit->toPlainText());
    if (odd.isEmpty())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, tr("Templates that name no file"),
        tr("These lines of %1 are not absolute paths, so they name no file:\n\n%2\n\n"
           "Apply anyway?")
            .arg(DigSig::controlFilePath(), ShortList::format(odd)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

// Unsigned programs stop starting after the next boot: No unless the administrator says Yes.
bool DigSigElementWidget::confirmOn()
{
    if (!ui->_onElfRadioButton->isChecked() && !ui->_onXattrRadioButton->isChecked())
        return true;
    const QMessageBox::StandardButton answer
        = QMessageBox::warning(this, tr("Warning"),
                               tr("All unsigned files can not be started after reboot system.\n"
                                  "It is advisable to first check the system in debug mode.\n"
                                  "Are you sure want apply this settings?"),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void DigSigElementWidget::reset()
{
    clear();
    ui->_modeMessageArea->clearMessage();
    ViewEditElementWidget::reset();
}

void DigSigElementWidget::clear()
{
    // Unchecking an auto-exclusive button in an exclusive group is refused, hence the detour.
    for (QButtonGroup* group : qAsConst(_buttonGroups))
        group->setExclusive(false);
    for (QAbstractButton* button : qAsConst(_radioButtons)) {
        button->blockSignals(true);
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
        button->blockSignals(false);
    }
    for (QButtonGroup* group : qAsConst(_buttonGroups))
        group->setExclusive(true);
    for (QTextEdit* edit : qAsConst(_textEdits)) {
        edit->blockSignals(true);
        edit->clear();
        edit->blockSignals(false);
    }
}

void DigSigElementWidget::warnAboutOn(bool checked)
{
    if (!checked)
        return;
    QMessageBox::warning(this, tr("Warning"),
                         tr("All unsigned files can not be started after reboot system."),
                         QMessageBox::Ok);
}

void DigSigElementWidget::checkExecutables()
{
    if (_audit)
        return;
    ui->_checkMessageArea->clearMessage();
    _audit = new SignatureAudit(SignatureAudit::executableCheck(), this);
    _checkProgress = new QProgressDialog(tr("Listing the ELF files of the program folders…"),
                                         tr("Cancel"), 0, 0, this);
    _checkProgress->setWindowTitle(tr("Check executables"));
    _checkProgress->setWindowModality(Qt::WindowModal);
    _checkProgress->setAutoClose(false);
    _checkProgress->setAutoReset(false);
    _checkProgress->setMinimumDuration(0);
    connect(_audit, &SignatureAudit::progressChanged, _checkProgress,
            [progress = _checkProgress](qint64 done, qint64 listed, bool listingComplete) {
                progress->setMaximum(listingComplete ? int(listed) : 0);
                progress->setValue(int(done));
                progress->setLabelText(tr("%1 of %2 ELF files verified").arg(done).arg(listed));
            });
    connect(_checkProgress, &QProgressDialog::canceled, _audit, &SignatureAudit::cancel);
    connect(_audit, &SignatureAudit::ended, this, &DigSigElementWidget::showCheckFindings);
    _checkProgress->show();
    _audit->start();
}

void DigSigElementWidget::showCheckFindings()
{
    _checkProgress->disconnect(_audit);
    _checkProgress->deleteLater();
    _checkProgress = nullptr;
    if (_audit->wasCancelled())
        ui->_checkMessageArea->showMessage(MessageArea::Information,
                                           tr("The check of the executables was cancelled."));
    else
        ui->_checkMessageArea->showMessage(_audit->lackingCount() == 0 ? MessageArea::Information
                                                                       : MessageArea::Warning,
                                           _audit->checkFindings());
    // It is still emitting the signal that brought us here.
    _audit->deleteLater();
    _audit = nullptr;
}

void DigSigElementWidget::startRebootHelper()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const char* userId = std::getenv("SUDO_UID");
    environment.insert(
        QStringLiteral("XDG_RUNTIME_DIR"),
        QStringLiteral("/run/user/%1").arg(userId ? QString::fromLatin1(userId) : QString()));

    QProcess helper;
    helper.setProcessEnvironment(environment);
    helper.start(Sysroot::path(DigSig::windowManagerHelperPath()),
                 {QStringLiteral("KIROWM_REBOOT")}, QIODevice::ReadWrite);
    if (!helper.waitForFinished(rebootHelperWaitMsecs) && helper.state() != QProcess::NotRunning) {
        // Abandoned: stop it here rather than let the destructor kill it with a warning.
        helper.kill();
        helper.waitForFinished(-1);
    }
}

int DigSigElementWidget::checkedMode(QAbstractButton* on, QAbstractButton* debug,
                                     QAbstractButton* off) const
{
    if (on->isChecked())
        return On;
    if (debug->isChecked())
        return Debug;
    if (off->isChecked())
        return Off;
    return Invalid;
}
