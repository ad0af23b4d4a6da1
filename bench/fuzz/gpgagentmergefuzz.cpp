// The merge of options into gpg-agent's configuration text. The input is option lines
// ("name value"), then byte 0x1e, then the existing file.
#include "fuzzsandbox.h"
#include "gpgagentconfig.h"

#include <QRegularExpression>

#include <cstddef>
#include <cstdint>

namespace {

// Options as the callers pass them: a plain name and a one-line value.
QHash<QString, QString> options(const QByteArray& bytes)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9-]+$"));
    QHash<QString, QString> result;
    for (const QByteArray& line : bytes.split('\n')) {
        const int space = line.indexOf(' ');
        const QString key = QString::fromUtf8(space < 0 ? line : line.left(space));
        const QString value = space < 0 ? QString() : QString::fromUtf8(line.mid(space + 1));
        if (name.match(key).hasMatch() && !value.contains(QLatin1Char('\r')))
            result.insert(key, value);
    }
    return result;
}

QString key(const QString& line)
{
    static const QRegularExpression pattern(QStringLiteral("^(?<key>.*?)([[:space:]]+.*)?$"));
    return pattern.match(line).captured(QStringLiteral("key")).trimmed();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), int(size));
    const int separator = input.indexOf('\x1e');
    const QHash<QString, QString> wanted = options(separator < 0 ? input : input.left(separator));
    const QByteArray existing = separator < 0 ? QByteArray() : input.mid(separator + 1);

    const QByteArray merged = mergedGpgAgentConf(existing, wanted);
    FUZZ_CHECK(merged.isEmpty() || merged.endsWith('\n'));
    // Merging again changes nothing.
    FUZZ_CHECK(mergedGpgAgentConf(merged, wanted) == merged);

    // Every line of a file without carriage returns is kept byte for byte, whatever its encoding,
    // unless it is the first line of an option, and the options not found are appended.
    if (existing.contains('\r'))
        return 0;
    QByteArrayList before = existing.split('\n');
    if (before.last().isEmpty())
        before.removeLast();
    QByteArrayList after = merged.split('\n');
    after.removeLast();
    FUZZ_CHECK(after.size() >= before.size());
    QHash<QString, QString> left = wanted;
    for (int i = 0; i < before.size(); ++i) {
        const QString lineKey = key(QString::fromUtf8(before.at(i)));
        if (!lineKey.isEmpty() && left.contains(lineKey)) {
            FUZZ_CHECK(after.at(i) == (lineKey + QLatin1Char(' ') + left.take(lineKey)).toUtf8());
        } else {
            FUZZ_CHECK(after.at(i) == before.at(i));
        }
    }
    FUZZ_CHECK(after.size() - before.size() == left.size());
    for (int i = before.size(); i < after.size(); ++i) {
        const QString line = QString::fromUtf8(after.at(i));
        const int space = line.indexOf(QLatin1Char(' '));
        FUZZ_CHECK(space > 0
                   && left.value(line.left(space), QStringLiteral("\n")) == line.mid(space + 1));
    }
    return 0;
}
