#include "translationloader.h"

#include "digsigconstants.h"
#include "sysroot.h"

#include <QCoreApplication>
#include <QLocale>
#include <QThread>
#include <QTimer>
#include <QTranslator>

namespace {

void installCatalogue()
{
    auto* app = QCoreApplication::instance();
    auto* translator = new QTranslator(app);
    if (translator->load(QLocale::system(), DigSig::translationCatalogue(), QStringLiteral("_"),
                         Sysroot::path(DigSig::translationsDirectory()))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

} // namespace

void loadTranslations()
{
    auto* app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() == app->thread())
        installCatalogue();
    else
        QTimer::singleShot(0, app, installCatalogue);
}
