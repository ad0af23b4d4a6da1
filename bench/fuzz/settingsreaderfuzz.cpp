// The settings reader on arbitrary settings and control files. The input is the settings
// file, then byte 0x1e, then the control file.
#include "digsigsettings.h"
#include "fuzzsandbox.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSandbox::create();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const int separator = input.indexOf('\x1e');
    const QByteArray settingsBytes = separator < 0 ? input : input.left(separator);
    const QByteArray control = separator < 0 ? QByteArray() : input.mid(separator + 1);
    FUZZ_CHECK(
        FuzzSandbox::write(QStringLiteral("/etc/digsig/digsig_initramfs.conf"), settingsBytes));
    FUZZ_CHECK(FuzzSandbox::write(QStringLiteral("/etc/digsig/xattr_control"), control));

    const DigSigSettings settings(nullptr);
    for (int mode : {settings.elfMode(), settings.xattrMode()})
        FUZZ_CHECK(mode == Off || mode == On || mode == Debug || mode == Invalid);
    if (settings.errors().isEmpty()) {
        FUZZ_CHECK(settings.elfMode() != Invalid && settings.xattrMode() != Invalid);
    }
    FUZZ_CHECK(!settings.xattrControl().contains(QChar(0)));
    const int nul = control.indexOf('\0');
    const QByteArray beforeNul = nul < 0 ? control : control.left(nul);
    QByteArray expected = beforeNul;
    // The control file is opened in text mode, which drops carriage returns.
    expected.replace('\r', QByteArray());
    FUZZ_CHECK(settings.xattrControl() == QString::fromUtf8(expected));
    return 0;
}
