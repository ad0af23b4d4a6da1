#include "filteredtreeproxymodel.h"
#include "bsignstandin.h"
#include "confinedsignfilemodel.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDir>
#include <QtTest>

class FilteredTreeProxyModelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> _dir;
    std::unique_ptr<ConfinedSignFileModel> _model;
    std::unique_ptr<FilteredTreeProxyModel> _proxy;

    void write(const QString& name, const QByteArray& bytes)
    {
        QVERIFY(TestSupport::writeFile(_dir->filePath(name), bytes));
    }

    // Names shown under the test folder, sorted.
    QStringList shown() const
    {
        const QModelIndex folder = _proxy->mapFromSource(_model->index(_dir->path()));
        QStringList names;
        for (int row = 0; row < _proxy->rowCount(folder); ++row)
            names << _proxy->index(row, 0, folder).data().toString();
        names.sort();
        return names;
    }

private Q_SLOTS:
    void init()
    {
        _dir = std::make_unique<QTemporaryDir>();
        const QByteArray elf = BsignStandIn::elfBytes();
        QVERIFY(QDir(_dir->path()).mkdir(QStringLiteral("folder")));
        write(QStringLiteral("program"), elf);
        write(QStringLiteral("script.sh"), "#!/bin/sh\necho hi\n");
        write(QStringLiteral("module.o"), elf);
        write(QStringLiteral("module.O"), elf);
        write(QStringLiteral("empty"), QByteArray());
        write(QStringLiteral("three"),
              QByteArray("\x7f"
                         "EL"));
        _model = std::make_unique<ConfinedSignFileModel>(_dir->path());
        _proxy = std::make_unique<FilteredTreeProxyModel>();
        new QAbstractItemModelTester(
            _proxy.get(), QAbstractItemModelTester::FailureReportingMode::QtTest, _proxy.get());
        _proxy->setSourceModel(_model.get());
        const QModelIndex folder = _model->setRootPath(_dir->path());
        _model->fetchMore(folder);
        QTRY_COMPARE(_model->rowCount(folder), 7);
    }

    void cleanup()
    {
        _proxy.reset();
        _model.reset();
        _dir.reset();
    }

    void elfOnlyHidesOtherFiles()
    {
        const QStringList all {QStringLiteral("empty"),    QStringLiteral("folder"),
                               QStringLiteral("module.O"), QStringLiteral("module.o"),
                               QStringLiteral("program"),  QStringLiteral("script.sh"),
                               QStringLiteral("three")};
        QVERIFY(!_proxy->elfOnly());
        QCOMPARE(shown(), all);

        _proxy->setElfOnly(true);
        QVERIFY(_proxy->elfOnly());
        QCOMPARE(shown(),
                 (QStringList {QStringLiteral("folder"), QStringLiteral("module.O"),
                               QStringLiteral("program")}));
        // Top-level rows are never filtered.
        QCOMPARE(_proxy->rowCount(), _model->rowCount());

        _proxy->setElfOnly(false);
        QCOMPARE(shown(), all);
    }

    // A sandbox root stands in for "/": only it and the directories leading to it are shown.
    void topDirectoryStandsInForTheRoot()
    {
        const QString top = _dir->filePath(QStringLiteral("folder"));
        _proxy->setTopDirectory(top + QLatin1Char('/'));
        QCOMPARE(_proxy->topDirectory(), top);
        QCOMPARE(shown(), QStringList {QStringLiteral("/")});
        QCOMPARE(_model->filePath(_proxy->mapToSource(
                     _proxy->index(0, 0, _proxy->mapFromSource(_model->index(_dir->path()))))),
                 top);
        QVERIFY(_proxy->mapFromSource(_model->index(QDir::rootPath())).isValid());
        _proxy->setTopDirectory(QDir::rootPath());
        QVERIFY(_proxy->topDirectory().isEmpty());
        QCOMPARE(shown().size(), 7);
    }

    // Answers are remembered per file, but a file that changes is looked at again.
    void changedFileIsTestedAgain()
    {
        _proxy->setElfOnly(true);
        QVERIFY(!shown().contains(QStringLiteral("script.sh")));
        write(QStringLiteral("script.sh"), BsignStandIn::elfBytes());
        _proxy->setElfOnly(true);
        QVERIFY(shown().contains(QStringLiteral("script.sh")));
        write(QStringLiteral("program"), "#!/bin/sh\n");
        _proxy->setElfOnly(true);
        QVERIFY(!shown().contains(QStringLiteral("program")));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(FilteredTreeProxyModelTest)
#include "filteredtreeproxymodeltest.moc"
