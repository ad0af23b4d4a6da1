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

#include <cstdio>

namespace {

const QString catalogueDirectory = QStringLiteral("/usr/share/kiro/translations/kiro-admin-mirel");

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

// Loads the built plug-in under a Russian system locale with the built catalogue installed in
// the sandbox, the way the console does, and reads the texts its elements and forms show.
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
    QTest::addColumn<int>("element"); // -1: the console window
    QTest::addColumn<QString>("dialogButton");
    QTest::newRow("settings") << 0 << QString();
    QTest::newRow("keys") << 1 << QString();
    QTest::newRow("create key dialog") << 1 << QStringLiteral("_createKeyPushButton");
    QTest::newRow("signing") << 2 << QString();
    QTest::newRow("console") << -1 << QString();
}

void RussianTranslationTest::noEnglishTextIsLeft()
{
    QFETCH(int, element);
    QFETCH(QString, dialogButton);
    QStringList texts {_plugin->description(), QApplication::applicationDisplayName()};
    ConsoleWindow window;
    if (element < 0) {
        window.addPlugins({_plugin});
        texts << visibleTexts(&window);
    } else {
        Element* shown = _plugin->modules().first()->elements().at(element);
        ElementWidget* widget = shown->elementWidget(MainWidgetRole);
        texts << shown->data(0, Qt::DisplayRole).toString() << shown->caption();
        if (dialogButton.isEmpty()) {
            texts << visibleTexts(widget);
        } else {
            const int before = texts.size();
            TestSupport::ModalDriver driver([&texts](QWidget* modal) {
                texts << visibleTexts(modal);
                return TestSupport::ModalDriver::press(
                    modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel));
            });
            widget->findChild<QPushButton*>(dialogButton)->click();
            QCOMPARE(driver.seen().size(), 1);
            QVERIFY(texts.size() > before + 5);
        }
    }
    // Names of things, paths and examples stay as they are.
    static const QRegularExpression kept(
        QStringLiteral("<[^>]*>|&\\w+;|\\S*/\\S*|\\b(ELF|ID|OK|Ctrl|Esc)\\b"));
    static const QRegularExpression english(QStringLiteral("[A-Za-z]{2,}"));
    QStringList left;
    for (const QString& text : qAsConst(texts)) {
        if (QString(text).remove(kept).contains(english))
            left << text;
    }
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QStringLiteral("\n"))));
    QVERIFY(texts.join(QString()).contains(QRegularExpression(QStringLiteral("[а-я]{4}"))));
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
    const QString catalogue = scratch.filePath(QFileInfo(source).fileName());
    QVERIFY(QFile::copy(source, catalogue));
    QFile::setPermissions(catalogue, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QProcess lupdate;
    lupdate.setWorkingDirectory(qEnvironmentVariable("DIGSIG_SOURCE_DIR"));
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(LUPDATE_PROGRAM),
                  QStringList {QStringLiteral("-extensions"), QStringLiteral("cpp,h,ui")}
                      + directories.split(QLatin1Char(','))
                      + QStringList {QStringLiteral("-ts"), catalogue});
    QVERIFY(lupdate.waitForFinished(-1));
    const QByteArray output = lupdate.readAll();
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             output.constData());

    const QString text = QString::fromUtf8(TestSupport::readFile(catalogue));
    QVERIFY(text.count(QStringLiteral("<translation>")) > 20);
    static const QRegularExpression open(
        QStringLiteral(
            "<message[^>]*>(?:(?!</message>).)*?type=\"(unfinished|vanished|obsolete)\"(?:(?!</"
            "message>).)*</message>"),
        QRegularExpression::DotMatchesEverythingOption);
    QStringList problems;
    for (auto it = open.globalMatch(text); it.hasNext();)
        problems << it.next().captured(0);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

// Like the sandbox main of the other tests, with a Russian system locale and the built Russian
// catalogue in the sandbox's translation directory, both set up before the application exists.
int main(int argc, char** argv)
{
    QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/digsig-sandbox-XXXXXX"));
    qputenv("DIGSIG_SYSROOT", sandbox.path().toUtf8());
    qputenv("LC_ALL", "ru_RU.UTF-8");
    qputenv("LANGUAGE", "ru_RU");
    const QString gnupgHome = sandbox.path() + QStringLiteral("/root/.gnupg");
    QDir().mkpath(gnupgHome);
    QFile::setPermissions(gnupgHome,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("GNUPGHOME", gnupgHome.toUtf8());
    const QString translations = sandbox.path() + catalogueDirectory;
    if (!sandbox.isValid() || !QDir().mkpath(translations)
        || !QFile::copy(QStringLiteral(DIGSIG_RU_CATALOGUE),
                        translations + QStringLiteral("/cova-digsig-plugin_ru.qm"))) {
        std::fprintf(stderr, "cannot install the catalogue %s\n", DIGSIG_RU_CATALOGUE);
        return 1;
    }
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    RussianTranslationTest tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "russiantranslationtest.moc"
