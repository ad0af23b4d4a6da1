// Renders the plug-in's dialogs to PNG files for the documentation and for a look at them:
// the key creation dialog, the key selection dialog and the signing progress after a finished
// run over the demo's programs. Runs inside the demo's sandbox (DIGSIG_SYSROOT, GNUPGHOME).
#include "createkeydialog.h"
#include "keymanager.h"
#include "selectkeydialog.h"
#include "signingdialog.h"
#include "translationloader.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

bool save(QWidget& dialog, const QString& directory, const QString& name)
{
    const QString path = QDir(directory).absoluteFilePath(name);
    if (dialog.grab().save(path))
        return true;
    std::fprintf(stderr, "dialogshots: cannot write %s\n", qPrintable(path));
    return false;
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

} // namespace

int main(int argc, char** argv)
{
    // It only renders to files: no display is ever needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    loadTranslations();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: dialogshots OUTPUT-DIR PATH-TO-SIGN...\n");
        return 2;
    }
    const QString directory = arguments.at(1);
    QDir().mkpath(directory);

    KeyManager keyManager;
    if (!keyManager.init(QString())) {
        std::fprintf(stderr, "dialogshots: GnuPG Made Easy cannot be initialised\n");
        return 1;
    }
    bool ok = true;
    CreateKeyDialog createKey(&keyManager, nullptr);
    createKey.show();
    ok &= save(createKey, directory, QStringLiteral("CreateKeyDialog.png"));

    SelectKeyDialog selectKey(&keyManager, Bsign::ElfAndXattr, nullptr);
    selectKey.show();
    ok &= save(selectKey, directory, QStringLiteral("SelectKeyDialog.png"));

    ok &= shootSigningRun(keyManager, selectKey.selectedKeyId(), arguments.mid(2), directory);
    return ok ? 0 : 1;
}
