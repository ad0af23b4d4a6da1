#include "consolesetup.h"
#include "consolewindow.h"
#include "element.h"
#include "elementwidget.h"
#include "module.h"
#include "plugin.h"
#include "testsupport.h"
#include "treenode.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLocale>
#include <QPluginLoader>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>

namespace {

const QString catalogueDirectory = QStringLiteral("/usr/share/kiro/translations/kiro-admin-mirel");

// The text a named form widget shows ("text" of labels and buttons, "title" of group boxes), or a
// marker naming the missing widget, so that a renamed or lost widget fails the comparison.
QString shown(const QObject* root, const QString& name, const char* property = "text")
{
    const auto* widget = root->findChild<QWidget*>(name);
    return widget ? widget->property(property).toString()
                  : QStringLiteral("<no widget %1>").arg(name);
}

// The title of the group box that holds the named widget.
QString groupTitle(const QObject* root, const QString& name)
{
    const auto* widget = root->findChild<QWidget*>(name);
    const QWidget* group = widget ? widget->parentWidget() : nullptr;
    return group ? group->property("title").toString()
                 : QStringLiteral("<no group around %1>").arg(name);
}

QStringList labelTexts(const QObject* root)
{
    QStringList texts;
    for (const QLabel* label : root->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

QString richText(const QString& paragraph)
{
    return QStringLiteral("<html><head/><body><p>%1</p></body></html>").arg(paragraph);
}

} // namespace

// Loads the built plug-in under a Russian system locale with the built catalogue installed in
// the sandbox, and reads the texts its elements, widgets and forms show.
class RussianTranslationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void pluginAndModuleDescribeThemselvesInRussian();
    void elementsHaveRussianNamesAndCaptions();
    void settingsWidgetShowsRussianTexts();
    void keysWidgetShowsRussianTexts();
    void createKeyDialogOfTheKeysWidgetShowsRussianTexts();
    void signingWidgetShowsRussianTexts();
    void consoleShowsRussianTexts();
    void catalogueHasNoUnfinishedOrVanishedEntry_data();
    void catalogueHasNoUnfinishedOrVanishedEntry();

private:
    ElementWidget* elementWidget(const QString& type) const;

    QPluginLoader _loader;
    Plugin* _plugin = nullptr;
};

void RussianTranslationTest::initTestCase()
{
    QCOMPARE(QLocale::system().language(), QLocale::Russian);
    QVERIFY(QFileInfo::exists(TestSupport::sandboxRoot() + catalogueDirectory
                              + QStringLiteral("/cova-digsig-plugin_ru.qm")));
    _loader.setFileName(qEnvironmentVariable("DIGSIG_PLUGIN_DIR")
                        + QStringLiteral("/cova-digsig-plugin.so"));
    QObject* instance = _loader.instance();
    QVERIFY2(instance, qPrintable(_loader.errorString()));
    _plugin = qobject_cast<Plugin*>(instance);
    QVERIFY(_plugin);
    QCOMPARE(_plugin->modules().size(), 1);
}

void RussianTranslationTest::cleanupTestCase()
{
    delete _plugin;
}

ElementWidget* RussianTranslationTest::elementWidget(const QString& type) const
{
    return _plugin->modules().first()->elementWidget(type);
}

void RussianTranslationTest::pluginAndModuleDescribeThemselvesInRussian()
{
    QCOMPARE(_plugin->name(), QStringLiteral("DigSigPlugin"));
    QCOMPARE(_plugin->description(), QStringLiteral("Управление цифровой подписью"));
    QCOMPARE(_plugin->modules().first()->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Управление цифровой подписью"));
}

void RussianTranslationTest::elementsHaveRussianNamesAndCaptions()
{
    const QList<Element*> elements = _plugin->modules().first()->elements();
    QCOMPARE(elements.size(), 3);
    const QStringList names {QStringLiteral("Управление цифровой подписью"),
                             QStringLiteral("Ключи"), QStringLiteral("Подпись файлов")};
    const QStringList captions {QStringLiteral("Настройки управления цифровой подписью"),
                                QStringLiteral("Настройки ключей"),
                                QStringLiteral("Настройки подписи файлов")};
    for (int i = 0; i < elements.size(); ++i) {
        const auto* node = dynamic_cast<const TreeNode*>(elements[i]);
        QVERIFY(node);
        QCOMPARE(node->displayName(), names[i]);
        QCOMPARE(elements[i]->caption(), captions[i]);
    }
}

void RussianTranslationTest::settingsWidgetShowsRussianTexts()
{
    ElementWidget* widget = elementWidget(QStringLiteral("DigSig"));
    QVERIFY(widget);
    QCOMPARE(widget->windowTitle(), QStringLiteral("Настройки"));

    const QString elf[]
        = {QStringLiteral("_offElfRadioButton"), QStringLiteral("_debugElfRadioButton"),
           QStringLiteral("_onElfRadioButton")};
    const QString xattr[]
        = {QStringLiteral("_offXattrRadioButton"), QStringLiteral("_debugXattrRadioButton"),
           QStringLiteral("_onXattrRadioButton")};
    const QString modes[]
        = {QStringLiteral("Выключено"), QStringLiteral("Отладка"), QStringLiteral("Включено")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(shown(widget, elf[i]), modes[i]);
        QCOMPARE(shown(widget, xattr[i]), modes[i]);
    }
    QCOMPARE(shown(widget, elf[0], "toolTip"),
             richText(QStringLiteral("Отключить проверку исполняемых файлов")));
    QCOMPARE(
        shown(widget, elf[1], "toolTip"),
        richText(QStringLiteral("Система будет выдавать предупреждения о неподписанных файлах")));
    QCOMPARE(shown(widget, xattr[2], "toolTip"),
             richText(QStringLiteral("Включить контроль файлов по расширенным атрибутам")));

    QCOMPARE(groupTitle(widget, elf[0]), QStringLiteral("Контроль исполняемых файлов"));
    QCOMPARE(groupTitle(widget, xattr[0]), QStringLiteral("Контроль расширенных атрибутов"));
    QCOMPARE(groupTitle(widget, QStringLiteral("_xattrControlFileTextEdit")),
             QStringLiteral("Шаблоны файлов для контроля по расширенным атрибутам"));
    const auto* offElf = widget->findChild<QRadioButton*>(elf[0]);
    QVERIFY(offElf && offElf->parentWidget());
    const QWidget* elfGroup = offElf->parentWidget();
    QVERIFY(elfGroup->parentWidget());
    QCOMPARE(elfGroup->parentWidget()->property("title").toString(),
             QStringLiteral("Панель управления"));

    const QStringList labels = labelTexts(widget);
    QVERIFY2(labels.contains(QStringLiteral("Чтобы проверять отдельный файл, добавьте косую черту "
                                            "в начало пути. Например, //bin/dash")),
             qPrintable(labels.join(QLatin1Char('|'))));
    QVERIFY2(
        labels.contains(QStringLiteral("Чтобы проверять файлы и подкаталоги каталога, добавьте "
                                       "косую черту в конец пути. Например, /usr/")),
        qPrintable(labels.join(QLatin1Char('|'))));
}

void RussianTranslationTest::keysWidgetShowsRussianTexts()
{
    ElementWidget* widget = elementWidget(QStringLiteral("DigSigKeys"));
    QVERIFY(widget);
    QCOMPARE(widget->windowTitle(), QStringLiteral("Ключи"));
    QCOMPARE(shown(widget, QStringLiteral("_createKeyPushButton")),
             QStringLiteral("Создать новый ключ"));
    QCOMPARE(shown(widget, QStringLiteral("_openEditAppPushButton")),
             QStringLiteral("Открыть программу управления ключами"));
}

void RussianTranslationTest::createKeyDialogOfTheKeysWidgetShowsRussianTexts()
{
    ElementWidget* widget = elementWidget(QStringLiteral("DigSigKeys"));
    QVERIFY(widget);
    auto* button = widget->findChild<QPushButton*>(QStringLiteral("_createKeyPushButton"));
    QVERIFY(button);

    QString className;
    QString title;
    QStringList labels;
    TestSupport::onNextModal([&](QWidget* modal) {
        className = QString::fromLatin1(modal->metaObject()->className());
        title = modal->windowTitle();
        labels = QStringList {shown(modal, QStringLiteral("_nameLabel")),
                              shown(modal, QStringLiteral("_emailLabel")),
                              shown(modal, QStringLiteral("_commentLabel"))};
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    });
    button->click();

    QCOMPARE(className, QStringLiteral("CreateKeyDialog"));
    QCOMPARE(title, QStringLiteral("Создание ключа"));
    QCOMPARE(labels,
             (QStringList {QStringLiteral("&Имя:"), QStringLiteral("&Эл. почта:"),
                           QStringLiteral("&Комментарий:")}));
}

void RussianTranslationTest::signingWidgetShowsRussianTexts()
{
    ElementWidget* widget = elementWidget(QStringLiteral("DigSigSigning"));
    QVERIFY(widget);
    QCOMPARE(widget->windowTitle(), QStringLiteral("Подпись"));
    QCOMPARE(shown(widget, QStringLiteral("_elfCheckBox")),
             QStringLiteral("Подписывать исполняемые файлы"));
    QCOMPARE(shown(widget, QStringLiteral("_xattrCheckBox")),
             QStringLiteral("Подписывать файлы в расширенных атрибутах"));
    QCOMPARE(shown(widget, QStringLiteral("_signPushButton")), QStringLiteral("Подписать"));
    QCOMPARE(
        shown(widget, QStringLiteral("_signPushButton"), "toolTip"),
        richText(QStringLiteral("Для подписи выберите нужные файлы и хотя бы один режим подписи")));

    // The file model's own signature columns, 4 (ELF) and 5 (extended attributes).
    const auto* view = widget->findChild<QTreeView*>(QStringLiteral("_filesTreeView"));
    QVERIFY(view && view->model());
    QCOMPARE(view->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Подпись"));
    QCOMPARE(view->model()->headerData(5, Qt::Horizontal).toString(),
             QStringLiteral("Подпись в расширенных атрибутах"));
}

// The host program's own catalogue: its actions, panel and the name on its message boxes.
void RussianTranslationTest::consoleShowsRussianTexts()
{
    ConsoleSetup::installTranslations(qApp, QStringLiteral(DIGSIG_TRANSLATIONS_DIR));
    ConsoleSetup::nameApplication();
    QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Консоль администрирования"));
    ConsoleWindow window;
    QStringList actions;
    for (const char* name : {"editAction", "applyAction", "cancelAction", "refreshAction"})
        actions << window.findChild<QAction*>(QLatin1String(name))->text();
    QCOMPARE(actions,
             (QStringList {QStringLiteral("&Изменить"), QStringLiteral("&Применить"),
                           QStringLiteral("О&тмена"), QStringLiteral("О&бновить")}));
    QCOMPARE(window.taskPanel()->headerItem()->text(0), QStringLiteral("Задача"));
    QCOMPARE(window.elementTree()->topLevelItem(0)->text(0), QStringLiteral("LocalComputer"));
}

void RussianTranslationTest::catalogueHasNoUnfinishedOrVanishedEntry_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("directories");
    QTest::addColumn<QString>("known");
    QTest::newRow("plug-in") << QStringLiteral(DIGSIG_RU_CATALOGUE_SOURCE)
                             << QStringLiteral(DIGSIG_TR_SOURCE_DIRS).split(QLatin1Char(','))
                             << QStringLiteral("<translation>Ключи</translation>");
    QTest::newRow("console") << QStringLiteral(COVA_CONSOLE_RU_CATALOGUE_SOURCE)
                             << QStringLiteral(COVA_CONSOLE_TR_SOURCE_DIRS).split(QLatin1Char(','))
                             << QStringLiteral("<translation>Задачи</translation>");
}

// Every translatable text of the sources and forms has a finished Russian entry, and the
// catalogue keeps none that the sources no longer have.
void RussianTranslationTest::catalogueHasNoUnfinishedOrVanishedEntry()
{
    QFETCH(QString, source);
    QFETCH(QStringList, directories);
    QFETCH(QString, known);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString catalogue = scratch.filePath(QFileInfo(source).fileName());
    QVERIFY(QFile::copy(source, catalogue));
    QFile::setPermissions(catalogue, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QProcess lupdate;
    lupdate.setWorkingDirectory(qEnvironmentVariable("DIGSIG_SOURCE_DIR"));
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(LUPDATE_PROGRAM),
                  QStringList {QStringLiteral("-extensions"), QStringLiteral("cpp,h,ui")}
                      + directories + QStringList {QStringLiteral("-ts"), catalogue});
    QVERIFY(lupdate.waitForFinished(-1));
    const QByteArray output = lupdate.readAll();
    QCOMPARE(lupdate.exitStatus(), QProcess::NormalExit);
    QVERIFY2(lupdate.exitCode() == 0, output.constData());
    QVERIFY2(output.contains("Found "), output.constData());

    const QString text = QString::fromUtf8(TestSupport::readFile(catalogue));
    QVERIFY(text.contains(known));
    static const QRegularExpression open(
        QStringLiteral("<message[^>]*>(?:(?!</message>).)*?"
                       "type=\"(unfinished|vanished|obsolete)\"(?:(?!</message>).)*</message>"),
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
    if (!sandbox.isValid())
        return 1;
    qputenv("DIGSIG_SYSROOT", sandbox.path().toUtf8());
    qputenv("LC_ALL", "ru_RU.UTF-8");
    qputenv("LANGUAGE", "ru_RU");
    const QString gnupgHome = sandbox.path() + QStringLiteral("/root/.gnupg");
    QDir().mkpath(gnupgHome);
    QFile::setPermissions(gnupgHome,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("GNUPGHOME", gnupgHome.toUtf8());
    const QString translations = sandbox.path() + catalogueDirectory;
    if (!QDir().mkpath(translations)
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
