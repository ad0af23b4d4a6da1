// The classification of update-initramfs's standard error as harmless warnings.
#include "digsigconfigmanager.h"

#include "fuzzsandbox.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text
        = QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    const bool warning = DigSigConfigManager::isInitramfsWarning(text);
    if (warning) {
        const QString lower = text.toLower();
        FUZZ_CHECK(lower.contains(QLatin1String("ldconfig:"))
                   || lower.contains(QLatin1String("cryptsetup:")));
    }
    FUZZ_CHECK(DigSigConfigManager::isInitramfsWarning(text) == warning);
    return 0;
}
