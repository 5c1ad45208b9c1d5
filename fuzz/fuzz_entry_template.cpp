// The fail-time entry template, fed with whatever a user could leave in the field after editing.
#include "FuzzCheck.h"
#include "link/FailTime.h"

#include <algorithm>

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString edited = QString::fromUtf8(fuzzcheck::tail(data, size, 0));
    const QString laid = failmode::laidIntoTemplate(edited);

    // Always the template's shape: nine positions, colons at 1, 4 and 7, nothing else a colon.
    FUZZ_CHECK(laid.size() == 9, edited);
    for (int i = 0; i < laid.size(); ++i)
        FUZZ_CHECK((laid.at(i) == QLatin1Char(':')) == (i == 1 || i == 4 || i == 7), edited);

    // The digit positions hold the newest six typed characters, right-aligned, blanks before them.
    QString entered = edited;
    entered.remove(QLatin1Char(':'));
    entered.remove(QLatin1Char(' '));
    const QString newest = entered.right(6);
    QString positions = laid;
    positions.remove(QLatin1Char(':'));
    FUZZ_CHECK(positions == QString(6 - newest.size(), QLatin1Char(' ')) + newest, edited);

    // Laying an entry again changes nothing, so a field committed twice sends the same value.
    FUZZ_CHECK(failmode::laidIntoTemplate(laid) == laid, edited);
    if (entered.isEmpty())
        FUZZ_CHECK(failmode::holdsNoEntry(laid), edited);

    // An all-digit entry is worth h:mm:ss:d, capped at the infinite value.
    const QString filled = failmode::zeroFilled(laid);
    const std::optional<int> read = failmode::tenthsFromText(filled);
    // Only a minus sign among the digits makes no time at all.
    if (!read) {
        FUZZ_CHECK(newest.contains(QLatin1Char('-')), edited);
        return 0;
    }
    const int value = *read;
    FUZZ_CHECK(value >= 0 && value <= failmode::infiniteTenths, edited);
    if (std::all_of(newest.begin(), newest.end(), isDigit)) {
        const auto digit = [&filled](int i) { return filled.at(i).unicode() - '0'; };
        const int worth = digit(0) * 36000 + (digit(2) * 10 + digit(3)) * 600 +
                          (digit(5) * 10 + digit(6)) * 10 + digit(8);
        FUZZ_CHECK(value == std::min(worth, failmode::infiniteTenths), edited);
    }
    return 0;
}
