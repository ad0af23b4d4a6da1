// Every figure of the signing work, measured side by side with its shell equivalent in one
// run over the stand-in tool: signing runs through the signing dialog against
// "find | xargs -P" (2000 files; 30 000 files in 300 folders, with the longest stall of the GUI
// thread and the peak memory; the same with 5 ms per signature), the listing of 100 000
// entries against "find -type f", 1000 files verified through the file model in a view against
// a sequential shell loop (also with 5 ms per verification), what starting the tool costs from
// this process with QProcess and with posix_spawn, and how far tool runs side by side beat
// runs one after another on this machine.
#include "bsign.h"
#include "filelister.h"
#include "keymanager.h"
#include "signatureverifier.h"
#include "signfilemodel.h"
#include "signingdialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

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

// A memory figure of this process in kilobytes: "VmHWM" (peak resident since the last reset)
// or "VmRSS" (resident now).
qint64 memoryKb(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// A signing key of the benchmark's own GnuPG home, so that runs complete as they would for
// an administrator, key export included.
QString benchKey()
{
    static const QString key = [] {
        QProcess::execute(QStringLiteral("gpg"),
                          {QStringLiteral("--batch"), QStringLiteral("--quiet"),
                           QStringLiteral("--passphrase"), QString(),
                           QStringLiteral("--quick-gen-key"),
                           QStringLiteral("Bench <bench@example.org>"), QStringLiteral("ed25519"),
                           QStringLiteral("sign"), QStringLiteral("never")});
        KeyManager keys;
        keys.init(QString());
        const auto found = keys.signingKeys();
        return found.isEmpty() ? QString() : found.first().second;
    }();
    return key;
}

struct DialogRun
{
    qint64 milliseconds = 0;
    qint64 longestStall = 0;
    qint64 stallAt = 0;
    // The longest stall of a thread that only sleeps and ticks: what the machine did to the
    // whole process (a host that stops the virtual machine stops every thread at once).
    qint64 machineStall = 0;
    // The longest stall of the GUI thread less what the bare thread stalled meanwhile.
    qint64 ownStall = 0;
    qint64 peakKb = 0;
    QString summary;
};

using Clock = std::chrono::steady_clock;

qint64 millisecondsSince(Clock::time_point start, Clock::time_point then)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(then - start).count();
}

// Ticks every 5 ms on a thread of its own, doing nothing else, and keeps the time of each tick.
class BareHeartbeat
{
public:
    explicit BareHeartbeat(Clock::time_point start)
        : _start(start)
        , _thread([this] {
            while (!_stop.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                _ticks.push_back(millisecondsSince(_start, Clock::now()));
            }
        })
    { }
    ~BareHeartbeat() { stop(); }
    void stop()
    {
        _stop = true;
        if (_thread.joinable())
            _thread.join();
    }
    // The longest gap between ticks that overlaps [from, to]; call after stop().
    qint64 longestGap(qint64 from, qint64 to) const
    {
        qint64 longest = 0;
        for (size_t i = 1; i < _ticks.size(); ++i) {
            if (_ticks[i] >= from && _ticks[i - 1] <= to)
                longest = std::max(longest, _ticks[i] - _ticks[i - 1]);
        }
        return longest;
    }

private:
    Clock::time_point _start;
    std::atomic<bool> _stop {false};
    std::vector<qint64> _ticks;
    std::thread _thread;
};

// Signs the tree through the dialog, as the signing widget does, while a timer on the GUI
// thread and a bare thread measure the longest gaps between their ticks.
DialogRun timeDialogRun(const QString& tree)
{
    resetPeakMemory();
    KeyManager keyManager;
    keyManager.init(QString());
    SigningDialog dialog(&keyManager, benchKey(), {tree}, Bsign::XattrOnly, false);
    auto* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    DialogRun run;
    const Clock::time_point start = Clock::now();
    qint64 lastTick = 0;
    QList<QPair<qint64, qint64>> gaps; // GUI gaps of 20 ms and more: from, to
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, &dialog, [&] {
        const qint64 now = millisecondsSince(start, Clock::now());
        if (now - lastTick >= 20)
            gaps.append({lastTick, now});
        lastTick = now;
        if (ok->isEnabled())
            ok->click();
    });
    BareHeartbeat bare(start);
    heartbeat.start(5);
    dialog.exec();
    run.milliseconds = millisecondsSince(start, Clock::now());
    bare.stop();
    run.machineStall = bare.longestGap(0, run.milliseconds);
    for (const auto& gap : gaps) {
        const qint64 length = gap.second - gap.first;
        if (length > run.longestStall) {
            run.longestStall = length;
            run.stallAt = gap.second;
        }
        run.ownStall = std::max(run.ownStall, length - bare.longestGap(gap.first, gap.second));
    }
    run.peakKb = memoryKb("VmHWM");
    if (!dialog.isFinished())
        std::fprintf(stderr, "signing run did not finish\n");
    run.summary = dialog.findChild<QPlainTextEdit*>()->toPlainText().section(QLatin1Char('\n'), -1);
    return run;
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

qint64 timePipeline(const QString& tree)
{
    return timeShell(
        QStringLiteral(
            "find '%1' -type f -print0 | xargs -0 -n1 -P%2 bsign --sign --xattr --nopass "
            "'-p\"\"--default-key %3 --pinentry-mode ask\"\"'")
            .arg(tree)
            .arg(QThread::idealThreadCount())
            .arg(benchKey()));
}

void report(const char* what, qint64 ours, qint64 reference, const char* referenceName)
{
    std::printf("%s: %lld ms, %s: %lld ms, ratio %.2f\n", what, static_cast<long long>(ours),
                referenceName, static_cast<long long>(reference),
                reference > 0 ? double(ours) / double(reference) : 0.0);
    std::fflush(stdout);
}

void compareRun(const char* what, const QString& tree)
{
    const DialogRun dialog = timeDialogRun(tree);
    const qint64 pipeline = timePipeline(tree);
    report(what, dialog.milliseconds, pipeline, "find | xargs -P");
    std::printf("  longest GUI stall %lld ms (ended %.1f s into the run), a bare thread's %lld ms, "
                "the GUI thread's own %lld ms; peak memory %lld MB; %s\n",
                static_cast<long long>(dialog.longestStall), double(dialog.stallAt) / 1000.0,
                static_cast<long long>(dialog.machineStall),
                static_cast<long long>(dialog.ownStall),
                static_cast<long long>(dialog.peakKb / 1024), qPrintable(dialog.summary));
}

qint64 timeListing(const QString& tree, int* listed)
{
    const std::atomic<bool> stop {false};
    int count = 0;
    FileLister lister(
        Bsign::XattrOnly,
        [&count](ListedFile&&) {
            ++count;
            return true;
        },
        [](const QString&, FileLister::Problem, const QString&) {});
    QElapsedTimer timer;
    timer.start();
    lister.list({tree}, stop);
    *listed = count;
    return timer.elapsed();
}

const int verifiedFileCount = 1000;

void makePrograms(const QString& folder)
{
    QDir().mkpath(folder);
    const QByteArray elf = QByteArray("\x7f"
                                      "ELF\x02\x01\x01",
                                      7)
        + QByteArray(1000, 'x');
    for (int i = 0; i < verifiedFileCount; ++i) {
        QFile file(QStringLiteral("%1/prog%2").arg(folder).arg(i, 4, 10, QLatin1Char('0')));
        if (file.open(QIODevice::WriteOnly))
            file.write(elf);
    }
}

bool isFinal(const QModelIndex& index)
{
    return index.sibling(index.row(), SignFileModel::SignatureColumn).data().toString()
        != QLatin1String("...");
}

bool waitForRows(SignFileModel& model, const QString& folder)
{
    const QModelIndex root = model.setRootPath(folder);
    model.fetchMore(root);
    QElapsedTimer timer;
    timer.start();
    while (model.rowCount(root) < verifiedFileCount && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return model.rowCount(root) == verifiedFileCount;
}

// Shows the folder and scrolls down a page whenever the bottom row has its result, as a person
// would; the milliseconds until every file shows one.
qint64 timeModel(const QString& folder)
{
    SignFileModel model;
    if (!waitForRows(model, folder)) {
        std::fprintf(stderr, "the folder did not load\n");
        return -1;
    }
    QTreeView view;
    view.resize(900, 700);
    view.setModel(&model);
    const QModelIndex root = model.index(folder);
    view.setRootIndex(root);
    view.header()->moveSection(SignFileModel::SignatureColumn, 1);
    view.header()->moveSection(SignFileModel::ExternedSignatureColumn, 2);
    QSet<int> done;
    QEventLoop loop;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &loop,
                     [&](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                         if (topLeft.parent() != root)
                             return;
                         for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                             if (isFinal(model.index(row, 0, root)))
                                 done.insert(row);
                         }
                         if (done.size() == verifiedFileCount) {
                             loop.quit();
                             return;
                         }
                         const QModelIndex bottom
                             = view.indexAt(QPoint(1, view.viewport()->height() - 2));
                         if (!bottom.isValid() || isFinal(bottom)) {
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

// The same verifications requested all at once from the verifier, without model or view: what
// the view's page-by-page requests add on top.
qint64 timeVerifier(const QString& folder)
{
    SignatureVerifier verifier;
    int answered = 0;
    QEventLoop loop;
    QObject::connect(&verifier, &SignatureVerifier::verified, &loop,
                     [&](const QList<SignatureVerifier::Result>& results) {
                         answered += results.size();
                         if (answered == verifiedFileCount)
                             loop.quit();
                     });
    QElapsedTimer timer;
    timer.start();
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        verifier.request(folder + QLatin1Char('/') + name);
    loop.exec();
    return timer.elapsed();
}

qint64 timeShellLoop(const QString& folder)
{
    return timeShell(
        QStringLiteral("for f in '%1'/*; do bsign --verify \"$f\" >/dev/null; done").arg(folder));
}

// Microseconds per start, wait and end of one verification from this process.
void compareToolStarts(const QString& file)
{
    const int runs = 300;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i) {
        QProcess process;
        process.start(Bsign::program(), {QStringLiteral("--verify"), file});
        process.waitForFinished(-1);
        process.readAllStandardOutput();
    }
    const qint64 qprocess = timer.nsecsElapsed() / 1000 / runs;
    timer.restart();
    for (int i = 0; i < runs; ++i) {
        Bsign bsign(file);
        bsign.verify();
    }
    const qint64 spawn = timer.nsecsElapsed() / 1000 / runs;
    std::printf("start the tool (%d runs, %lld MB resident): QProcess %lld us, posix_spawn %lld "
                "us, ratio %.2f\n",
                runs, static_cast<long long>(memoryKb("VmRSS") / 1024),
                static_cast<long long>(qprocess), static_cast<long long>(spawn),
                spawn > 0 ? double(qprocess) / double(spawn) : 0.0);
}

// Whether the machine runs tools side by side faster than one after another: with a tool that
// does next to no work, process creation is all there is, and where the kernel cannot create
// processes on both processors at once no number of parallel verifications beats a loop.
void compareParallelStarts(const QString& file)
{
    const int runs = 600;
    const int jobs = QThread::idealThreadCount();
    const auto startAll = [&file](int count) {
        for (int i = 0; i < count; ++i) {
            Bsign bsign(file);
            bsign.verify();
        }
    };
    QElapsedTimer timer;
    timer.start();
    startAll(runs);
    const qint64 serial = timer.elapsed();
    timer.restart();
    std::vector<std::thread> threads;
    for (int i = 0; i < jobs; ++i)
        threads.emplace_back([&] { startAll(runs / jobs); });
    for (std::thread& thread : threads)
        thread.join();
    const qint64 parallel = timer.elapsed();
    std::printf("%d tool runs from %d threads at once: %lld ms, one after another: %lld ms, "
                "ratio %.2f\n",
                runs, jobs, static_cast<long long>(parallel), static_cast<long long>(serial),
                serial > 0 ? double(parallel) / double(serial) : 0.0);
}

// The longest gap between ticks of the heartbeat timer while nothing runs: what the machine's
// load alone does to the GUI thread, to read the stalls measured during the runs against.
void printIdleHeartbeat()
{
    qint64 longest = 0;
    QElapsedTimer sinceTick;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceTick.restart()); });
    QEventLoop loop;
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    sinceTick.start();
    heartbeat.start(5);
    loop.exec();
    std::printf("longest GUI stall while idle for 2 s: %lld ms\n", static_cast<long long>(longest));
}

// The machine may be shared: the load says how far the figures can be trusted.
void printLoad(const char* when)
{
    QFile load(QStringLiteral("/proc/loadavg"));
    load.open(QIODevice::ReadOnly);
    std::printf("load average %s: %s", when, load.readAll().constData());
}

} // namespace

// Usage: signingbench [SECTION...], sections "small", "large", "delay", "list", "verify" and
// "start"; all of them by default.
int main(int argc, char** argv)
{
    qputenv("PATH", QByteArray(DIGSIG_TOOLS_DIR) + ':' + qgetenv("PATH"));
    QTemporaryDir work;
    qputenv("DIGSIG_SYSROOT", work.path().toUtf8() + "/root");
    qputenv("DIGSIG_BSIGN_STATE", work.path().toUtf8() + "/state");
    qputenv("GNUPGHOME", work.path().toUtf8() + "/gnupg");
    QDir().mkpath(work.path() + QStringLiteral("/root/root/.gnupg"));
    QDir().mkpath(work.path() + QStringLiteral("/root/etc/digsig/xattr_keys"));
    QDir().mkpath(work.path() + QStringLiteral("/gnupg"));
    QFile::setPermissions(work.path() + QStringLiteral("/gnupg"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile control(work.path() + QStringLiteral("/root/etc/digsig/xattr_control"));
    control.open(QIODevice::WriteOnly);
    control.close();
    QApplication app(argc, argv);
    const QStringList chosen = QApplication::arguments().mid(1);
    const auto wanted = [&chosen](const char* section) {
        return chosen.isEmpty() || chosen.contains(QLatin1String(section));
    };
    printLoad("at start");
    printIdleHeartbeat();

    if (wanted("small")) {
        const QString small = work.path() + QStringLiteral("/sign2000");
        makeTree(small, 2000, 200);
        compareRun("sign 2000 files: SigningDialog", small);
    }
    const QString large = work.path() + QStringLiteral("/sign30000");
    if (wanted("large") || wanted("delay"))
        makeTree(large, 30000, 100);
    if (wanted("large"))
        compareRun("list and sign 30000 files in 300 folders: SigningDialog", large);
    if (wanted("delay")) {
        qputenv("DIGSIG_BSIGN_DELAY_MS", "5");
        compareRun("the same with 5 ms per signature: SigningDialog", large);
        qunsetenv("DIGSIG_BSIGN_DELAY_MS");
    }
    if (wanted("list")) {
        const QString listTree = work.path() + QStringLiteral("/list");
        makeTree(listTree, 100000, 1000);
        int listed = 0;
        const qint64 listing = timeListing(listTree, &listed);
        const qint64 find
            = timeShell(QStringLiteral("find '%1' -type f > /dev/null").arg(listTree));
        std::printf("listed %d files\n", listed);
        report("list 100000 entries", listing, find, "find -type f");
    }
    const QString programs = work.path() + QStringLiteral("/programs");
    if (wanted("verify") || wanted("start"))
        makePrograms(programs);
    if (wanted("verify")) {
        const qint64 loop = timeShellLoop(programs);
        report("verify 1000 files: SignFileModel in a view", timeModel(programs), loop,
               "sequential shell loop");
        report("  the same requested at once from SignatureVerifier", timeVerifier(programs), loop,
               "sequential shell loop");
        qputenv("DIGSIG_BSIGN_DELAY_MS", "5");
        report("  the same with 5 ms per verification: SignFileModel in a view",
               timeModel(programs), timeShellLoop(programs), "sequential shell loop");
        qunsetenv("DIGSIG_BSIGN_DELAY_MS");
    }
    if (wanted("start")) {
        compareToolStarts(programs + QStringLiteral("/prog0000"));
        compareParallelStarts(programs + QStringLiteral("/prog0000"));
    }
    printLoad("at end");
    QProcess::execute(QStringLiteral("gpgconf"), {QStringLiteral("--kill"), QStringLiteral("all")});
    return 0;
}
