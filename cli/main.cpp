#include "commandline.h"
#include "commandoutput.h"
#include "digsigconstants.h"
#include "sysroot.h"
#include "translationloader.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char** argv)
{
    CommandLine::applySysroot(argc, argv);
    // A sandbox never reaches root's real GnuPG home: GnuPG would create it when missing.
    if (Sysroot::isActive() && qEnvironmentVariableIsEmpty("GNUPGHOME"))
        qputenv("GNUPGHOME", QFile::encodeName(Sysroot::path(DigSig::gnupgHome())));
    CommandOutput output;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cova-digsig"));
    QCoreApplication::setApplicationVersion(QStringLiteral(DIGSIG_VERSION));
    loadTranslations();
    return CommandLine().run(QCoreApplication::arguments().mid(1), output);
}
