#include "createkeydialog.h"
#include "keymanager.h"
#include "selectkeydialog.h"
#include "signingdialog.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QLabel>

#include <memory>

// Every dialog can be worked from the keyboard: each button, check box and label the dialog
// names itself carries a mnemonic, and each such label leads to its field.
class DialogMnemonicsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyControlHasAMnemonic_data();
    void everyControlHasAMnemonic();
};

void DialogMnemonicsTest::everyControlHasAMnemonic_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<int>("controls");
    QTest::newRow("create key") << "CreateKeyDialog" << 3;
    QTest::newRow("key selection") << "SelectKeyDialog" << 4;
    QTest::newRow("signing progress") << "SigningDialog" << 1;
}

void DialogMnemonicsTest::everyControlHasAMnemonic()
{
    QFETCH(QString, dialog);
    QFETCH(int, controls);
    KeyManager keys;
    QVERIFY(keys.init(QString()));
    std::unique_ptr<QDialog> shown;
    if (dialog == QLatin1String("CreateKeyDialog"))
        shown = std::make_unique<CreateKeyDialog>(&keys, nullptr);
    else if (dialog == QLatin1String("SelectKeyDialog"))
        shown = std::make_unique<SelectKeyDialog>(&keys, Bsign::ElfAndXattr, nullptr);
    else
        shown = std::make_unique<SigningDialog>(&keys, QString(), QStringList(), Bsign::ElfOnly,
                                                false, nullptr);
    QStringList missing;
    int checked = 0;
    const auto inButtonBox = [](const QWidget* widget) {
        return qobject_cast<QDialogButtonBox*>(widget->parentWidget()) != nullptr;
    };
    for (const QAbstractButton* button : shown->findChildren<QAbstractButton*>()) {
        if (inButtonBox(button))
            continue;
        ++checked;
        if (!button->text().contains(QLatin1Char('&')))
            missing << button->text();
    }
    for (const QLabel* label : shown->findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        ++checked;
        if (!label->text().contains(QLatin1Char('&')) || !label->buddy())
            missing << label->text();
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    QCOMPARE(checked, controls);
}

DIGSIG_SANDBOX_TEST_MAIN(DialogMnemonicsTest)
#include "dialogmnemonicstest.moc"
