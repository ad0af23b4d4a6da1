#include "checkabletreeproxymodel.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QStandardItemModel>

class CheckableTreeProxyModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checksCoverSubtreesAndListTheirRoots_data();
    void checksCoverSubtreesAndListTheirRoots();
};

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
    row("parent absorbs roots, in tree order", "+c +y +b1 +a +x", "a a1 b", "CCP a b1 c");
    row("uncheck splits the subtree", "+a -x", "a a2 y x", "PPCU a1 y");
    row("filtered out", "+b +c ~^[ac]", "c", "C c");
    row("filter lifted", "+b +c ~^[ac] ~", "b b1", "CC b c");
}

void CheckableTreeProxyModelTest::checksCoverSubtreesAndListTheirRoots()
{
    QFETCH(QString, steps);
    QFETCH(QString, items);
    QFETCH(QString, expected);
    QStandardItemModel source;
    QHash<QString, QStandardItem*> named;
    const auto item = [&named](const char* name, QList<QStandardItem*> children = {}) {
        auto* item = named[QLatin1String(name)] = new QStandardItem(QLatin1String(name));
        item->appendRows(children);
        return item;
    };
    source.invisibleRootItem()->appendRows(
        {item("a", {item("a1"), item("a2", {item("x"), item("y")})}), item("b", {item("b1")}),
         item("c")});
    CheckableTreeProxyModel proxy;
    proxy.setSourceModel(&source);
    proxy.setRecursiveFilteringEnabled(false);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&proxy, &CheckableTreeProxyModel::someCheckedStateChenged);
    const auto at = [&](const QString& name) {
        return proxy.mapFromSource(source.indexFromItem(named[name]));
    };

    for (const QString& step : steps.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1Char('~'))) {
            proxy.setFilterRegularExpression(step.mid(1));
            proxy.invalidateFilterAndData();
            continue;
        }
        QVERIFY(proxy.flags(at(step.mid(1))) & Qt::ItemIsUserCheckable);
        QVERIFY(proxy.setData(at(step.mid(1)), step[0] == '+' ? Qt::Checked : Qt::Unchecked,
                              Qt::CheckStateRole));
    }
    QStringList names;
    for (const QModelIndex& index : proxy.checkedList()) {
        QCOMPARE(index.model(), static_cast<const QAbstractItemModel*>(&proxy));
        names << index.data().toString();
    }
    QString states;
    for (const QString& item : items.split(QLatin1Char(' ')))
        states += QLatin1Char("UPC"[at(item).data(Qt::CheckStateRole).toInt()]);
    QCOMPARE(states + ' ' + names.join(' '), expected);
    QCOMPARE(changed.size(), steps.count(QRegularExpression(QStringLiteral("[+-]"))));
}

DIGSIG_SANDBOX_TEST_MAIN(CheckableTreeProxyModelTest)
#include "checkabletreeproxymodeltest.moc"
