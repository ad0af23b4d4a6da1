#include "signaturedelegate.h"
#include "bsignstandin.h"
#include "confinedsignfilemodel.h"
#include "testsupport.h"

#include <QTreeView>
#include <QtTest>

#include <memory>

using namespace BsignStandIn;

class SignatureDelegateTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cellsAreReadable_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("toolTip");
        const QString elf = QStringLiteral("Whether the file carries a good signature embedded in "
                                           "the executable (ELF) file itself.");
        const QString xattr = QStringLiteral("Whether the file carries a good signature in its "
                                             "extended attributes.");
        QTest::newRow("signed") << "signed" << 4 << "Signed" << elf;
        QTest::newRow("not signed") << "signed" << 5 << "Not signed" << xattr;
        QTest::newRow("being checked") << "held" << 4 << "Checking\u2026" << elf;
        QTest::newRow("folder") << "folder" << 5 << ""
                                << "";
        QTest::newRow("could not be checked") << "no tool" << 5 << "?"
                                              << xattr
                + QStringLiteral("\nThe file could not be checked: The signing tool \"bsign\" "
                                 "could not be started: No such file or directory");
    }

    void cellsAreReadable()
    {
        QFETCH(QString, state);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, toolTip);
        QTemporaryDir dir;
        Session session;
        const QString path = dir.filePath(QStringLiteral("entry"));
        if (state == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(TestSupport::writeFile(path, elfBytes()));
        if (state == QLatin1String("signed"))
            QCOMPARE(sign(path, QStringLiteral("--elf-only")), 0);
        std::unique_ptr<ScopedEnv> knob;
        if (state == QLatin1String("held"))
            knob
                = std::make_unique<ScopedEnv>("DIGSIG_BSIGN_WAIT_FOR", session.gatePath().toUtf8());
        if (state == QLatin1String("no tool"))
            knob = std::make_unique<ScopedEnv>("PATH", "/nonexistent");

        ConfinedSignFileModel model(dir.path());
        model.setRootPath(dir.path());
        const QModelIndex root = model.index(dir.path());
        model.fetchMore(root);
        QTRY_COMPARE(model.rowCount(root), 1);
        QTreeView view;
        view.setModel(&model);
        view.setRootIndex(root);
        SignatureDelegate delegate;
        view.setItemDelegateForColumn(column, &delegate);
        view.show();
        const QModelIndex cell = model.index(path).sibling(0, column);
        // The view asks on every change, as it repaints.
        connect(&model, &QAbstractItemModel::dataChanged, &view,
                [&cell] { SignatureDelegate::presentation(cell); });
        if (state != QLatin1String("held"))
            QTRY_VERIFY(SignatureDelegate::presentation(cell).text
                        != QStringLiteral("Checking\u2026"));
        const SignatureDelegate::Presentation shown = SignatureDelegate::presentation(cell);
        QCOMPARE(shown.text, text);
        QCOMPARE(shown.icon.isNull(), text.isEmpty());
        QCOMPARE(shown.toolTip, toolTip);
        session.openGate();
    }
};

DIGSIG_SANDBOX_TEST_MAIN(SignatureDelegateTest)
#include "signaturedelegatetest.moc"
