#include "checkabletreeproxymodel.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QFileSystemModel>
#include <QStandardItemModel>

class CheckableTreeProxyModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksCoverSubtreesAndListTheirRoots_data();
    void checksCoverSubtreesAndListTheirRoots();
    void directoryCheckedBeforeItsChildrenLoadCoversThem();
};

// The letters of the items' check states: Unchecked, Partially checked or Checked.
static QString states(const QModelIndexList& indexes)
{
    QString letters;
    for (const QModelIndex& index : indexes)
        letters += QLatin1Char("UPC"[index.data(Qt::CheckStateRole).toInt()]);
    return letters;
}

// Steps on the tree a(a1, a2(x, y)), b(b1), c: "+name" checks, "-name" unchecks, "~regex"
// filters the top level. States: the letters of the items named, then the checked roots.
void CheckableTreeProxyModelTest::checksCoverSubtreesAndListTheirRoots_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("items");
    QTest::addColumn<QString>("expected");
    const auto row
        = [](const char* name, const char* steps, const char* items, const char* states) {
              QTest::newRow(name) << QString(steps) << QString(items) << QString(states);
          };
    row("inner item", "+a2", "a a2 x a1 b", "PCCUU a2");
    row("parent absorbs roots, in tree order", "+c +y +b1 +a +x", "a a1 b", "CCP a b1 c");
    row("uncheck splits the subtree", "+a -x", "a a2 y x", "PPCU a1 y");
    row("uncheck the root", "+a -a", "a y", "UU ");
    row("filtered out", "+b +c ~^[ac]", "c", "C c");
    row("filter lifted", "+b +c ~^[ac] ~", "b b1", "CC b c");
}

void CheckableTreeProxyModelTest::checksCoverSubtreesAndListTheirRoots()
{
    QFETCH(QString, steps);
    QFETCH(QString, items);
    QFETCH(QString, expected);
    QStandardItemModel source;
    auto* a = new QStandardItem(QStringLiteral("a"));
    auto* a2 = new QStandardItem(QStringLiteral("a2"));
    auto* b = new QStandardItem(QStringLiteral("b"));
    a2->appendRows(
        {new QStandardItem(QStringLiteral("x")), new QStandardItem(QStringLiteral("y"))});
    a->appendRows({new QStandardItem(QStringLiteral("a1")), a2});
    b->appendRow(new QStandardItem(QStringLiteral("b1")));
    source.invisibleRootItem()->appendRows({a, b, new QStandardItem(QStringLiteral("c"))});
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);
    proxy.setRecursiveFilteringEnabled(false);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&proxy, &CheckableTreeProxyModel::someCheckedStateChenged);
    const auto at = [&](const QString& name) {
        return proxy.mapFromSource(source
                                       .match(source.index(0, 0), Qt::DisplayRole, name, 1,
                                              Qt::MatchExactly | Qt::MatchRecursive)
                                       .value(0));
    };

    int checks = 0;
    for (const QString& step : steps.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1Char('~'))) {
            proxy.setFilterRegularExpression(step.mid(1));
            proxy.invalidateFilterAndData();
            continue;
        }
        QVERIFY(proxy.flags(at(step.mid(1))) & Qt::ItemIsUserCheckable);
        QVERIFY(proxy.setData(at(step.mid(1)), step[0] == '+' ? Qt::Checked : Qt::Unchecked,
                              Qt::CheckStateRole));
        ++checks;
    }
    QStringList names;
    for (const QModelIndex& index : proxy.checkedList()) {
        QCOMPARE(index.model(), static_cast<const QAbstractItemModel*>(&proxy));
        names << index.data().toString();
    }
    QModelIndexList shown;
    for (const QString& item : items.split(QLatin1Char(' ')))
        shown << at(item);
    QCOMPARE(states(shown) + ' ' + names.join(' '), expected);
    QCOMPARE(changed.size(), checks);
}

void CheckableTreeProxyModelTest::directoryCheckedBeforeItsChildrenLoadCoversThem()
{
    QTemporaryDir dir;
    for (const char* file : {"top/sub/deep.txt", "top/file.txt", "other.txt"})
        QVERIFY(TestSupport::writeFile(dir.filePath(QLatin1String(file)), "1"));
    QFileSystemModel source;
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);
    // No model tester here: it would walk and fetch the whole file system from "/".
    source.setRootPath(dir.path());
    // Proxy indexes go stale while the model loads, so look them up afresh each time.
    const auto at = [&](const char* relative) {
        return proxy.mapFromSource(source.index(dir.filePath(QLatin1String(relative))));
    };
    QTRY_COMPARE(proxy.rowCount(at(".")), 2);
    QCOMPARE(proxy.rowCount(at("top")), 0);
    QVERIFY(proxy.setData(at("top"), Qt::Checked, Qt::CheckStateRole));

    // Only now does the model learn what lies below the checked directory.
    proxy.fetchMore(at("top"));
    QTRY_COMPARE(proxy.rowCount(at("top")), 2);
    proxy.fetchMore(at("top/sub"));
    QTRY_COMPARE(proxy.rowCount(at("top/sub")), 1);
    QCOMPARE(states({at("top/sub"), at("top/file.txt"), at("top/sub/deep.txt"), at("other.txt"),
                     at(".")}),
             QStringLiteral("CCCUP"));
    QVERIFY(proxy.setData(at("top/file.txt"), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(proxy.checkedList(), QModelIndexList {at("top/sub")});
    QCOMPARE(states({at("top")}), QStringLiteral("P"));
}

DIGSIG_SANDBOX_TEST_MAIN(CheckableTreeProxyModelTest)
#include "checkabletreeproxymodeltest.moc"
