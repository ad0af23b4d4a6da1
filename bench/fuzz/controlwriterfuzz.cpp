// The settings and control file writer on arbitrary control text. The first byte selects the
// modes and flags; the rest is the control text in UTF-8.
#include "digsigconfigmanager.h"
#include "digsigelementdata.h"
#include "fuzzsandbox.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

namespace {

const QString controlPath = QStringLiteral("/etc/digsig/xattr_control");
const QByteArray oldControl = "//bin/old\n";
constexpr int lineLimit = 4095;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSandbox::create();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data) + 1, int(size) - 1);
    DigSigElementData record;
    record.setElfMode(data[0] % 5 - 1);
    record.setXattrMode((data[0] / 5) % 5 - 1);
    record.setIgnoreXattrKeys(data[0] & 0x40);
    record.setIgnoreGost2001(data[0] & 0x80);
    record.setXattrControl(text);
    FUZZ_CHECK(FuzzSandbox::write(controlPath, oldControl));

    const QStringList errors = DigSigConfigManager::instance()->save(record);
    const QByteArray written = FuzzSandbox::read(controlPath);
    if (errors.isEmpty()) {
        FUZZ_CHECK(written.endsWith('\n'));
        QByteArrayList lines = written.split('\n');
        lines.removeLast();
        // A final line feed ends the last line rather than adding an empty one, and lines the
        // old file holds as they are stay byte for byte; the others are trimmed.
        QStringList parts = text.split(QLatin1Char('\n'));
        if (parts.size() > 1 && parts.last().isEmpty())
            parts.removeLast();
        const QByteArrayList unedited = oldControl.split('\n');
        FUZZ_CHECK(lines.size() == parts.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QByteArray raw = parts.at(i).toUtf8();
            FUZZ_CHECK(lines.at(i).size() + 1 <= lineLimit);
            FUZZ_CHECK(lines.at(i)
                       == (unedited.contains(raw) ? raw : parts.at(i).trimmed().toUtf8()));
        }
    } else {
        FUZZ_CHECK(errors.size() == 1);
        FUZZ_CHECK(written == oldControl);
    }
    // An atomic save leaves no temporary file behind, whatever the outcome.
    const QStringList entries = QDir(FuzzSandbox::path(QStringLiteral("/etc/digsig")))
                                    .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    FUZZ_CHECK(entries.size() == 2);
    return 0;
}
