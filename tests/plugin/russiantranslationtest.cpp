#include "consolesetup.h"
#include "consolewindow.h"
#include "element.h"
#include "module.h"
#include "plugin.h"
#include "testsupport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QPluginLoader>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

// Loads the built plug-in under a Russian system locale (set by CTest) with the built catalogue
// installed in the sandbox, the way the console does, and reads the texts its forms show.
class RussianTranslationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noEnglishTextIsLeft();
    void catalogueHasNoUnfinishedOrVanishedEntry_data();
    void catalogueHasNoUnfinishedOrVanishedEntry();
};

void RussianTranslationTest::noEnglishTextIsLeft()
{
    // Where the plug-in looks for its catalogue when it is loaded.
    QVERIFY(TestSupport::writeFile(
        TestSupport::sandboxPath(QStringLiteral(
            "/usr/share/kiro/translations/kiro-admin-mirel/cova-digsig-plugin_ru.qm")),
        TestSupport::readFile(DIGSIG_RU_CATALOGUE)));
    ConsoleSetup::installTranslations(qApp, QStringLiteral(DIGSIG_TRANSLATIONS_DIR));
    ConsoleSetup::nameApplication();
    QPluginLoader loader(qEnvironmentVariable("DIGSIG_PLUGIN_DIR") + "/cova-digsig-plugin.so");
    const QScopedPointer<Plugin> plugin(qobject_cast<Plugin*>(loader.instance()));
    QVERIFY2(plugin, qPrintable(loader.errorString()));

    QStringList texts {plugin->description(), QApplication::applicationDisplayName()};
    // Titles, labels, tool tips, actions and the headers of views.
    const auto read = [&texts](QWidget* root) {
        const QList<QWidget*> widgets = root->findChildren<QWidget*>() << root;
        for (QWidget* widget : widgets) {
            for (const char* property :
                 {"windowTitle", "text", "title", "placeholderText", "toolTip"})
                texts << widget->property(property).toString();
            for (const QAction* action : widget->actions())
                texts << action->text() << action->toolTip();
            if (const auto* view = qobject_cast<QAbstractItemView*>(widget);
                view && view->model()) {
                for (int column = 0; column < view->model()->columnCount(); ++column)
                    texts << view->model()->headerData(column, Qt::Horizontal).toString();
            }
        }
    };
    ConsoleWindow window;
    window.addPlugins({plugin.data()});
    read(&window);
    // The element widgets are pages of the window; the element names are not widgets.
    for (Element* element : plugin->modules().first()->elements())
        texts << element->data(0, Qt::DisplayRole).toString() << element->caption();
    TestSupport::ModalDriver driver([&read](QWidget* modal) {
        read(modal);
        return QMetaObject::invokeMethod(modal, "reject");
    });
    window.findChild<QPushButton*>(QStringLiteral("_createKeyPushButton"))->click();
    QCOMPARE(driver.seen(), QStringList {"CreateKeyDialog"});
    // Markup, paths and examples, abbreviations and key names stay as they are.
    const QRegularExpression kept(
        QStringLiteral("<[^>]*>|&\\w+;|\\S*/\\S*|\\b(ELF|ID|OK|Ctrl|Esc)\\b"));
    for (QString& text : texts)
        text.remove(kept);
    const QStringList english = texts.filter(QRegularExpression(QStringLiteral("[A-Za-z]{2}")));
    QVERIFY2(english.isEmpty(), qPrintable(english.join(QStringLiteral("\n"))));
    QVERIFY(texts.join(QString()).count(QRegularExpression(QStringLiteral("[а-я]{4}"))) > 20);
}

void RussianTranslationTest::catalogueHasNoUnfinishedOrVanishedEntry_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("directories");
    QTest::newRow("plug-in") << DIGSIG_RU_CATALOGUE_SOURCE << DIGSIG_TR_SOURCE_DIRS;
    QTest::newRow("console") << COVA_CONSOLE_RU_CATALOGUE_SOURCE << COVA_CONSOLE_TR_SOURCE_DIRS;
}

// Every translatable text of the sources and forms has a finished Russian entry, and the
// catalogue keeps none that the sources no longer have.
void RussianTranslationTest::catalogueHasNoUnfinishedOrVanishedEntry()
{
    QFETCH(QString, source);
    QFETCH(QString, directories);
    QTemporaryDir scratch;
    const QString catalogue = scratch.filePath(QStringLiteral("ru.ts"));
    QVERIFY(TestSupport::writeFile(catalogue, TestSupport::readFile(source)));
    QProcess lupdate;
    lupdate.setWorkingDirectory(qEnvironmentVariable("DIGSIG_SOURCE_DIR"));
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(LUPDATE_PROGRAM),
                  QStringList {"-extensions", "cpp,h,ui"} + directories.split(',')
                      + QStringList {"-ts", catalogue});
    QVERIFY(lupdate.waitForFinished(-1));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAll().constData());
    const QStringList messages
        = QString::fromUtf8(TestSupport::readFile(catalogue)).split(QStringLiteral("<message"));
    const QStringList open = messages.filter(
        QRegularExpression(QStringLiteral("type=\"(unfinished|vanished|obsolete)\"")));
    QVERIFY2(messages.size() > 20 && open.isEmpty(), qPrintable(open.join('\n')));
}

DIGSIG_SANDBOX_TEST_MAIN(RussianTranslationTest)
#include "russiantranslationtest.moc"
