#include "bsignstandin.h"
#include "confinedsignfilemodel.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <memory>

using namespace BsignStandIn;

class SignFileModelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> _dir;
    std::unique_ptr<Session> _session;
    std::unique_ptr<TestSupport::ProcessWarningCounter> _warnings;
    SignFileModel* _model = nullptr;

    QString path(const QString& name) const { return _dir->filePath(name); }

    QString makeFile(const QString& name, const QByteArray& bytes = elfBytes())
    {
        TestSupport::writeFile(path(name), bytes);
        return path(name);
    }

    // Shows the folder in the model and waits until its rows are loaded.
    bool load(const QString& folder, int rows)
    {
        _model->setRootPath(_dir->path());
        const QModelIndex parent = _model->index(folder);
        if (_model->canFetchMore(parent))
            _model->fetchMore(parent);
        return QTest::qWaitFor([&] { return _model->rowCount(parent) == rows; }, 10000);
    }

    QModelIndex cell(const char* name, int column) const
    {
        const QModelIndex first = _model->index(path(QString::fromUtf8(name)));
        return first.sibling(first.row(), column);
    }

    // What a view would show; asking may queue a verification, as a repaint does.
    QString text(const char* name, int column) const
    {
        return _model->data(cell(name, column)).toString();
    }

    // How often dataChanged reported the row of this file.
    int changesOf(const QSignalSpy& spy, const char* name) const
    {
        const QModelIndex first = cell(name, 0);
        int count = 0;
        for (const QList<QVariant>& arguments : spy) {
            const auto topLeft = arguments.at(0).value<QModelIndex>();
            if (topLeft.sibling(topLeft.row(), 0) == first)
                ++count;
        }
        return count;
    }

private Q_SLOTS:
    void init()
    {
        _dir = std::make_unique<QTemporaryDir>();
        _session = std::make_unique<Session>();
        _warnings = std::make_unique<TestSupport::ProcessWarningCounter>();
        _model = new ConfinedSignFileModel(_dir->path());
        new QAbstractItemModelTester(_model, QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     _model);
    }

    void cleanup()
    {
        delete _model;
        _model = nullptr;
        QCOMPARE(_warnings->count(), 0);
        _warnings.reset();
        _session.reset();
        _dir.reset();
    }

    void columnsAndAlignment()
    {
        QDir(_dir->path()).mkdir(QStringLiteral("sub"));
        makeFile(QStringLiteral("prog"));
        QVERIFY(load(_dir->path(), 2));
        QCOMPARE(_model->columnCount(_model->index(_dir->path())), 6);
        QCOMPARE(_model->headerData(4, Qt::Horizontal).toString(), QLatin1String("Signature"));
        QCOMPARE(_model->headerData(5, Qt::Horizontal).toString(),
                 QLatin1String("Externed signature"));
        QCOMPARE(_model->headerData(0, Qt::Horizontal).toString(), QLatin1String("Name"));
        for (const char* name : {"sub", "prog"}) {
            for (int column = 0; column < 6; ++column) {
                const QVariant alignment = _model->data(cell(name, column), Qt::TextAlignmentRole);
                QCOMPARE(alignment.toInt(), int(Qt::AlignVCenter));
            }
        }
    }

    void directoryCellsStayPendingWithoutProcess()
    {
        QDir(_dir->path()).mkdir(QStringLiteral("sub"));
        const QString file = makeFile(QStringLiteral("prog"));
        QVERIFY(load(_dir->path(), 2));
        QCOMPARE(text("sub", 4), QLatin1String("..."));
        QCOMPARE(text("sub", 5), QLatin1String("..."));
        QCOMPARE(text("prog", 4), QLatin1String("..."));
        QTRY_COMPARE(text("prog", 4), QLatin1String("0"));
        // The queue is first in, first out: a process for the folder would have run first.
        QCOMPARE(_session->verifiedFiles(), QStringList {file});
        QCOMPARE(text("sub", 4), QLatin1String("..."));
        QCOMPARE(text("sub", 5), QLatin1String("..."));
    }

    void verificationsRunOneAtATimeInRequestOrder()
    {
        const QString a = makeFile(QStringLiteral("a"));
        const QString b = makeFile(QStringLiteral("b"));
        QCOMPARE(sign(b, QStringLiteral("--xattr")), 0);
        QVERIFY(load(_dir->path(), 2));
        ScopedEnv delay("DIGSIG_BSIGN_DELAY_MS", "150");

        QCOMPARE(text("b", 4), QLatin1String("..."));
        QCOMPARE(text("a", 4), QLatin1String("..."));
        QTRY_COMPARE(text("b", 5), QLatin1String("1"));
        QCOMPARE(text("a", 4), QLatin1String("..."));
        QTRY_COMPARE(text("a", 4), QLatin1String("0"));
        QCOMPARE(text("b", 4), QLatin1String("0"));
        QCOMPARE(text("a", 5), QLatin1String("0"));

        const QList<Call> calls = _session->verifyCalls();
        QCOMPARE(_session->verifiedFiles(), (QStringList {b, a}));
        QVERIFY2(calls[1].start >= calls[0].end, "two verifications overlapped");
    }

    void signatureStatesShown_data()
    {
        QTest::addColumn<QString>("modeFlag");
        QTest::addColumn<QString>("elf");
        QTest::addColumn<QString>("xattr");
        QTest::newRow("good ELF, no xattr") << QStringLiteral("--elf-only") << "1"
                                            << "0";
        QTest::newRow("xattr only") << QStringLiteral("--xattr") << "0"
                                    << "1";
        QTest::newRow("both") << QString() << "1"
                              << "1";
        QTest::newRow("unsigned") << QStringLiteral("none") << "0"
                                  << "0";
    }

    // One verification fills both cells of the row.
    void signatureStatesShown()
    {
        QFETCH(QString, modeFlag);
        QFETCH(QString, elf);
        QFETCH(QString, xattr);
        const QString file = makeFile(QStringLiteral("prog"));
        if (modeFlag != QLatin1String("none"))
            QCOMPARE(sign(file, modeFlag), 0);
        QVERIFY(load(_dir->path(), 1));
        QCOMPARE(text("prog", 4), QLatin1String("..."));
        QTRY_COMPARE(text("prog", 4), elf);
        QCOMPARE(text("prog", 5), xattr);
        QCOMPARE(_session->verifiedFiles(), (QStringList {file}));
    }

    // QProcess announces a crash twice; the second notice must not be taken for the result of
    // the file waiting behind.
    void crashedVerificationDoesNotLeakIntoNextFile()
    {
        const QString crashing = makeFile(QStringLiteral("crashme"));
        const QString good = makeFile(QStringLiteral("good"));
        QCOMPARE(sign(good, QStringLiteral("--elf-only")), 0);
        QVERIFY(load(_dir->path(), 2));
        ScopedEnv match("DIGSIG_BSIGN_MATCH", "/crashme");
        ScopedEnv crash("DIGSIG_BSIGN_CRASH", "1");
        QSignalSpy changed(_model, &QAbstractItemModel::dataChanged);

        QCOMPARE(text("crashme", 4), QLatin1String("..."));
        QCOMPARE(text("good", 4), QLatin1String("..."));
        QTRY_COMPARE(text("good", 4), QLatin1String("1"));
        QCOMPARE(text("good", 5), QLatin1String("0"));
        QCOMPARE(_session->verifiedFiles(), (QStringList {crashing, good}));
        QCOMPARE(changesOf(changed, "crashme"), 1);

        // Unknown again: the next request verifies the file again.
        QCOMPARE(text("crashme", 4), QLatin1String("..."));
        QTRY_COMPARE(_session->verifiedFiles().count(crashing), 2);
        QTRY_COMPARE(changesOf(changed, "crashme"), 2);
        QCOMPARE(text("crashme", 5), QLatin1String("..."));
        QTRY_COMPARE(_session->verifiedFiles().count(crashing), 3);
    }

    // A tool that cannot start is tried a bounded number of times, even by a view that asks
    // again on every change.
    void missingToolIsNotRetriedForever()
    {
        makeFile(QStringLiteral("x"));
        const QString y = makeFile(QStringLiteral("y"));
        const QString z = makeFile(QStringLiteral("z"));
        QVERIFY(load(_dir->path(), 3));
        connect(_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& index) {
            _model->data(index.sibling(index.row(), 4));
            _model->data(index.sibling(index.row(), 5));
        });
        QSignalSpy changed(_model, &QAbstractItemModel::dataChanged);
        {
            QTemporaryDir emptyDir;
            ScopedEnv noTool("PATH", emptyDir.path().toUtf8());
            QCOMPARE(text("x", 4), QLatin1String("..."));
            QTRY_COMPARE(changesOf(changed, "x"), SignFileModel::maxFailedVerifications);
        }
        QCOMPARE(text("y", 4), QLatin1String("..."));
        QTRY_COMPARE(text("y", 4), QLatin1String("0"));
        QCOMPARE(text("x", 4), QLatin1String("..."));
        QCOMPARE(text("z", 4), QLatin1String("..."));
        QTRY_COMPARE(text("z", 4), QLatin1String("0"));
        QCOMPARE(_session->verifiedFiles(), (QStringList {y, z}));
        QCOMPARE(changesOf(changed, "x"), SignFileModel::maxFailedVerifications);
    }

    void updateSignaturesDropsChildrenBeforeParent()
    {
        QDir(_dir->path()).mkdir(QStringLiteral("d"));
        const QString f1 = makeFile(QStringLiteral("d/f1"));
        const QString f2 = makeFile(QStringLiteral("d/f2"));
        QVERIFY(load(_dir->path(), 1));
        QVERIFY(load(path(QStringLiteral("d")), 2));
        QCOMPARE(text("d/f1", 4), QLatin1String("..."));
        QCOMPARE(text("d/f2", 4), QLatin1String("..."));
        QTRY_COMPARE(text("d/f2", 4), QLatin1String("0"));
        QCOMPARE(text("d/f1", 4), QLatin1String("0"));
        QCOMPARE(sign(f1, QStringLiteral("--elf-only")), 0);
        QCOMPARE(text("d/f1", 4), QLatin1String("0"));

        QSignalSpy changed(_model, &QAbstractItemModel::dataChanged);
        _model->updateSignatures({cell("d", 0)});
        QCOMPARE(changed.size(), 3);
        QCOMPARE(changed.last().at(0).value<QModelIndex>(), cell("d", 4));
        QCOMPARE(changed.last().at(1).value<QModelIndex>(), cell("d", 5));
        QCOMPARE(changesOf(changed, "d/f1"), 1);
        QCOMPARE(changesOf(changed, "d/f2"), 1);

        QCOMPARE(text("d/f1", 4), QLatin1String("..."));
        QTRY_COMPARE(text("d/f1", 4), QLatin1String("1"));
        QCOMPARE(_session->verifiedFiles(), (QStringList {f1, f2, f1}));
    }

    void destructionEndsRunningVerification()
    {
        makeFile(QStringLiteral("prog"));
        QVERIFY(load(_dir->path(), 1));
        ScopedEnv hang("DIGSIG_BSIGN_HANG", "1");
        QCOMPARE(text("prog", 4), QLatin1String("..."));
        QTRY_COMPARE(_session->calls().size(), 1);
        const auto pid = pid_t(_session->calls().first().pid);
        delete _model;
        _model = nullptr;
        QCOMPARE(_warnings->count(), 0);
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(errno, ESRCH);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SignFileModelTest)
#include "signfilemodeltest.moc"
