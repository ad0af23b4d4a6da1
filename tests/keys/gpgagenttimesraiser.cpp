// Stands in for a console in the middle of a signing run: raises gpg-agent's times, says so by
// creating the file named by its argument, and waits to be killed.
#include "gpgagentconfig.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <stdexcept>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2)
        return 2;
    try {
        raiseGpgAgentTimes();
    } catch (const std::runtime_error&) {
        return 1;
    }
    QFile raised(QFile::decodeName(argv[1]));
    if (!raised.open(QIODevice::WriteOnly))
        return 1;
    raised.close();
    for (;;)
        ::pause();
}
