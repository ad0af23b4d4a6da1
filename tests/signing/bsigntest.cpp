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
        QTest::addColumn<bool>("allOptions"); // key, GnuPG home and force
        QTest::addColumn<QString>("expected"); // the file follows
        QTest::newRow("both") << Bsign::ElfAndXattr << false
                              << R"(--sign|--nopass|-p""--pinentry-mode ask"")";
        QTest::newRow("ELF") << Bsign::ElfOnly << false
                             << R"(--sign|--elf-only|--nopass|-p""--pinentry-mode ask"")";
        QTest::newRow("xattr, all options")
            << Bsign::XattrOnly << true
            << R"(--sign|--xattr|--force-resign|--nopass|-p""--homedir /h --default-key K1 )"
               R"(--pinentry-mode ask"")";
    }

    // The arguments are checked as the tool received them, and what it verifies afterwards
    // shows that the mode reached it.
    void signAndVerify()
    {
        QFETCH(Bsign::SignMode, mode);
        QFETCH(bool, allOptions);
        QFETCH(QString, expected);
        Session session;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("prog with space"));
        QVERIFY(TestSupport::writeFile(file, elfBytes()));
        Bsign bsign(file);
        bsign.setMode(mode);
        bsign.setKey(allOptions ? QStringLiteral("K1") : QString());
        bsign.setHomeDir(allOptions ? QStringLiteral("/h") : QString());
        bsign.setForceResign(allOptions);
        QVERIFY(bsign.sign());
        QCOMPARE(bsign.returnValue(), Bsign::NoError);
        QVERIFY(bsign.verify());
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
        QCOMPARE(Bsign::returnValueText(Bsign::BadPassPhrase), QStringLiteral("Bad pass phrase"));
        QCOMPARE(Bsign::toReturnValue(QProcess::NormalExit, 69), Bsign::BadPassPhrase);
        QCOMPARE(Bsign::toReturnValue(QProcess::CrashExit, 0), Bsign::UnknownError);

        QCOMPARE(Bsign::signMode(true, false), Bsign::ElfOnly);
        QCOMPARE(Bsign::signMode(false, true), Bsign::XattrOnly);
        QCOMPARE(Bsign::signMode(true, true), Bsign::ElfAndXattr);
        QCOMPARE(Bsign::signMode(false, false), Bsign::ElfAndXattr);

        const Bsign::VerificationResult later = Bsign::parseVerification(
            QProcess::NormalExit, "elf: good\nxattr: good\n\nelf: bad hash\n");
        QCOMPARE(later.elfLine, QStringLiteral("elf: bad hash"));
        QVERIFY(!later.elfGood && later.xattrGood);
        // A tool that crashed may have printed anything.
        QVERIFY(Bsign::parseVerification(QProcess::CrashExit, "elf: good\n").elfLine.isEmpty());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(BsignTest)
#include "bsigntest.moc"
