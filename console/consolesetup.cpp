#include "consolesetup.h"

#include "consolewindow.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

const QString catalogue = QStringLiteral("cova-console");

void install(QCoreApplication* app, const QString& name, const QString& directory)
{
    auto* translator = new QTranslator(app);
    if (translator->load(QLocale::system(), name, QStringLiteral("_"), directory))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

QString ConsoleSetup::defaultTranslationsDirectory()
{
    const QDir applicationDir(QCoreApplication::applicationDirPath());
    const QString buildTree = applicationDir.absoluteFilePath(QStringLiteral("../translations"));
    if (QFileInfo::exists(buildTree + QLatin1Char('/') + catalogue + QStringLiteral("_ru.qm")))
        return QDir::cleanPath(buildTree);
    return QDir::cleanPath(
        applicationDir.absoluteFilePath(QStringLiteral(COVA_INSTALLED_TRANSLATIONS_DIR)));
}

void ConsoleSetup::installTranslations(QCoreApplication* app, const QString& directory)
{
    // Qt's own texts: standard buttons, file-system headers.
    install(app, QStringLiteral("qtbase"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    install(app, catalogue, directory);
}

// Without a display name, a message box that has no title of its own is named after the binary.
void ConsoleSetup::nameApplication()
{
    QApplication::setApplicationDisplayName(ConsoleWindow::consoleName());
}
