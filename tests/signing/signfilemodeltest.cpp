#include "signfilemodel.h"
#include "bsignstandin.h"
#include "filteredtreeproxymodel.h"
#include "signaturedelegate.h"

#include <QAbstractItemModelTester>

#include <optional>
#include <thread>

using namespace BsignStandIn;

namespace {

// QAbstractItemModelTester fetches every folder it meets, ten levels deep from "/", which on a
// file-system model walks the whole machine: this one loads only the test's own folder.
struct ConfinedSignFileModel : SignFileModel
{
    QString folder;
    bool canFetchMore(const QModelIndex& parent) const override
    {
        return filePath(parent).startsWith(folder) && SignFileModel::canFetchMore(parent);
    }
};

struct Delegate : SignatureDelegate
{
    using SignatureDelegate::initStyleOption;
};

} // namespace

// The file tree of the signing widget: the signature columns of the file model, verified
// lazily by one tool run per file, how the delegate presents them, and the filtering proxy.
class SignFileModelTest : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> _dir;
    std::optional<Session> _session;
    std::optional<ConfinedSignFileModel> _model;

    QString path(const QString& name) const { return _dir->filePath(name); }
    QModelIndex cell(const QString& name, int column) const
    {
        return _model->index(path(name)).siblingAtColumn(column);
    }
    // What a view shows; asking may start a verification, as a repaint does.
    QString text(const QString& name, int column) const
    {
        return cell(name, column).data().toString();
    }

    // Writes the ELF files, with the folders they name, and shows the folder once its rows are
    // loaded.
    bool load(const QStringList& names, const QString& folder = QString())
    {
        for (const QString& name : names)
            TestSupport::writeFile(path(name), elfBytes());
        _model->setRootPath(_dir->path());
        const QModelIndex parent = _model->index(path(folder));
        _model->fetchMore(parent);
        const int rows = QDir(_model->filePath(parent)).count() - 2;
        return QTest::qWaitFor([&] { return _model->rowCount(parent) == rows; });
    }

private Q_SLOTS:
    void init()
    {
        // The model ends its tools before the old session gives the environment back.
        _model.reset();
        _session.emplace();
        _dir.emplace();
        _model.emplace().folder = _dir->path();
        new QAbstractItemModelTester(
            &*_model, QAbstractItemModelTester::FailureReportingMode::QtTest, &*_model);
    }

    void cellsFollowTheVerification_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("cells");
        QTest::addColumn<int>("runs");
        const auto row = [](const char* name, const char* entry, const char* cells, int runs) {
            QTest::newRow(name) << QString(entry) << QString(cells) << runs;
        };
        row("folder", "folder", "...: | ...:", 0);
        row("ELF signature", "--elf-only", "1:Signed* | 0:Not signed*", 1);
        row("xattr signature", "--xattr", "0:Not signed* | 1:Signed*", 1);
        row("being checked", "held", "...:Checking\u2026* | ...:Checking\u2026*", 0);
        row("tool crashes", "crash", "?:?* | ?:?*", SignFileModel::maxFailedVerifications);
    }

    // One run answers both cells. A file whose verification keeps failing is given up after a
    // bounded number of runs, however often a view asks, and says why; its neighbours are
    // verified as usual. The delegate shows a word and an icon for every file cell, nothing for
    // a folder, and a tool tip that tells the columns apart and gives the reason of a failure.
    void cellsFollowTheVerification()
    {
        QFETCH(QString, entry);
        QFETCH(QString, cells);
        QFETCH(int, runs);
        const bool folder = entry == QLatin1String("folder");
        QVERIFY(load({folder ? "entry/file" : "entry", "good"}));
        if (entry.startsWith(QLatin1String("--")))
            QCOMPARE(sign(path("entry"), entry), 0);
        QCOMPARE(sign(path("good"), QStringLiteral("--elf-only")), 0);
        ScopedEnv match("DIGSIG_BSIGN_MATCH", "/entry");
        ScopedEnv waitMatch("DIGSIG_BSIGN_WAIT_MATCH", "/entry");
        ScopedEnv crash("DIGSIG_BSIGN_CRASH", entry == QLatin1String("crash") ? "1" : nullptr);
        // Held until the model ends it.
        ScopedEnv hold("DIGSIG_BSIGN_WAIT_FOR", entry == QLatin1String("held") ? "/none" : nullptr);
        // A view asks for the cells of every changed row again, as it repaints them.
        connect(&*_model, &QAbstractItemModel::dataChanged, this, [this] { text("entry", 4); });
        QTRY_COMPARE(text("good", 4), QLatin1String("1"));
        if (entry == QLatin1String("held"))
            QTRY_VERIFY(_session->started().contains(path("entry")));
        // A cell as a view shows it: its text, the delegate's word, then "*" for an icon drawn.
        const auto shown = [&](int column) {
            // As a view passes it, still set up for the icon of another cell.
            QStyleOptionViewItem option;
            option.features = QStyleOptionViewItem::HasDecoration;
            Delegate().initStyleOption(&option, cell("entry", column));
            const bool decorated = option.features.testFlag(QStyleOptionViewItem::HasDecoration);
            return text("entry", column) + QLatin1Char(':') + option.text + (decorated ? "*" : "")
                + (option.icon.isNull() == decorated ? "!" : "");
        };
        QTRY_COMPARE(shown(4) + " | " + shown(5), cells);
        QCOMPARE(_session->verifiedFiles().count(path("entry")), runs);
        const QString why = cell("entry", 4).data(SignFileModel::SignatureFailureRole).toString();
        QCOMPARE(why.isEmpty(), entry != QLatin1String("crash"));
        const QStringList tips {SignatureDelegate::presentation(cell("entry", 4)).toolTip,
                                SignatureDelegate::presentation(cell("entry", 5)).toolTip};
        QVERIFY(tips[0].endsWith(why) && tips[1].endsWith(why));
        QCOMPARE(tips[0].contains("(ELF)") && tips[1].contains("extended attributes"), !folder);
    }

    // Results that are in together reach a view as one change of their folder. Updating the
    // folder drops what is known of everything in it, and a view's next question verifies
    // again. The proxy hides files that are not ELF files, but never folders, and asks again
    // about a file that has changed. A sandbox root stands in for "/": only it and the folders
    // that lead to it are shown, not a neighbour whose name begins like it.
    void folderResultsAndFilter()
    {
        // Asked in this order, the first result is neither the first nor the last row.
        const QStringList names {"d/c", "d/a", "d/b", "d/e", "d/g", "d/f"};
        QVERIFY(load(names) && load({}, "d"));
        QSignalSpy changed(&*_model, &QAbstractItemModel::dataChanged);
        for (const QString& name : names)
            QCOMPARE(text(name, 5), QLatin1String("..."));
        // Without handling events, so that every result is waiting when they are handled.
        while (_model->findChild<SignatureVerifier*>()->outstanding() > 0)
            std::this_thread::yield();
        QTRY_COMPARE(text("d/g", 4), QLatin1String("0"));
        QCOMPARE(changed.size(), 1);
        // Rows, not indexes: the model may sort the folder again once it has been told.
        const auto corner = [&](int i) {
            return changed.first().at(i).value<QModelIndex>();
        };
        QCOMPARE(QPoint(corner(0).column(), corner(0).row()), QPoint(4, 0));
        QCOMPARE(QPoint(corner(1).column(), corner(1).row()), QPoint(5, 5));
        QCOMPARE(sign(path("d/a"), QStringLiteral("--elf-only")), 0);
        changed.clear();
        _model->updateSignatures({cell("d", 0), QModelIndex()});
        QCOMPARE(changed.size(), 7);
        QTRY_COMPARE(text("d/a", 4), QLatin1String("1"));

        // Only now, so that no other folder's results arrive while the grouping is checked.
        QVERIFY(load({"fol/file", "folder/file", "program", "script.sh"}));
        QVERIFY(TestSupport::writeFile(path("script.sh"), "#!/bin/sh\n"));
        FilteredTreeProxyModel proxy;
        new QAbstractItemModelTester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     &proxy);
        proxy.setSourceModel(&*_model);
        const auto shown = [&] {
            const QModelIndex folder = proxy.mapFromSource(_model->index(_dir->path()));
            QStringList names;
            for (int row = 0; row < proxy.rowCount(folder); ++row)
                names << proxy.index(row, 0, folder).data().toString();
            names.sort();
            return names.join(QLatin1Char(' '));
        };
        QTRY_COMPARE(shown(), QLatin1String("d fol folder program script.sh"));
        proxy.setElfOnly(true);
        QCOMPARE(shown(), QLatin1String("d fol folder program"));
        QVERIFY(TestSupport::writeFile(path("program"), "#!/bin/sh\n"));
        proxy.setElfOnly(true);
        QCOMPARE(shown(), QLatin1String("d fol folder"));
        proxy.setTopDirectory(path("folder/"));
        QCOMPARE(proxy.topDirectory(), path("folder"));
        QCOMPARE(shown(), QLatin1String("/"));
        proxy.setTopDirectory(QDir::rootPath());
        QCOMPARE(shown(), QLatin1String("d fol folder"));
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SignFileModelTest)
#include "signfilemodeltest.moc"
