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
#include <thread>

using namespace BsignStandIn;

class SignFileModelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> _dir;
    std::unique_ptr<Session> _session;
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
        _model = new ConfinedSignFileModel(_dir->path());
        new QAbstractItemModelTester(_model, QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     _model);
    }

    void cleanup()
    {
        delete _model;
        _model = nullptr;
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
        QCOMPARE(_model->data(cell("sub", 4), SignFileModel::SignatureStatusRole).toInt(),
                 int(SignFileModel::NotApplicable));
        QCOMPARE(text("prog", 4), QLatin1String("..."));
        QCOMPARE(_model->data(cell("prog", 5), SignFileModel::SignatureStatusRole).toInt(),
                 int(SignFileModel::Checking));
        QTRY_COMPARE(text("prog", 4), QLatin1String("0"));
        QCOMPARE(_session->verifiedFiles(), QStringList {file});
        QCOMPARE(text("sub", 4), QLatin1String("..."));
        QCOMPARE(text("sub", 5), QLatin1String("..."));
    }

    // Results that are in together reach a view as one change of the folder, and one
    // verification answers both cells of a file.
    void resultsOfAFolderArriveAsOneChange()
    {
        QStringList files;
        for (const char* name : {"a", "b", "c", "d", "e", "f"})
            files << makeFile(QLatin1String(name));
        QVERIFY(load(_dir->path(), 6));
        QSignalSpy changed(_model, &QAbstractItemModel::dataChanged);
        for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
            QCOMPARE(text(name, 5), QLatin1String("..."));
            QCOMPARE(text(name, 4), QLatin1String("..."));
        }
        // Without handling events, so that every result is waiting when they are handled.
        auto* verifier = _model->findChild<SignatureVerifier*>();
        QVERIFY(verifier);
        QElapsedTimer waited;
        waited.start();
        while (verifier->outstanding() > 0 && waited.elapsed() < 60000)
            std::this_thread::yield();
        QTRY_COMPARE(text("f", 4), QLatin1String("0"));
        QCOMPARE(changed.size(), 1);
        const auto topLeft = changed.first().at(0).value<QModelIndex>();
        const auto bottomRight = changed.first().at(1).value<QModelIndex>();
        QCOMPARE(bottomRight.row() - topLeft.row(), 5);
        QCOMPARE(topLeft.column(), 4);
        QCOMPARE(bottomRight.column(), 5);
        QStringList verified = _session->verifiedFiles();
        verified.sort();
        QCOMPARE(verified, files);
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

    static SignFileModel::SignatureStatus statusOf(const QString& text)
    {
        return text == QLatin1String("1") ? SignFileModel::Signed : SignFileModel::NotSigned;
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
        QCOMPARE(_model->data(cell("prog", 4), SignFileModel::SignatureStatusRole).toInt(),
                 int(statusOf(elf)));
        QCOMPARE(_model->data(cell("prog", 5), SignFileModel::SignatureStatusRole).toInt(),
                 int(statusOf(xattr)));
    }

    // A view asks again after every change; a file whose verification cannot run is tried a
    // bounded number of times and then says why, while the other files are verified as usual.
    void failedVerificationIsGivenUpWithAReason_data()
    {
        QTest::addColumn<QByteArray>("knob");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("calls");
        QTest::addColumn<QString>("reason");
        QTest::newRow("crash") << QByteArray("DIGSIG_BSIGN_CRASH") << QByteArray("1")
                               << SignFileModel::maxFailedVerifications << "the tool crashed";
        QTest::newRow("tool missing")
            << QByteArray("PATH") << QByteArray("/nonexistent") << 0
            << "The signing tool \"bsign\" could not be started: No such file or directory";
    }

    void failedVerificationIsGivenUpWithAReason()
    {
        QFETCH(QByteArray, knob);
        QFETCH(QByteArray, value);
        QFETCH(int, calls);
        QFETCH(QString, reason);
        const QString failing = makeFile(QStringLiteral("failing"));
        const QString good = makeFile(QStringLiteral("good"));
        QCOMPARE(sign(good, QStringLiteral("--elf-only")), 0);
        QVERIFY(load(_dir->path(), 2));
        connect(_model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
                        _model->data(topLeft.sibling(row, 4));
                        _model->data(topLeft.sibling(row, 5));
                    }
                });
        {
            ScopedEnv match("DIGSIG_BSIGN_MATCH", "/failing");
            ScopedEnv env(knob.constData(), value);
            QCOMPARE(text("failing", 4), QLatin1String("..."));
            QTRY_COMPARE(text("failing", 4), QLatin1String("?"));
        }
        QCOMPARE(text("failing", 5), QLatin1String("?"));
        QCOMPARE(_model->data(cell("failing", 5), SignFileModel::SignatureStatusRole).toInt(),
                 int(SignFileModel::Unverifiable));
        QCOMPARE(_model->data(cell("failing", 4), SignFileModel::SignatureFailureRole).toString(),
                 reason);
        QCOMPARE(_session->verifiedFiles().count(failing), calls);
        QCOMPARE(text("good", 4), QLatin1String("..."));
        QTRY_COMPARE(text("good", 4), QLatin1String("1"));
        QCOMPARE(_model->data(cell("good", 4), SignFileModel::SignatureFailureRole), QVariant());
        QCOMPARE(_session->verifiedFiles().count(failing), calls);
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
        QTRY_COMPARE(text("d/f1", 4), QLatin1String("0"));
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
        QStringList verified = _session->verifiedFiles();
        verified.sort();
        QCOMPARE(verified, (QStringList {f1, f1, f2}));
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
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(errno, ESRCH);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SignFileModelTest)
#include "signfilemodeltest.moc"
