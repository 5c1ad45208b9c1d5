// Fail times between the device's tenths and the page's text. Bytes 0-1: a device value; bytes
// 2-17: four signed 32-bit parts of an "h:m:s:d" entry; the rest: any text committed in the field.
#include "FuzzCheck.h"
#include "link/FailTime.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

qint32 partAt(const uint8_t *data, size_t size, size_t offset)
{
    quint32 value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = (value << 8) | fuzzcheck::byteAt(data, size, offset + i);
    return qint32(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QRegularExpression shown(QStringLiteral("^[0-9]:[0-5][0-9]:[0-5][0-9]:[0-9]$"));

    // Every finite device value is shown in the fixed layout and read back unchanged.
    const int tenths = (fuzzcheck::byteAt(data, size, 0) << 8 | fuzzcheck::byteAt(data, size, 1)) %
                       failmode::infiniteTenths;
    const QString text = failmode::timeText(tenths);
    FUZZ_CHECK(shown.match(text).hasMatch(), text);
    FUZZ_CHECK(failmode::tenthsFromText(text) == tenths, text);
    // A shown value already fills the entry template exactly.
    FUZZ_CHECK(failmode::laidIntoTemplate(text) == text, text);

    // Entries of any size: worth what their parts say, held within what the device stores.
    qint64 parts[4];
    for (int i = 0; i < 4; ++i)
        parts[i] = partAt(data, size, 2 + 4 * i);
    const QString entry =
        QStringLiteral("%1:%2:%3:%4").arg(parts[0]).arg(parts[1]).arg(parts[2]).arg(parts[3]);
    const qint64 worth = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 10 + parts[3];
    // A negative part is no time anybody meant: no value at all.
    const bool negative = std::any_of(parts, parts + 4, [](qint64 part) { return part < 0; });
    const std::optional<int> expected =
        negative ? std::nullopt
                 : std::optional<int>(int(std::min<qint64>(worth, failmode::infiniteTenths)));
    FUZZ_CHECK(failmode::tenthsFromText(entry) == expected, entry);

    // Whatever is typed, the value sent stays within the device's range, and a finite one is
    // shown again as the same value.
    const QString typed = QString::fromUtf8(fuzzcheck::tail(data, size, 18));
    const std::optional<int> value = failmode::tenthsFromText(typed);
    if (!value)
        return 0;
    FUZZ_CHECK(*value >= 0 && *value <= failmode::infiniteTenths, typed);
    if (*value < failmode::infiniteTenths)
        FUZZ_CHECK(failmode::tenthsFromText(failmode::timeText(*value)) == *value, typed);
    return 0;
}
