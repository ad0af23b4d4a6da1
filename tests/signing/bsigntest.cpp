#include "bsign.h"
#include "bsignstandin.h"
#include "testsupport.h"

#include <QtTest>

using namespace BsignStandIn;

class BsignTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signAndVerify_data()
    {
        QTest::addColumn<bool>("elf");
        QTest::addColumn<bool>("xattr");
        QTest::addColumn<QString>("expected"); // the file follows; key, home and force if "K1"
        const QString both = R"(--sign|--nopass|-p""--pinentry-mode ask"")";
        QTest::newRow("both") << true << true << both;
        QTest::newRow("neither chosen: both") << false << false << both;
        QTest::newRow("ELF") << true << false
                             << R"(--sign|--elf-only|--nopass|-p""--pinentry-mode ask"")";
        QTest::newRow("xattr, all options")
            << false << true
            << R"(--sign|--xattr|--force-resign|--nopass|-p""--homedir /h --default-key K1 )"
               R"(--pinentry-mode ask"")";
    }

    // The arguments are checked as the tool received them, and what it verifies afterwards
    // shows that the mode reached it.
    void signAndVerify()
    {
        QFETCH(bool, elf);
        QFETCH(bool, xattr);
        QFETCH(QString, expected);
        const bool allOptions = expected.contains("K1");
        Session session;
        const QString file = session.path(QStringLiteral("prog with space"));
        QVERIFY(TestSupport::writeFile(file, elfBytes()));
        Bsign bsign(file);
        bsign.setMode(Bsign::signMode(elf, xattr));
        bsign.setKey(allOptions ? QStringLiteral("K1") : QString());
        bsign.setHomeDir(allOptions ? QStringLiteral("/h") : QString());
        bsign.setForceResign(allOptions);
        QVERIFY(bsign.sign() && bsign.returnValue() == Bsign::NoError && bsign.verify());
        QCOMPARE(session.calls().value(0).args, expected.split(QLatin1Char('|')) << file);
        QCOMPARE(bsign.verificationResult().elfGood, elf || !xattr);
        QCOMPARE(bsign.verificationResult().xattrGood, xattr || !elf);
    }

    void mappings()
    {
        // Known codes map to themselves, each with a text of its own; all others are unknown.
        QSet<QString> texts;
        int known = 0;
        for (int code = -2; code <= int(Bsign::UnknownError); ++code) {
            const Bsign::ReturnValue value = Bsign::toReturnValue(code);
            QVERIFY(value == Bsign::UnknownError || int(value) == code);
            known += value != Bsign::UnknownError;
            texts << Bsign::returnValueText(value);
        }
        QVERIFY(known == 17 && texts.size() == 18);
        QCOMPARE(Bsign::toReturnValue(QProcess::CrashExit, 0), Bsign::UnknownError);
        const Bsign::VerificationResult later = Bsign::parseVerification(
            QProcess::NormalExit, "elf: good\nxattr: good\n\nelf: bad hash\n");
        QVERIFY(later.elfLine == "elf: bad hash" && !later.elfGood && later.xattrGood);
        // A tool that crashed may have printed anything.
        QVERIFY(Bsign::parseVerification(QProcess::CrashExit, "elf: good\n").elfLine.isEmpty());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(BsignTest)
#include "bsigntest.moc"
