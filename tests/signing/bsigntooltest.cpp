// The stand-in signing tool must accept exactly what the plug-in sends and answer the way the
// plug-in reads; the other signing tests rely on it.

#include "bsign.h"
#include "bsignstandin.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QtTest>

#include <csignal>

using namespace BsignStandIn;

class BsignToolTest : public QObject
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

    static Bsign::VerificationResult verify(const QString& file)
    {
        QByteArray output;
        if (run({QStringLiteral("--verify"), file}, &output) != 0)
            return {};
        return Bsign::parseVerification(QProcess::NormalExit, output);
    }

private Q_SLOTS:
    void signThenVerify_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("modeFlag");
        QTest::addColumn<bool>("elfGood");
        QTest::addColumn<bool>("xattrGood");
        QTest::newRow("ELF, both") << elfBytes() << QString() << true << true;
        QTest::newRow("ELF, elf-only")
            << elfBytes() << QStringLiteral("--elf-only") << true << false;
        QTest::newRow("ELF, xattr") << elfBytes() << QStringLiteral("--xattr") << false << true;
        QTest::newRow("script, both") << QByteArray("#!/bin/sh\n") << QString() << false << true;
    }

    void signThenVerify()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, modeFlag);
        QFETCH(bool, elfGood);
        QFETCH(bool, xattrGood);
        Session session;
        const QString file = makeFile(QStringLiteral("target"), content);

        const Bsign::VerificationResult before = verify(file);
        QVERIFY(!before.elfGood && !before.xattrGood);
        QVERIFY(!before.elfLine.isEmpty() && !before.xattrLine.isEmpty());

        QCOMPARE(sign(file, modeFlag, QStringLiteral("ABCD")), 0);
        const Bsign::VerificationResult after = verify(file);
        QCOMPARE(after.elfGood, elfGood);
        QCOMPARE(after.xattrGood, xattrGood);
        QCOMPARE(TestSupport::readFile(file), content);

        TestSupport::writeFile(file, content + "changed");
        const Bsign::VerificationResult changed = verify(file);
        QVERIFY(!changed.elfGood && !changed.xattrGood);
    }

    void resignKeepsSignatureUnlessForced()
    {
        Session session;
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        QCOMPARE(sign(file, QString(), QStringLiteral("FIRST")), 0);
        QCOMPARE(sign(file, QString(), QStringLiteral("SECOND")), 0);
        QVERIFY(verify(file).elfLine.contains(QLatin1String("FIRST")));

        QCOMPARE(run({QStringLiteral("--sign"), QStringLiteral("--force-resign"),
                      QStringLiteral("--nopass"), passArgument(QStringLiteral("SECOND")), file}),
                 0);
        QVERIFY(verify(file).elfLine.contains(QLatin1String("SECOND")));
        QVERIFY(verify(file).xattrLine.contains(QLatin1String("SECOND")));
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        const QString pass = passArgument();
        const QString prog = QStringLiteral("@prog");
        const QString nopass = QStringLiteral("--nopass");
        const QString signArg = QStringLiteral("--sign");
        QTest::newRow("sign missing file")
            << QStringList {signArg, nopass, pass, QStringLiteral("@missing")} << 2;
        QTest::newRow("sign directory")
            << QStringList {signArg, nopass, pass, QStringLiteral("@")} << 21;
        QTest::newRow("elf-only on script") << QStringList {signArg, QStringLiteral("--elf-only"),
                                                            nopass, pass, QStringLiteral("@script")}
                                            << 68;
        QTest::newRow("verify missing file")
            << QStringList {QStringLiteral("--verify"), QStringLiteral("@missing")} << 2;
        QTest::newRow("verify directory")
            << QStringList {QStringLiteral("--verify"), QStringLiteral("@")} << 21;
        QTest::newRow("no arguments") << QStringList {} << 22;
        QTest::newRow("verify without file") << QStringList {QStringLiteral("--verify")} << 22;
        QTest::newRow("sign without -p") << QStringList {signArg, nopass, prog} << 22;
        QTest::newRow("sign both mode flags") << QStringList {signArg,
                                                              QStringLiteral("--elf-only"),
                                                              QStringLiteral("--xattr"),
                                                              nopass,
                                                              pass,
                                                              prog}
                                              << 22;
        QTest::newRow("force-resign before mode") << QStringList {
            signArg, QStringLiteral("--force-resign"), QStringLiteral("--elf-only"), nopass, pass,
            prog} << 22;
        QTest::newRow("-p without quotes")
            << QStringList {signArg, nopass, QStringLiteral("-p--pinentry-mode ask"), prog} << 22;
        QTest::newRow("-p key before homedir") << QStringList {
            signArg, nopass,
            QStringLiteral("-p\"\"--default-key K --homedir H --pinentry-mode ask\"\""),
            prog} << 22;
        QTest::newRow("-p empty key")
            << QStringList {signArg, nopass,
                            QStringLiteral("-p\"\"--default-key  --pinentry-mode ask\"\""), prog}
            << 22;
        QTest::newRow("unknown option")
            << QStringList {signArg, QStringLiteral("--all"), nopass, pass, prog} << 22;
        QTest::newRow("well formed") << QStringList {signArg, nopass, pass, prog} << 0;
    }

    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        Session session;
        makeFile(QStringLiteral("prog"), elfBytes());
        makeFile(QStringLiteral("script"), "#!/bin/sh\n");
        for (QString& argument : arguments) {
            if (argument.startsWith(QLatin1Char('@')))
                argument = _dir.path() + QLatin1Char('/') + argument.mid(1);
        }
        QCOMPARE(run(arguments), exitCode);
        QCOMPARE(session.calls().size(), 1);
        QCOMPARE(session.calls().first().args, arguments);
    }

    void knobsApplyToMatchingFilesOnly()
    {
        Session session;
        const QString hit = makeFile(QStringLiteral("hit"), elfBytes());
        const QString miss = makeFile(QStringLiteral("miss"), elfBytes());
        ScopedEnv match("DIGSIG_BSIGN_MATCH", "/hit");
        ScopedEnv exitCode("DIGSIG_BSIGN_EXIT", "69");
        QCOMPARE(run({QStringLiteral("--verify"), hit}), 69);
        QCOMPARE(run({QStringLiteral("--verify"), miss}), 0);
        {
            ScopedEnv crash("DIGSIG_BSIGN_CRASH", "1");
            QCOMPARE(run({QStringLiteral("--verify"), hit}), -1);
        }
        QCOMPARE(session.verifiedFiles(), (QStringList {hit, miss, hit}));
        for (const Call& call : session.calls())
            QVERIFY(call.end >= call.start && call.start > 0);
    }

    void hangWaitsUntilKilled()
    {
        Session session;
        const QString file = makeFile(QStringLiteral("prog"), elfBytes());
        ScopedEnv hang("DIGSIG_BSIGN_HANG", "1");
        QProcess process;
        process.start(QStringLiteral("bsign"), {QStringLiteral("--verify"), file});
        // The tool may log its start before QProcess has taken note of it.
        QVERIFY(process.waitForStarted(-1));
        QTRY_COMPARE(session.calls().size(), 1);
        QCOMPARE(session.calls().first().end, qint64(-1));
        QCOMPARE(process.state(), QProcess::Running);
        process.kill();
        QVERIFY(process.waitForFinished(-1));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    }
};

DIGSIG_SANDBOX_TEST_MAIN(BsignToolTest)
#include "bsigntooltest.moc"
