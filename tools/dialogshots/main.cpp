// Renders the plug-in's dialogs and questions to PNG files for the documentation and for a look
// at them: the key creation dialog, the key selection dialog, the signing progress after a
// finished run over the demo's programs, and, in the console with the plug-in loaded, the
// question before an unapplied edit is left, a damaged settings file on its page with the
// task's whole message, and the question before unsafe directories are signed. Runs inside the
// demo's sandbox (DIGSIG_SYSROOT, GNUPGHOME) and leaves its files as it found them.
#include "consolesetup.h"
#include "consolewindow.h"
#include "createkeydialog.h"
#include "element.h"
#include "keymanager.h"
#include "plugincatalog.h"
#include "selectkeydialog.h"
#include "signingdialog.h"
#include "sysroot.h"
#include "taskobserver.h"
#include "taskpanel.h"
#include "translationloader.h"
#include "vieweditelementwidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

namespace {

bool save(QWidget& widget, const QString& directory, const QString& name)
{
    const QString path = QDir(directory).absoluteFilePath(name);
    if (widget.grab().save(path))
        return true;
    std::fprintf(stderr, "dialogshots: cannot write %s\n", qPrintable(path));
    return false;
}

// Lets tasks end and file trees fill before a picture is taken.
void settle()
{
    TaskObserver::instance(nullptr)->waitForIdle(60000);
    QDeadlineTimer settled(500);
    while (!settled.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// Takes the picture of the next modal window that `open` brings up, then closes it with the
// button `close` finds, so that nothing is changed.
bool shootModal(const std::function<void()>& open, const QString& directory, const QString& name,
                const std::function<QAbstractButton*(QMessageBox*)>& close)
{
    bool saved = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll.stop();
        saved = save(*box, directory, name);
        close(box)->click();
    });
    poll.start(50);
    open();
    return saved;
}

// Runs the signing dialog modally and takes its picture once the run has ended.
bool shootSigningRun(KeyManager& keyManager, const QString& keyId, const QStringList& paths,
                     const QString& directory)
{
    SigningDialog dialog(&keyManager, keyId, paths, Bsign::ElfAndXattr, false);
    bool saved = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        if (!ok->isEnabled())
            return;
        poll.stop();
        saved = save(dialog, directory, QStringLiteral("SigningDialog.png"));
        dialog.accept();
    });
    poll.start(50);
    dialog.exec();
    return saved;
}

bool shootDialogs(const QString& directory, const QStringList& paths)
{
    KeyManager keyManager;
    if (!keyManager.init(QString())) {
        std::fprintf(stderr, "dialogshots: GnuPG Made Easy cannot be initialised\n");
        return false;
    }
    bool ok = true;
    CreateKeyDialog createKey(&keyManager, nullptr);
    createKey.show();
    ok &= save(createKey, directory, QStringLiteral("CreateKeyDialog.png"));

    SelectKeyDialog selectKey(&keyManager, Bsign::ElfAndXattr, nullptr);
    selectKey.show();
    ok &= save(selectKey, directory, QStringLiteral("SelectKeyDialog.png"));

    ok &= shootSigningRun(keyManager, selectKey.selectedKeyId(), paths, directory);
    return ok;
}

Element* elementOfType(const ConsoleWindow& window, const QString& type)
{
    for (Element* element : window.elements()) {
        ElementWidget* widget = element->elementWidget(MainWidgetRole);
        if (widget && widget->elementType() == type)
            return element;
    }
    return nullptr;
}

bool shootLeaveQuestion(ConsoleWindow& window, Element* settings, Element* keys,
                        const QString& directory)
{
    window.showElement(settings);
    settle();
    window.editCurrent();
    auto* widget = qobject_cast<ViewEditElementWidget*>(settings->elementWidget(MainWidgetRole));
    widget->findChild<QRadioButton*>(QStringLiteral("_debugXattrRadioButton"))->click();
    const bool saved = shootModal(
        [&] { window.showElement(keys); }, directory, QStringLiteral("LeaveQuestion.png"),
        [](QMessageBox* box) { return box->button(QMessageBox::Cancel); });
    widget->reset();
    widget->blockEditWidget(true);
    window.refreshCurrent();
    settle();
    return saved;
}

// The settings page over a damaged settings file, and the read task's whole message.
bool shootDamagedSettings(ConsoleWindow& window, Element* settings, Element* keys,
                          const QString& directory)
{
    const QString path = Sysroot::path(QStringLiteral("/etc/digsig/digsig_initramfs.conf"));
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray original = file.readAll();
    file.resize(0);
    file.write("DIGSIG_ELF_MODE=7\nDIGSIG_XATTR_MODE=\nDIGSIG_IGNORE_XATTR_KEYS=0\n");
    file.close();
    window.showElement(keys);
    window.showElement(settings);
    settle();
    bool ok = save(window, directory, QStringLiteral("DigSigDamaged.png"));

    QTreeWidget* panel = window.taskPanel();
    QTreeWidgetItem* read = panel->topLevelItem(panel->topLevelItemCount() - 1);
    Q_EMIT panel->itemDoubleClicked(read, TaskPanel::MessageColumn);
    QDialog* message = window.findChild<QDialog*>(QStringLiteral("taskMessageDialog"));
    if (message) {
        settle();
        ok &= save(*message, directory, QStringLiteral("TaskMessage.png"));
        message->close();
    }
    ok &= message != nullptr;

    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    ok &= file.write(original) == original.size();
    file.close();
    window.refreshCurrent();
    settle();
    return ok;
}

bool shootSelectionConfirmation(ConsoleWindow& window, Element* signing, const QString& directory)
{
    window.showElement(signing);
    settle();
    QWidget* widget = signing->elementWidget(MainWidgetRole);
    auto* view = widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"));
    auto* proxy = qobject_cast<QSortFilterProxyModel*>(view->model());
    auto* files = proxy ? qobject_cast<QFileSystemModel*>(proxy->sourceModel()) : nullptr;
    if (!files)
        return false;
    QStringList checked;
    for (const char* path : {"/etc", "/opt/demo", "/root"}) {
        const QModelIndex index = proxy->mapFromSource(files->index(Sysroot::path(path)));
        proxy->setData(index, Qt::Checked, Qt::CheckStateRole);
        checked << Sysroot::path(path);
    }
    widget->findChild<QCheckBox*>(QStringLiteral("_xattrCheckBox"))->setChecked(true);
    auto* sign = widget->findChild<QPushButton*>(QStringLiteral("_signPushButton"));
    const bool saved = shootModal([sign] { sign->click(); }, directory,
                                  QStringLiteral("SelectionConfirmation.png"),
                                  [](QMessageBox* box) { return box->button(QMessageBox::No); });
    for (const QString& path : checked)
        proxy->setData(proxy->mapFromSource(files->index(path)), Qt::Unchecked, Qt::CheckStateRole);
    return saved;
}

bool shootConsole(const QString& directory)
{
    PluginCatalog catalog;
    catalog.load(PluginCatalog::defaultDirectory());
    ConsoleWindow window;
    window.addPlugins(catalog.plugins());
    window.show();
    Element* settings = elementOfType(window, QStringLiteral("DigSig"));
    Element* keys = elementOfType(window, QStringLiteral("DigSigKeys"));
    Element* signing = elementOfType(window, QStringLiteral("DigSigSigning"));
    if (!settings || !keys || !signing) {
        std::fprintf(stderr, "dialogshots: the plug-in's elements are missing\n");
        return false;
    }
    bool ok = shootLeaveQuestion(window, settings, keys, directory);
    ok &= shootDamagedSettings(window, settings, keys, directory);
    ok &= shootSelectionConfirmation(window, signing, directory);
    settle();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    // It only renders to files: no display is ever needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ConsoleSetup::installTranslations(&app, ConsoleSetup::defaultTranslationsDirectory());
    ConsoleSetup::nameApplication();
    loadTranslations();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: dialogshots OUTPUT-DIR PATH-TO-SIGN...\n");
        return 2;
    }
    const QString directory = arguments.at(1);
    QDir().mkpath(directory);
    bool ok = shootDialogs(directory, arguments.mid(2));
    ok &= shootConsole(directory);
    return ok ? 0 : 1;
}
