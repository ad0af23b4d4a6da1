// Verifies 1000 files through SignFileModel shown in a tree view, scrolled page by page as a
// user would, and runs the same verifications as a sequential shell loop over the stand-in
// tool. Prints both wall times, measured in one run, and their ratio.
#include "bsign.h"
#include "signfilemodel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>

namespace {

const int fileCount = 1000;

void makeFiles(const QString& folder)
{
    const QByteArray elf = QByteArray("\x7f"
                                      "ELF\x02\x01\x01",
                                      7)
        + QByteArray(1000, 'x');
    for (int i = 0; i < fileCount; ++i) {
        QFile file(QStringLiteral("%1/prog%2").arg(folder).arg(i, 4, 10, QLatin1Char('0')));
        if (file.open(QIODevice::WriteOnly))
            file.write(elf);
    }
}

QStringList verifiedFiles(const QString& logPath)
{
    QFile log(logPath);
    QStringList files;
    if (!log.open(QIODevice::ReadOnly))
        return files;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 5 && fields[3] == "--verify")
            files << QString::fromUtf8(fields[4]);
    }
    return files;
}

bool isFinal(const SignFileModel& model, const QModelIndex& index)
{
    return model.data(index.sibling(index.row(), SignFileModel::SignatureColumn)).toString()
        != QLatin1String("...");
}

// Shows the folder and scrolls down a page whenever the bottom row has its result; returns
// the milliseconds until every file shows one.
qint64 timeModel(SignFileModel& model, const QString& folder)
{
    QTreeView view;
    view.resize(900, 700);
    view.setModel(&model);
    const QModelIndex root = model.index(folder);
    view.setRootIndex(root);
    view.header()->moveSection(SignFileModel::SignatureColumn, 1);
    view.header()->moveSection(SignFileModel::ExternedSignatureColumn, 2);

    QSet<int> done;
    QEventLoop loop;
    QObject::connect(
        &model, &QAbstractItemModel::dataChanged, &loop, [&](const QModelIndex& topLeft) {
            if (topLeft.parent() != root || !isFinal(model, topLeft))
                return;
            done.insert(topLeft.row());
            if (done.size() == fileCount) {
                loop.quit();
                return;
            }
            const QModelIndex bottom = view.indexAt(QPoint(1, view.viewport()->height() - 2));
            if (!bottom.isValid() || isFinal(model, bottom)) {
                QScrollBar* bar = view.verticalScrollBar();
                bar->setValue(bar->value() + bar->pageStep());
            }
        });
    QElapsedTimer timer;
    timer.start();
    view.show();
    loop.exec();
    return timer.elapsed();
}

qint64 timeShellLoop(const QStringList& files)
{
    QProcess shell;
    shell.setProgram(QStringLiteral("sh"));
    shell.setArguments(
        QStringList {QStringLiteral("-c"),
                     QStringLiteral("for f do bsign --verify \"$f\" >/dev/null; done"),
                     QStringLiteral("sh")}
        + files);
    QElapsedTimer timer;
    timer.start();
    shell.start();
    if (!shell.waitForFinished(-1) || shell.exitStatus() != QProcess::NormalExit)
        std::fprintf(stderr, "shell loop failed\n");
    return timer.elapsed();
}

// The same runs through Bsign, blocking, without model or view: the share of the process
// start-up cost in the model's time.
qint64 timeBlockingBsign(const QStringList& files)
{
    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files) {
        Bsign bsign(QPersistentModelIndex(), file, nullptr);
        bsign.verify();
        bsign.waitForFinished(-1);
    }
    return timer.elapsed();
}

bool waitForRows(SignFileModel& model, const QString& folder)
{
    const QModelIndex root = model.setRootPath(folder);
    model.fetchMore(root);
    QElapsedTimer timer;
    timer.start();
    while (model.rowCount(root) < fileCount && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return model.rowCount(root) == fileCount;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("PATH", QByteArray(DIGSIG_TOOLS_DIR) + ':' + qgetenv("PATH"));
    QApplication app(argc, argv);
    QTemporaryDir work;
    const QString folder = work.filePath(QStringLiteral("files"));
    QDir().mkpath(folder);
    makeFiles(folder);
    qputenv("DIGSIG_BSIGN_STATE", work.filePath(QStringLiteral("state")).toUtf8());
    const QString modelLog = work.filePath(QStringLiteral("model.log"));
    qputenv("DIGSIG_BSIGN_LOG", modelLog.toUtf8());

    SignFileModel model;
    if (!waitForRows(model, folder)) {
        std::fprintf(stderr, "the folder did not load\n");
        return 1;
    }
    const qint64 modelMs = timeModel(model, folder);
    const QStringList files = verifiedFiles(modelLog);

    qputenv("DIGSIG_BSIGN_LOG", work.filePath(QStringLiteral("loop.log")).toUtf8());
    const qint64 loopMs = timeShellLoop(files);
    const qint64 blockingMs = timeBlockingBsign(files);

    std::printf("verifications: %d files, %lld bsign runs\n", fileCount,
                static_cast<long long>(files.size()));
    std::printf("SignFileModel in a view: %lld ms\n", static_cast<long long>(modelMs));
    std::printf("sequential shell loop:   %lld ms\n", static_cast<long long>(loopMs));
    std::printf("blocking Bsign calls:    %lld ms\n", static_cast<long long>(blockingMs));
    std::printf("ratio model/loop:        %.2f\n",
                loopMs > 0 ? double(modelMs) / double(loopMs) : 0.0);
    return 0;
}
