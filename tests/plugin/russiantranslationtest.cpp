#include "consolesetup.h"
#include "consolewindow.h"
#include "element.h"
#include "elementwidget.h"
#include "module.h"
#include "plugin.h"
#include "testsupport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QPluginLoader>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// Every text a form shows: titles, labels, tool tips, actions and the headers of its views.
QStringList visibleTexts(QWidget* root)
{
    QStringList texts {root->windowTitle()};
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : qAsConst(widgets)) {
        for (const char* property : {"text", "title", "placeholderText"})
            texts << widget->property(property).toString();
        texts << widget->toolTip();
        for (const QAction* action : widget->actions())
            texts << action->text() << action->toolTip();
        if (const auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model()) {
            for (int column = 0; column < view->model()->columnCount(); ++column)
                texts << view->model()->headerData(column, Qt::Horizontal).toString();
        }
    }
    return texts;
}

} // namespace

// Loads the built plug-in under a Russian system locale (set by CTest) with the built catalogue
// installed in the sandbox, the way the console does, and reads the texts its forms show.
class RussianTranslationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void noEnglishTextIsLeft_data();
    void noEnglishTextIsLeft();
    void catalogueHasNoUnfinishedOrVanishedEntry_data();
    void catalogueHasNoUnfinishedOrVanishedEntry();

private:
    QPluginLoader _loader;
    Plugin* _plugin = nullptr;
};

void RussianTranslationTest::initTestCase()
{
    QCOMPARE(QLocale::system().language(), QLocale::Russian);
    // Where the plug-in looks for its catalogue when it is loaded.
    const QString installed = TestSupport::sandboxPath(
        QStringLiteral("/usr/share/kiro/translations/kiro-admin-mirel/cova-digsig-plugin_ru.qm"));
    QVERIFY(TestSupport::writeFile(installed, TestSupport::readFile(DIGSIG_RU_CATALOGUE)));
    ConsoleSetup::installTranslations(qApp, QStringLiteral(DIGSIG_TRANSLATIONS_DIR));
    ConsoleSetup::nameApplication();
    _loader.setFileName(qEnvironmentVariable("DIGSIG_PLUGIN_DIR")
                        + QStringLiteral("/cova-digsig-plugin.so"));
    _plugin = qobject_cast<Plugin*>(_loader.instance());
    QVERIFY2(_plugin, qPrintable(_loader.errorString()));
}

void RussianTranslationTest::cleanupTestCase()
{
    delete _plugin;
}

void RussianTranslationTest::noEnglishTextIsLeft_data()
{
    QTest::addColumn<int>("element"); // 3: the dialog of the keys element, -1: the console
    const char* names[] = {"console", "settings", "keys", "signing", "create key dialog"};
    for (const int element : {0, 1, 2, 3, -1})
        QTest::newRow(names[element + 1]) << element;
}

void RussianTranslationTest::noEnglishTextIsLeft()
{
    QFETCH(int, element);
    const QList<Element*> elements = _plugin->modules().first()->elements();
    QStringList texts {_plugin->description(), QApplication::applicationDisplayName()};
    if (element < 0) {
        ConsoleWindow window;
        window.addPlugins({_plugin});
        texts << visibleTexts(&window);
    } else if (element < 3) {
        texts << elements[element]->data(0, Qt::DisplayRole).toString()
              << elements[element]->caption()
              << visibleTexts(elements[element]->elementWidget(MainWidgetRole));
    } else {
        TestSupport::ModalDriver driver([&texts](QWidget* modal) {
            texts << visibleTexts(modal);
            return TestSupport::ModalDriver::press(
                modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel));
        });
        elements[1]
            ->elementWidget(MainWidgetRole)
            ->findChild<QPushButton*>(QStringLiteral("_createKeyPushButton"))
            ->click();
        QCOMPARE(driver.seen(), QStringList {"CreateKeyDialog"});
    }
    // Markup, paths and examples, abbreviations and key names stay as they are.
    static const QRegularExpression kept(
        QStringLiteral("<[^>]*>|&\\w+;|\\S*/\\S*|\\b(ELF|ID|OK|Ctrl|Esc)\\b"));
    QStringList left;
    for (const QString& text : qAsConst(texts)) {
        if (QString(text).remove(kept).contains(QRegularExpression(QStringLiteral("[A-Za-z]{2}"))))
            left << text;
    }
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QStringLiteral("\n"))));
    QVERIFY(texts.join(QString()).count(QRegularExpression(QStringLiteral("[а-я]{4}"))) > 5);
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
                  QStringList {"-extensions", "cpp,h,ui"} + directories.split(QLatin1Char(','))
                      + QStringList {"-ts", catalogue});
    QVERIFY(lupdate.waitForFinished(-1));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAll().constData());
    const QStringList messages
        = QString::fromUtf8(TestSupport::readFile(catalogue)).split(QStringLiteral("<message"));
    QVERIFY(messages.size() > 20);
    const QStringList open = messages.filter(
        QRegularExpression(QStringLiteral("type=\"(unfinished|vanished|obsolete)\"")));
    QVERIFY2(open.isEmpty(), qPrintable(open.join(QLatin1Char('\n'))));
}

DIGSIG_SANDBOX_TEST_MAIN(RussianTranslationTest)
#include "russiantranslationtest.moc"
