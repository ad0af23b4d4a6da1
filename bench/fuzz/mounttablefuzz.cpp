// The /boot read-only check on an arbitrary mount table.
#include "digsigconfigmanager.h"
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
    const QByteArray table(reinterpret_cast<const char*>(data), int(size));
    FUZZ_CHECK(FuzzSandbox::write(QStringLiteral("/etc/mtab"), table));
    const bool readOnly = DigSigConfigManager::instance()->isBootReadOnly();
    // Octal escapes aside, a read-only /boot has to be spelt out in the table.
    if (!table.contains('\\') && (!table.contains("/boot") || !table.contains("ro")))
        FUZZ_CHECK(!readOnly);
    return 0;
}
