#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include "gnupghome.h"
#include "modaldriver.h"
#include "processwarningcounter.h"
#include "scopedenv.h"

// Helpers shared by the test programs.
namespace TestSupport {

// Writes bytes to path, creating parent directories; fails the test on error.
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

// The root folder of the sandbox of this test process (empty without one).
QString sandboxRoot();
// Where a system path such as "/etc/digsig/digsig.conf" lies in this process's sandbox.
QString sandboxPath(const QString& systemPath);

// The bytes of a real ELF executable of this machine (/bin/true).
QByteArray elfBytes();
// Writes an ELF executable (mode 0755) to path; false on error.
bool writeElf(const QString& path);

// Stops the agents GnuPG started for a home, so that no test leaves a daemon behind.
void stopGnupgDaemons(const QString& home);

// Whether a process of the group lives (zombies do not count).
bool processGroupAlive(qint64 group);

// Log lines written by a stand-in tool (DIGSIG_*_LOG), one entry per line.
QStringList readLog(const QString& path);

// Gives the process a mount namespace of its own, so that tests can mount small file systems
// without touching the machine's. Called by DIGSIG_SANDBOX_TEST_MAIN while the process has
// one thread only; without the rights for it, mounts are simply unavailable.
void enterPrivateMountNamespace();

// Mounts an empty tmpfs of the given size on directory, to fill it up; false (with the reason
// in skipReason) where the process may not mount.
bool mountTmpfs(const QString& directory, int kilobytes, QString* skipReason);
void unmount(const QString& directory);

} // namespace TestSupport

// Like QTEST_MAIN, but first points DIGSIG_SYSROOT at a fresh sandbox folder, so that every
// system path of the code under test lies inside it, and GNUPGHOME at the sandbox's
// /root/.gnupg, so that GnuPG's default home is never the real one.
#define DIGSIG_SANDBOX_TEST_MAIN(TestObject)                                                       \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        TestSupport::enterPrivateMountNamespace();                                                 \
        QTemporaryDir sandbox(QDir::tempPath() + QStringLiteral("/digsig-sandbox-XXXXXX"));        \
        qputenv("DIGSIG_SYSROOT", sandbox.path().toUtf8());                                        \
        QDir().mkpath(sandbox.path() + QStringLiteral("/root/.gnupg"));                            \
        QFile::setPermissions(sandbox.path() + QStringLiteral("/root/.gnupg"),                     \
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner                     \
                                  | QFileDevice::ExeOwner);                                        \
        qputenv("GNUPGHOME", sandbox.path().toUtf8() + "/root/.gnupg");                            \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        const int result = QTest::qExec(&tc, argc, argv);                                          \
        TestSupport::stopGnupgDaemons(sandbox.path() + QStringLiteral("/root/.gnupg"));            \
        return result;                                                                             \
    }
