#include "translationloader.h"
#include "digsigconstants.h"
#include "element.h"
#include "module.h"
#include "plugin.h"
#include "sysroot.h"
#include "testsupport.h"
#include "treenode.h"

#include <QPluginLoader>
#include <QProcess>
#include <QThread>

namespace {

const char* catalogueSource = R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context><name>DigSigPlugin</name>
<message><source>Digital signature management</source><translation>Управление цифровой подписью</translation></message>
</context>
<context><name>DigSigKeysElement</name>
<message><source>Keys</source><translation>Ключи</translation></message>
</context>
</TS>
)";

// Counts the language changes the application sees, one per installed translator.
class LanguageChangeCounter : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == qApp && event->type() == QEvent::LanguageChange)
            ++count;
        return false;
    }
    int count = 0;
};

QString catalogueFile()
{
    return Sysroot::path(DigSig::translationsDirectory())
        + QStringLiteral("/cova-digsig-plugin_ru.qm");
}

} // namespace

class TranslationLoaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void catalogueOfTheSystemLocaleTranslatesThePlugin();
    void missingCatalogueInstallsNothing();
    void loadFromAnotherThreadHappensOnTheApplicationThread();

private:
    bool makeCatalogue();
    LanguageChangeCounter _counter;
};

bool TranslationLoaderTest::makeCatalogue()
{
    const QString source = QDir::temp().filePath(QStringLiteral("digsig-catalogue-test.ts"));
    if (!TestSupport::writeFile(source, catalogueSource))
        return false;
    QDir().mkpath(QFileInfo(catalogueFile()).absolutePath());
    return QProcess::execute(
               QStringLiteral(LRELEASE_PROGRAM),
               {QStringLiteral("-silent"), source, QStringLiteral("-qm"), catalogueFile()})
        == 0;
}

void TranslationLoaderTest::initTestCase()
{
    QVERIFY(makeCatalogue());
    qApp->installEventFilter(&_counter);
}

void TranslationLoaderTest::catalogueOfTheSystemLocaleTranslatesThePlugin()
{
    QPluginLoader loader(qEnvironmentVariable("DIGSIG_PLUGIN_DIR")
                         + QStringLiteral("/cova-digsig-plugin.so"));
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    QCoreApplication::processEvents();
    QCOMPARE(_counter.count, 1);

    auto* plugin = qobject_cast<Plugin*>(loader.instance());
    QVERIFY(plugin);
    QCOMPARE(plugin->description(), QStringLiteral("Управление цифровой подписью"));
    const auto* keys = dynamic_cast<const TreeNode*>(plugin->modules().first()->elements().at(1));
    QCOMPARE(keys->displayName(), QStringLiteral("Ключи"));
    // Texts the catalogue lacks stay English.
    QCOMPARE(plugin->modules().first()->elements().at(1)->caption(),
             QStringLiteral("Keys settings"));
    delete plugin;
}

void TranslationLoaderTest::missingCatalogueInstallsNothing()
{
    QVERIFY(QFile::remove(catalogueFile()));
    const int before = _counter.count;
    loadTranslations();
    QCoreApplication::processEvents();
    QCOMPARE(_counter.count, before);
}

void TranslationLoaderTest::loadFromAnotherThreadHappensOnTheApplicationThread()
{
    QVERIFY(makeCatalogue());
    const int before = _counter.count;
    QScopedPointer<QThread> thread(QThread::create(loadTranslations));
    thread->start();
    QVERIFY(thread->wait(10000));
    QCOMPARE(_counter.count, before);
    QTRY_COMPARE(_counter.count, before + 1);
}

int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/digsig-sandbox-XXXXXX"));
    qputenv("DIGSIG_SYSROOT", sandbox.path().toUtf8());
    qputenv("LC_ALL", "ru_RU.UTF-8");
    qputenv("LANGUAGE", "ru_RU");
    QApplication app(argc, argv);
    TranslationLoaderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "translationloadertest.moc"
