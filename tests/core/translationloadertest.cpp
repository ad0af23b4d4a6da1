#include "translationloader.h"
#include "digsigconstants.h"
#include "sysroot.h"
#include "testsupport.h"

#include <QProcess>
#include <QThread>

// The catalogue of the system's language is installed on the application's thread, whichever
// thread asks for it; without one nothing is installed and the texts stay English.
class TranslationLoaderTest : public QObject
{
    Q_OBJECT
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        _changes += watched == qApp && event->type() == QEvent::LanguageChange ? 1 : 0;
        return false;
    }
    int _changes = 0;

private Q_SLOTS:
    void loads_data()
    {
        QTest::addColumn<bool>("catalogue");
        QTest::addColumn<bool>("fromThread");
        QTest::newRow("no catalogue") << false << false;
        QTest::newRow("on the application's thread") << true << false;
        QTest::newRow("from another thread") << true << true;
    }

    void loads()
    {
        QFETCH(bool, catalogue);
        QFETCH(bool, fromThread);
        const QString file = Sysroot::path(DigSig::translationsDirectory()) + "/"
            + DigSig::translationCatalogue() + "_ru.qm";
        const QString source = Sysroot::path(QStringLiteral("/catalogue.ts"));
        QVERIFY(TestSupport::writeFile(source, R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS><TS version="2.1" language="ru_RU"><context><name>DigSigPlugin</name>
<message><source>Keys</source><translation>Ключи</translation></message></context></TS>)"));
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile::remove(file);
        QVERIFY(!catalogue
                || QProcess::execute(LRELEASE_PROGRAM, {"-silent", source, "-qm", file}) == 0);
        qApp->installEventFilter(this);
        const int before = _changes;
        QScopedPointer<QThread> thread(QThread::create(loadTranslations));
        if (fromThread) {
            thread->start();
            QVERIFY(thread->wait(10000));
            QCOMPARE(_changes, before);
        } else {
            loadTranslations();
        }
        QTRY_COMPARE(_changes, before + (catalogue ? 1 : 0));
        QCOMPARE(QCoreApplication::translate("DigSigPlugin", "Keys"),
                 QString::fromUtf8(catalogue ? "Ключи" : "Keys"));
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/digsig-sandbox-XXXXXX"));
    qputenv("DIGSIG_SYSROOT", sandbox.path().toUtf8());
    qputenv("LC_ALL", "ru_RU.UTF-8");
    qputenv("LANGUAGE", "ru_RU");
    QCoreApplication app(argc, argv);
    TranslationLoaderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "translationloadertest.moc"
