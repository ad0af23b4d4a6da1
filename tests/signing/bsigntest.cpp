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
        QTest::addColumn<Bsign::SignMode>("mode");
        QTest::addColumn<QString>("expected"); // the file follows; key, home and force if "K1"
        QTest::newRow("both") << Bsign::ElfAndXattr
                              << R"(--sign|--nopass|-p""--pinentry-mode ask"")";
        QTest::newRow("ELF") << Bsign::ElfOnly
                             << R"(--sign|--elf-only|--nopass|-p""--pinentry-mode ask"")";
        QTest::newRow("xattr, all options")
            << Bsign::XattrOnly
            << R"(--sign|--xattr|--force-resign|--nopass|-p""--homedir /h --default-key K1 )"
               R"(--pinentry-mode ask"")";
    }

    // The arguments are checked as the tool received them, and what it verifies afterwards
    // shows that the mode reached it.
    void signAndVerify()
    {
        QFETCH(Bsign::SignMode, mode);
        QFETCH(QString, expected);
        const bool allOptions = expected.contains("K1");
        Session session;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("prog with space"));
        QVERIFY(TestSupport::writeFile(file, elfBytes()));
        Bsign bsign(file);
        bsign.setMode(mode);
        bsign.setKey(allOptions ? QStringLiteral("K1") : QString());
        bsign.setHomeDir(allOptions ? QStringLiteral("/h") : QString());
        bsign.setForceResign(allOptions);
        QVERIFY(bsign.sign() && bsign.returnValue() == Bsign::NoError && bsign.verify());
        QCOMPARE(session.calls().value(0).args, expected.split(QLatin1Char('|')) << file);
        QCOMPARE(session.calls().value(1).args, (QStringList {QStringLiteral("--verify"), file}));
        QCOMPARE(bsign.verificationResult().elfGood, mode != Bsign::XattrOnly);
        QCOMPARE(bsign.verificationResult().xattrGood, mode != Bsign::ElfOnly);
    }

    void mappings()
    {
        // Known codes map to themselves, each with a text of its own; all others are unknown.
        QSet<QString> texts;
        for (int code = -2; code <= int(Bsign::UnknownError); ++code) {
            const Bsign::ReturnValue value = Bsign::toReturnValue(code);
            const QString text = Bsign::returnValueText(value);
            QCOMPARE(text == QLatin1String("Unknown error"), value == Bsign::UnknownError);
            QVERIFY(value == Bsign::UnknownError || (int(value) == code && !texts.contains(text)));
            texts << text;
        }
        QCOMPARE(texts.size(), 18);
        QCOMPARE(Bsign::toReturnValue(QProcess::NormalExit, 69), Bsign::BadPassPhrase);
        QCOMPARE(Bsign::toReturnValue(QProcess::CrashExit, 0), Bsign::UnknownError);
        QCOMPARE(
            QList<Bsign::SignMode>({Bsign::signMode(true, false), Bsign::signMode(false, true),
                                    Bsign::signMode(true, true), Bsign::signMode(false, false)}),
            QList<Bsign::SignMode>(
                {Bsign::ElfOnly, Bsign::XattrOnly, Bsign::ElfAndXattr, Bsign::ElfAndXattr}));
        const Bsign::VerificationResult later = Bsign::parseVerification(
            QProcess::NormalExit, "elf: good\nxattr: good\n\nelf: bad hash\n");
        QVERIFY(later.elfLine == "elf: bad hash" && !later.elfGood && later.xattrGood);
        // A tool that crashed may have printed anything.
        QVERIFY(Bsign::parseVerification(QProcess::CrashExit, "elf: good\n").elfLine.isEmpty());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(BsignTest)
#include "bsigntest.moc"
