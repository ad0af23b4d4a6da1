#include "checkabletreeproxymodel.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QFileSystemModel>
#include <QStandardItemModel>

namespace {

// a/{a1,a2/{x,y}}, b/{b1}, c
void fillTree(QStandardItemModel& model)
{
    auto* a = new QStandardItem(QStringLiteral("a"));
    auto* a2 = new QStandardItem(QStringLiteral("a2"));
    a2->appendRow(new QStandardItem(QStringLiteral("x")));
    a2->appendRow(new QStandardItem(QStringLiteral("y")));
    a->appendRow(new QStandardItem(QStringLiteral("a1")));
    a->appendRow(a2);
    auto* b = new QStandardItem(QStringLiteral("b"));
    b->appendRow(new QStandardItem(QStringLiteral("b1")));
    model.appendRow(a);
    model.appendRow(b);
    model.appendRow(new QStandardItem(QStringLiteral("c")));
}

QModelIndex find(const QAbstractItemModel& model, const QStringList& path)
{
    QModelIndex index;
    for (const QString& name : path) {
        const QModelIndexList hits
            = model.match(model.index(0, 0, index), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        if (hits.isEmpty())
            return {};
        index = hits.first();
    }
    return index;
}

QStringList names(const QModelIndexList& indexes)
{
    QStringList result;
    for (const QModelIndex& index : indexes)
        result.append(index.data().toString());
    return result;
}

int state(const QModelIndex& index)
{
    return index.data(Qt::CheckStateRole).toInt();
}

void setState(QAbstractItemModel& model, const QModelIndex& index, Qt::CheckState value)
{
    QVERIFY(model.setData(index, value, Qt::CheckStateRole));
}

} // namespace

class CheckableTreeProxyModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkingCoversTheSubtreeAndMarksParentsPartial();
    void uncheckingInsideACheckedSubtreeKeepsTheRestExact();
    void checkedListHoldsOnlySubtreeRootsInTreeOrder();
    void filteredOutRowsDropOutOfTheList();
    void directoryCheckedBeforeItsChildrenLoadCoversThem();
};

void CheckableTreeProxyModelTest::checkingCoversTheSubtreeAndMarksParentsPartial()
{
    QStandardItemModel source;
    fillTree(source);
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&proxy, &CheckableTreeProxyModel::someCheckedStateChenged);

    QVERIFY(proxy.flags(find(proxy, {"a"})) & Qt::ItemIsUserCheckable);
    QCOMPARE(state(find(proxy, {"a"})), int(Qt::Unchecked));
    setState(proxy, find(proxy, {"a", "a2"}), Qt::Checked);

    QCOMPARE(changed.size(), 1);
    QCOMPARE(state(find(proxy, {"a", "a2"})), int(Qt::Checked));
    QCOMPARE(state(find(proxy, {"a", "a2", "x"})), int(Qt::Checked));
    QCOMPARE(state(find(proxy, {"a"})), int(Qt::PartiallyChecked));
    QCOMPARE(state(find(proxy, {"a", "a1"})), int(Qt::Unchecked));
    QCOMPARE(state(find(proxy, {"b"})), int(Qt::Unchecked));

    setState(proxy, find(proxy, {"a"}), Qt::Checked);
    QCOMPARE(state(find(proxy, {"a"})), int(Qt::Checked));
    QCOMPARE(state(find(proxy, {"a", "a1"})), int(Qt::Checked));
    QCOMPARE(names(proxy.checkedList()), QStringList {"a"});

    setState(proxy, find(proxy, {"a"}), Qt::Unchecked);
    QCOMPARE(state(find(proxy, {"a", "a2", "y"})), int(Qt::Unchecked));
    QVERIFY(proxy.checkedList().isEmpty());
    QCOMPARE(changed.size(), 3);
}

void CheckableTreeProxyModelTest::uncheckingInsideACheckedSubtreeKeepsTheRestExact()
{
    QStandardItemModel source;
    fillTree(source);
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);

    setState(proxy, find(proxy, {"a"}), Qt::Checked);
    setState(proxy, find(proxy, {"a", "a2", "x"}), Qt::Unchecked);

    QCOMPARE(state(find(proxy, {"a", "a2", "x"})), int(Qt::Unchecked));
    QCOMPARE(state(find(proxy, {"a", "a2", "y"})), int(Qt::Checked));
    QCOMPARE(state(find(proxy, {"a", "a2"})), int(Qt::PartiallyChecked));
    QCOMPARE(state(find(proxy, {"a"})), int(Qt::PartiallyChecked));
    QCOMPARE(names(proxy.checkedList()), (QStringList {"a1", "y"}));
}

void CheckableTreeProxyModelTest::checkedListHoldsOnlySubtreeRootsInTreeOrder()
{
    QStandardItemModel source;
    fillTree(source);
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);

    setState(proxy, find(proxy, {"c"}), Qt::Checked);
    setState(proxy, find(proxy, {"a", "a2", "y"}), Qt::Checked);
    setState(proxy, find(proxy, {"b", "b1"}), Qt::Checked);
    QCOMPARE(names(proxy.checkedList()), (QStringList {"y", "b1", "c"}));

    // A parent checked later absorbs the roots below it.
    setState(proxy, find(proxy, {"a"}), Qt::Checked);
    setState(proxy, find(proxy, {"a", "a2", "x"}), Qt::Checked);
    QCOMPARE(names(proxy.checkedList()), (QStringList {"a", "b1", "c"}));
    for (const QModelIndex& index : proxy.checkedList())
        QCOMPARE(index.model(), static_cast<const QAbstractItemModel*>(&proxy));
}

void CheckableTreeProxyModelTest::filteredOutRowsDropOutOfTheList()
{
    QStandardItemModel source;
    fillTree(source);
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);
    proxy.setRecursiveFilteringEnabled(false);
    setState(proxy, find(proxy, {"b"}), Qt::Checked);
    setState(proxy, find(proxy, {"c"}), Qt::Checked);

    proxy.setFilterRegularExpression(QRegularExpression(QStringLiteral("^[ac]")));
    proxy.invalidateFilterAndData();
    QCOMPARE(names(proxy.checkedList()), QStringList {"c"});
    proxy.setFilterRegularExpression(QRegularExpression());
    proxy.invalidateFilterAndData();
    QCOMPARE(names(proxy.checkedList()), (QStringList {"b", "c"}));
}

void CheckableTreeProxyModelTest::directoryCheckedBeforeItsChildrenLoadCoversThem()
{
    QTemporaryDir dir;
    QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("top/sub/deep.txt")), "1"));
    QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("top/file.txt")), "2"));
    QVERIFY(TestSupport::writeFile(dir.filePath(QStringLiteral("other.txt")), "3"));

    QFileSystemModel source;
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);
    // No model tester here: it would walk and fetch the whole file system from "/".
    source.setRootPath(dir.path());
    // Proxy indexes go stale while the model loads, so look them up afresh each time.
    const auto at = [&](const QString& relative) {
        return proxy.mapFromSource(source.index(dir.filePath(relative)));
    };
    QTRY_COMPARE(proxy.rowCount(at(QStringLiteral("."))), 2);
    QCOMPARE(proxy.rowCount(at(QStringLiteral("top"))), 0);
    setState(proxy, at(QStringLiteral("top")), Qt::Checked);

    // Only now does the model learn what lies below the checked directory.
    proxy.fetchMore(at(QStringLiteral("top")));
    QTRY_COMPARE(proxy.rowCount(at(QStringLiteral("top"))), 2);
    QCOMPARE(state(at(QStringLiteral("top/sub"))), int(Qt::Checked));
    QCOMPARE(state(at(QStringLiteral("top/file.txt"))), int(Qt::Checked));
    proxy.fetchMore(at(QStringLiteral("top/sub")));
    QTRY_COMPARE(proxy.rowCount(at(QStringLiteral("top/sub"))), 1);
    QCOMPARE(state(at(QStringLiteral("top/sub/deep.txt"))), int(Qt::Checked));
    QCOMPARE(state(at(QStringLiteral("other.txt"))), int(Qt::Unchecked));

    QCOMPARE(proxy.checkedList().size(), 1);
    QCOMPARE(source.filePath(proxy.mapToSource(proxy.checkedList().first())),
             dir.filePath(QStringLiteral("top")));
    QCOMPARE(state(at(QStringLiteral("."))), int(Qt::PartiallyChecked));

    setState(proxy, at(QStringLiteral("top/file.txt")), Qt::Unchecked);
    QStringList paths;
    for (const QModelIndex& index : proxy.checkedList())
        paths.append(source.filePath(proxy.mapToSource(index)));
    QCOMPARE(paths, QStringList {dir.filePath(QStringLiteral("top/sub"))});
    QCOMPARE(state(at(QStringLiteral("top"))), int(Qt::PartiallyChecked));
}

DIGSIG_SANDBOX_TEST_MAIN(CheckableTreeProxyModelTest)
#include "checkabletreeproxymodeltest.moc"
