#include "consolesetup.h"
#include "consolewindow.h"
#include "element.h"
#include "plugincatalog.h"
#include "taskobserver.h"
#include "treenode.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>

#include <cstdio>

namespace {

struct Options
{
    QString pluginDir;
    QString screenshotDir;
};

// The sandbox root must be in the environment before any system path is built.
void applySysroot(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--sysroot" && i + 1 < argc)
            qputenv("DIGSIG_SYSROOT",
                    QDir(QString::fromLocal8Bit(argv[i + 1])).absolutePath().toLocal8Bit());
        else if (argument.startsWith("--sysroot="))
            qputenv("DIGSIG_SYSROOT",
                    QDir(QString::fromLocal8Bit(argument.mid(10))).absolutePath().toLocal8Bit());
    }
}

bool hasOption(int argc, char** argv, const char* name)
{
    const QByteArray option(name);
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == option || argument.startsWith(option + '='))
            return true;
    }
    return false;
}

// Screenshots never need a display; a window does, and without one Qt would abort with a
// message that does not say what to do. Returns false when the console cannot start.
bool choosePlatform(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || hasOption(argc, argv, "--help")
        || hasOption(argc, argv, "-h"))
        return true;
    if (hasOption(argc, argv, "--screenshot")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return true;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "cova-console: no display (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Start it in a desktop session, or render the elements to PNG files with "
                     "--screenshot DIR.\n");
        return false;
    }
    return true;
}

Options parseOptions(const QApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QApplication::translate("main", "Graphical system administration console."));
    parser.addHelpOption();
    const QCommandLineOption pluginDir(QStringLiteral("plugin-dir"),
                                       QApplication::translate("main", "Load plug-ins from <dir>."),
                                       QStringLiteral("dir"), PluginCatalog::defaultDirectory());
    const QCommandLineOption sysroot(
        QStringLiteral("sysroot"),
        QApplication::translate("main", "Use <dir> as the root of every system path."),
        QStringLiteral("dir"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QApplication::translate("main", "Render every element widget to a PNG in <dir> and exit."),
        QStringLiteral("dir"));
    parser.addOptions({pluginDir, sysroot, screenshot});
    parser.process(app);
    return {parser.value(pluginDir), parser.value(screenshot)};
}

QString screenshotName(const Element* element)
{
    const auto* node = dynamic_cast<const TreeNode*>(element);
    return (node ? node->nodeType() : QStringLiteral("element")) + QStringLiteral(".png");
}

// Shows each element in turn, lets its tasks finish, and saves the window as a PNG.
int takeScreenshots(ConsoleWindow& window, const QString& directory)
{
    QDir().mkpath(directory);
    TaskObserver* observer = TaskObserver::instance(nullptr);
    int failures = 0;
    for (Element* element : window.elements()) {
        window.showElement(element);
        observer->waitForIdle(60000);
        // File trees fill in the background; give them a moment to show their rows.
        QDeadlineTimer settle(500);
        while (!settle.hasExpired())
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        const QString path = QDir(directory).absoluteFilePath(screenshotName(element));
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "cova-console: cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    applySysroot(argc, argv);
    if (!choosePlatform(argc, argv))
        return 2;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("cova-console"));
    ConsoleSetup::installTranslations(&app, ConsoleSetup::defaultTranslationsDirectory());
    ConsoleSetup::nameApplication();
    const Options options = parseOptions(app);

    PluginCatalog catalog;
    catalog.load(options.pluginDir);
    for (const QString& error : catalog.errors())
        std::fprintf(stderr, "cova-console: %s\n", qPrintable(error));

    int result = 0;
    {
        ConsoleWindow window;
        window.addPlugins(catalog.plugins());
        window.showLoadErrors(catalog.errors());
        window.show();
        window.startUp();
        if (!options.screenshotDir.isEmpty()) {
            TaskObserver::instance(nullptr)->waitForIdle(60000);
            result = takeScreenshots(window, options.screenshotDir);
        } else {
            result = app.exec();
        }
        TaskObserver::instance(nullptr)->waitForIdle(60000);
    }
    return result;
}
