#include "bsign.h"
#include "bsignstandin.h"
#include "testsupport.h"

#include <QApplication>
#include <QtTest>

#include <cerrno>

using namespace BsignStandIn;

Q_DECLARE_METATYPE(QProcess::ExitStatus)

class BsignTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir _dir;

    QString makeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = _dir.filePath(name);
        TestSupport::writeFile(path, bytes);
        return path;
    }

    static void addArgumentRow(Bsign::SignMode mode, bool force, const char* home, const char* key,
                               const char* expected)
    {
        const QString name = QStringLiteral("mode %1%2%3%4")
                                 .arg(int(mode))
                                 .arg(force ? QStringLiteral(", force") : QString())
                                 .arg(*home ? QStringLiteral(", home") : QString())
                                 .arg(*key ? QStringLiteral(", key") : QString());
        QTest::newRow(qPrintable(name))
            << mode << force << QString::fromUtf8(home) << QString::fromUtf8(key)
            << QString::fromUtf8(expected).split(QLatin1Char('|'));
    }

private Q_SLOTS:
    void signArguments_data()
    {
        QTest::addColumn<Bsign::SignMode>("mode");
        QTest::addColumn<bool>("force");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("expected");
        // The file is substituted for FILE.
        const Bsign::SignMode elf = Bsign::ElfOnly;
        const Bsign::SignMode xattr = Bsign::XattrOnly;
        const Bsign::SignMode both = Bsign::ElfAndXattr;
        addArgumentRow(both, false, "", "", R"(--sign|--nopass|-p""--pinentry-mode ask""|FILE)");
        addArgumentRow(both, false, "", "K1",
                       R"(--sign|--nopass|-p""--default-key K1 --pinentry-mode ask""|FILE)");
        addArgumentRow(both, false, "/h", "",
                       R"(--sign|--nopass|-p""--homedir /h --pinentry-mode ask""|FILE)");
        addArgumentRow(
            both, false, "/h", "K1",
            R"(--sign|--nopass|-p""--homedir /h --default-key K1 --pinentry-mode ask""|FILE)");
        addArgumentRow(both, true, "", "",
                       R"(--sign|--force-resign|--nopass|-p""--pinentry-mode ask""|FILE)");
        addArgumentRow(
            both, true, "", "K1",
            R"(--sign|--force-resign|--nopass|-p""--default-key K1 --pinentry-mode ask""|FILE)");
        addArgumentRow(
            both, true, "/h", "",
            R"(--sign|--force-resign|--nopass|-p""--homedir /h --pinentry-mode ask""|FILE)");
        addArgumentRow(both, true, "/h", "K1",
                       R"(--sign|--force-resign|--nopass|-p""--homedir /h --default-key K1 )"
                       R"(--pinentry-mode ask""|FILE)");
        addArgumentRow(elf, false, "", "",
                       R"(--sign|--elf-only|--nopass|-p""--pinentry-mode ask""|FILE)");
        addArgumentRow(
            elf, false, "", "K1",
            R"(--sign|--elf-only|--nopass|-p""--default-key K1 --pinentry-mode ask""|FILE)");
        addArgumentRow(elf, false, "/h", "",
                       R"(--sign|--elf-only|--nopass|-p""--homedir /h --pinentry-mode ask""|FILE)");
        addArgumentRow(elf, false, "/h", "K1",
                       R"(--sign|--elf-only|--nopass|-p""--homedir /h --default-key K1 )"
                       R"(--pinentry-mode ask""|FILE)");
        addArgumentRow(
            elf, true, "", "",
            R"(--sign|--elf-only|--force-resign|--nopass|-p""--pinentry-mode ask""|FILE)");
        addArgumentRow(elf, true, "", "K1",
                       R"(--sign|--elf-only|--force-resign|--nopass|-p""--default-key K1 )"
                       R"(--pinentry-mode ask""|FILE)");
        addArgumentRow(elf, true, "/h", "",
                       R"(--sign|--elf-only|--force-resign|--nopass|-p""--homedir /h )"
                       R"(--pinentry-mode ask""|FILE)");
        addArgumentRow(elf, true, "/h", "K1",
                       R"(--sign|--elf-only|--force-resign|--nopass|-p""--homedir /h )"
                       R"(--default-key K1 --pinentry-mode ask""|FILE)");
        addArgumentRow(xattr, false, "", "",
                       R"(--sign|--xattr|--nopass|-p""--pinentry-mode ask""|FILE)");
        addArgumentRow(
            xattr, false, "", "K1",
            R"(--sign|--xattr|--nopass|-p""--default-key K1 --pinentry-mode ask""|FILE)");
        addArgumentRow(xattr, false, "/h", "",
                       R"(--sign|--xattr|--nopass|-p""--homedir /h --pinentry-mode ask""|FILE)");
        addArgumentRow(xattr, false, "/h", "K1",
                       R"(--sign|--xattr|--nopass|-p""--homedir /h --default-key K1 )"
                       R"(--pinentry-mode ask""|FILE)");
        addArgumentRow(xattr, true, "", "",
                       R"(--sign|--xattr|--force-resign|--nopass|-p""--pinentry-mode ask""|FILE)");
        addArgumentRow(xattr, true, "", "K1",
                       R"(--sign|--xattr|--force-resign|--nopass|-p""--default-key K1 )"
                       R"(--pinentry-mode ask""|FILE)");
        addArgumentRow(xattr, true, "/h", "",
                       R"(--sign|--xattr|--force-resign|--nopass|-p""--homedir /h )"
                       R"(--pinentry-mode ask""|FILE)");
        addArgumentRow(xattr, true, "/h", "K1",
                       R"(--sign|--xattr|--force-resign|--nopass|-p""--homedir /h )"
                       R"(--default-key K1 --pinentry-mode ask""|FILE)");
    }

    // Each combination is checked as built and as the stand-in receives it; the stand-in
    // rejects any other shape, so a successful run also proves the tool would accept it.
    void signArguments()
    {
        QFETCH(Bsign::SignMode, mode);
        QFETCH(bool, force);
        QFETCH(QString, home);
        QFETCH(QString, key);
        QFETCH(QStringList, expected);
        Session session;
        const QString file = makeFile(QStringLiteral("prog with space"), elfBytes());
        expected.last() = file;

        Bsign bsign;
        bsign.setMode(mode);
        bsign.setForceResign(force);
        bsign.setHomeDir(home);
        bsign.setKey(key);
        bsign.setFile(file);
        QCOMPARE(bsign.signArguments(), expected);

        QVERIFY(bsign.sign());
        QCOMPARE(bsign.returnValue(), Bsign::NoError);
        QCOMPARE(session.calls().size(), 1);
        QCOMPARE(session.calls().first().args, expected);
    }

    void returnValues_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<Bsign::ReturnValue>("value");
        QTest::addColumn<QString>("text");
        const struct
        {
            int code;
            const char* text;
        } known[] = {{0, "No error"},
                     {1, "Permission denied"},
                     {2, "File not found"},
                     {12, "No memory"},
                     {21, "Is directory"},
                     {22, "Invalid argument"},
                     {24, "Too many open files"},
                     {26, "File busy"},
                     {28, "No space on device"},
                     {36, "Name too long"},
                     {64, "No hash found"},
                     {65, "No signature found"},
                     {66, "Bad hash found"},
                     {67, "Bad signature found"},
                     {68, "Unsupported file type"},
                     {69, "Bad pass phrase"},
                     {70, "Rewrite failed"}};
        for (const auto& entry : known)
            QTest::addRow("%d", entry.code)
                << entry.code << Bsign::ReturnValue(entry.code) << QString::fromUtf8(entry.text);
        for (int code : {3, 13, 63, 71, 255, 1001, -1, -70})
            QTest::addRow("%d", code)
                << code << Bsign::UnknownError << QStringLiteral("Unknown error");
    }

    void returnValues()
    {
        QFETCH(int, exitCode);
        QFETCH(Bsign::ReturnValue, value);
        QFETCH(QString, text);
        QCOMPARE(Bsign::toReturnValue(exitCode), value);
        QCOMPARE(Bsign::toReturnValue(QProcess::NormalExit, exitCode), value);
        QCOMPARE(Bsign::toReturnValue(QProcess::CrashExit, exitCode), Bsign::UnknownError);
        QCOMPARE(Bsign::returnValueText(value), text);
        QCOMPARE(Bsign::returnValueText(Bsign::ReturnValue(exitCode)), text);
    }

    void returnValueOfRealRuns_data()
    {
        QTest::addColumn<QByteArray>("knob");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("started");
        QTest::addColumn<Bsign::ReturnValue>("expected");
        QTest::newRow("success") << QByteArray() << QByteArray() << true << Bsign::NoError;
        QTest::newRow("exit 69") << QByteArray("DIGSIG_BSIGN_EXIT") << QByteArray("69") << true
                                 << Bsign::BadPassPhrase;
        QTest::newRow("exit 255") << QByteArray("DIGSIG_BSIGN_EXIT") << QByteArray("255") << true
                                  << Bsign::UnknownError;
        QTest::newRow("crash") << QByteArray("DIGSIG_BSIGN_CRASH") << QByteArray("1") << true
                               << Bsign::UnknownError;
        QTest::newRow("tool missing")
            << QByteArray("PATH") << QByteArray("/nonexistent") << false << Bsign::UnknownError;
    }

    void returnValueOfRealRuns()
    {
        QFETCH(QByteArray, knob);
        QFETCH(QByteArray, value);
        QFETCH(bool, started);
        QFETCH(Bsign::ReturnValue, expected);
        Session session;
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        std::unique_ptr<ScopedEnv> env;
        if (!knob.isEmpty())
            env = std::make_unique<ScopedEnv>(knob.constData(), value);
        Bsign bsign(file);
        QCOMPARE(bsign.sign(), started);
        QCOMPARE(bsign.returnValue(), expected);
        QCOMPARE(bsign.error() == QProcess::FailedToStart, !started);
        if (!started)
            QCOMPARE(bsign.errorString(), qt_error_string(ENOENT));
    }

    void parseVerification_data()
    {
        QTest::addColumn<QProcess::ExitStatus>("status");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("elfGood");
        QTest::addColumn<QString>("elfLine");
        QTest::addColumn<bool>("xattrGood");
        QTest::addColumn<QString>("xattrLine");
        const auto normal = QProcess::NormalExit;
        QTest::newRow("empty") << normal << QByteArray() << false << QString() << false
                               << QString();
        QTest::newRow("good elf and xattr")
            << normal << QByteArray("elf: good\nxattr: good\n") << true
            << QStringLiteral("elf: good") << true << QStringLiteral("xattr: good");
        QTest::newRow("capital Good does not count")
            << normal << QByteArray("elf: Good\nxattr: Good") << false
            << QStringLiteral("elf: Good") << false << QStringLiteral("xattr: Good");
        QTest::newRow("later line of a kind wins")
            << normal << QByteArray("elf: good\nelf: bad hash\n") << false
            << QStringLiteral("elf: bad hash") << false << QString();
        QTest::newRow("XATTR in capitals is an ELF line")
            << normal << QByteArray("XATTR good\n") << true << QStringLiteral("XATTR good") << false
            << QString();
        QTest::newRow("empty lines skipped") << normal << QByteArray("\n\nxattr: none\n\n") << false
                                             << QString() << false << QStringLiteral("xattr: none");
        QTest::newRow("UTF-8 kept whole") << normal << QByteArray("\xc3\xa9lf good") << true
                                          << QStringLiteral("\u00e9lf good") << false << QString();
        QTest::newRow("crash ignores output")
            << QProcess::CrashExit << QByteArray("elf: good\nxattr: good\n") << false << QString()
            << false << QString();
    }

    void parseVerification()
    {
        QFETCH(QProcess::ExitStatus, status);
        QFETCH(QByteArray, output);
        QFETCH(bool, elfGood);
        QFETCH(QString, elfLine);
        QFETCH(bool, xattrGood);
        QFETCH(QString, xattrLine);
        const Bsign::VerificationResult result = Bsign::parseVerification(status, output);
        QCOMPARE(result.elfGood, elfGood);
        QCOMPARE(result.elfLine, elfLine);
        QCOMPARE(result.xattrGood, xattrGood);
        QCOMPARE(result.xattrLine, xattrLine);
    }

    void verifyRunsTheTool()
    {
        Session session;
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        QCOMPARE(sign(file, QStringLiteral("--elf-only")), 0);
        Bsign bsign(file);
        QVERIFY(bsign.verify());
        const Bsign::VerificationResult result = bsign.verificationResult();
        QVERIFY(result.elfGood);
        QVERIFY(!result.xattrGood);
        QCOMPARE(session.calls().last().args, (QStringList {QStringLiteral("--verify"), file}));
    }

    void signModeOfTheChoices_data()
    {
        QTest::addColumn<bool>("elf");
        QTest::addColumn<bool>("xattr");
        QTest::addColumn<int>("mode");
        QTest::newRow("ELF") << true << false << int(Bsign::ElfOnly);
        QTest::newRow("extended attributes") << false << true << int(Bsign::XattrOnly);
        QTest::newRow("both") << true << true << int(Bsign::ElfAndXattr);
        QTest::newRow("neither") << false << false << int(Bsign::ElfAndXattr);
    }

    void signModeOfTheChoices()
    {
        QFETCH(bool, elf);
        QFETCH(bool, xattr);
        QFETCH(int, mode);
        QCOMPARE(int(Bsign::signMode(elf, xattr)), mode);
    }

    void crashedVerifyGivesDefaultRecord()
    {
        Session session;
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        QCOMPARE(sign(file), 0);
        ScopedEnv crash("DIGSIG_BSIGN_CRASH", "1");
        Bsign bsign(file);
        QVERIFY(bsign.verify());
        QCOMPARE(bsign.exitStatus(), QProcess::CrashExit);
        const Bsign::VerificationResult result = bsign.verificationResult();
        QVERIFY(!result.elfGood && !result.xattrGood);
        QVERIFY(result.elfLine.isEmpty() && result.xattrLine.isEmpty());
    }
};

DIGSIG_SANDBOX_TEST_MAIN(BsignTest)
#include "bsigntest.moc"
