// The parser of the signing tool's verification output. The first byte selects the exit
// status; the rest is standard output.
#include "bsign.h"
#include "fuzzsandbox.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QProcess::ExitStatus status = data[0] & 1 ? QProcess::CrashExit : QProcess::NormalExit;
    const QByteArray output(reinterpret_cast<const char*>(data) + 1, int(size) - 1);
    const Bsign::VerificationResult result = Bsign::parseVerification(status, output);
    if (status == QProcess::CrashExit) {
        FUZZ_CHECK(!result.elfGood && !result.xattrGood);
        FUZZ_CHECK(result.elfLine.isNull() && result.xattrLine.isNull());
        return 0;
    }
    FUZZ_CHECK(!result.elfLine.contains(QLatin1Char('\n')));
    FUZZ_CHECK(!result.xattrLine.contains(QLatin1Char('\n')));
    FUZZ_CHECK(!result.elfLine.contains(QLatin1String("xattr")));
    FUZZ_CHECK(result.xattrLine.isEmpty() || result.xattrLine.contains(QLatin1String("xattr")));
    FUZZ_CHECK(result.elfGood == result.elfLine.contains(QLatin1String("good")));
    FUZZ_CHECK(result.xattrGood == result.xattrLine.contains(QLatin1String("good")));
    return 0;
}
