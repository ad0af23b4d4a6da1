// Measures a full signing run through the signing dialog against the same signing done by
// "xargs -P" over the stand-in tool, and the dialog's listing of a large tree against
// "find -type f". Prints the ratios of wall times measured side by side in one run.
#include "keymanager.h"
#include "signingdialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

void makeTree(const QString& root, int files, int perDirectory)
{
    for (int i = 0; i < files; ++i) {
        const QString dir = QStringLiteral("%1/d%2").arg(root).arg(i / perDirectory);
        if (i % perDirectory == 0)
            QDir().mkpath(dir);
        QFile file(QStringLiteral("%1/f%2").arg(dir).arg(i));
        file.open(QIODevice::WriteOnly);
        file.write("content\n");
    }
}

qint64 timeDialogRun(const QString& tree)
{
    KeyManager keyManager;
    SigningDialog dialog(&keyManager, QStringLiteral("BENCHKEY"), {tree}, Bsign::XattrOnly, false);
    auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &dialog, [ok] {
        if (ok->isEnabled())
            ok->click();
    });
    closer.start(5);
    QElapsedTimer timer;
    timer.start();
    dialog.exec();
    const qint64 elapsed = timer.elapsed();
    if (!dialog.isFinished())
        std::fprintf(stderr, "signing run did not finish\n");
    return elapsed;
}

qint64 timeShell(const QString& command)
{
    QElapsedTimer timer;
    timer.start();
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    shell.waitForFinished(-1);
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        std::fprintf(stderr, "command failed: %s\n", qPrintable(command));
    return timer.elapsed();
}

void report(const char* what, qint64 ours, qint64 reference, const char* referenceName)
{
    std::printf("%s: %lld ms, %s: %lld ms, ratio %.2f\n", what, static_cast<long long>(ours),
                referenceName, static_cast<long long>(reference),
                reference > 0 ? double(ours) / double(reference) : 0.0);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir work;
    qputenv("DIGSIG_SYSROOT", work.path().toUtf8() + "/root");
    qputenv("DIGSIG_BSIGN_STATE", work.path().toUtf8() + "/state");
    qputenv("GNUPGHOME", work.path().toUtf8() + "/gnupg");
    QDir().mkpath(work.path() + QStringLiteral("/root/root/.gnupg"));
    QDir().mkpath(work.path() + QStringLiteral("/root/etc/digsig"));
    QDir().mkpath(work.path() + QStringLiteral("/gnupg"));
    QApplication app(argc, argv);

    const QString signTree = work.path() + QStringLiteral("/sign");
    makeTree(signTree, 2000, 200);
    const qint64 dialog = timeDialogRun(signTree);
    const qint64 xargs = timeShell(
        QStringLiteral(
            "find '%1' -type f -print0 | xargs -0 -n1 -P%2 bsign --sign --xattr --nopass "
            "'-p\"\"--default-key BENCHKEY --pinentry-mode ask\"\"'")
            .arg(signTree)
            .arg(QThread::idealThreadCount()));
    report("sign 2000 files: SigningDialog", dialog, xargs, "xargs -P");

    const QString listTree = work.path() + QStringLiteral("/list");
    makeTree(listTree, 100000, 1000);
    KeyManager keyManager;
    SigningDialog lister(&keyManager, QString(), {}, Bsign::XattrOnly, false);
    QElapsedTimer timer;
    timer.start();
    const int listed = lister.collectFiles({listTree}).size();
    const qint64 listing = timer.elapsed();
    const qint64 find = timeShell(QStringLiteral("find '%1' -type f > /dev/null").arg(listTree));
    std::printf("listed %d files\n", listed);
    report("list 100000 entries: collectFiles", listing, find, "find -type f");
    return 0;
}
