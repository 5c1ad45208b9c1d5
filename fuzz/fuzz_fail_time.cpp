// Fail times between the device's tenths and the page's text. Bytes 0-1: a device value; bytes
// 2-17: four signed 32-bit parts of an "h:m:s:d" entry; the rest: what a user could leave in the
// field after editing, laid into the entry template as the page does.
#include "FuzzCheck.h"
#include "unit/FailTime.h"

#include <QRegularExpression>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QRegularExpression shown(QStringLiteral("^[0-9]:[0-5][0-9]:[0-5][0-9]:[0-9]$"));
    const int infinite = failmode::infiniteTenths;

    // Every finite device value is shown in the fixed layout, fills the template exactly and
    // reads back unchanged.
    const int tenths =
        (fuzzcheck::byteAt(data, size, 0) << 8 | fuzzcheck::byteAt(data, size, 1)) % infinite;
    const QString text = failmode::timeText(tenths);
    FUZZ_CHECK(shown.match(text).hasMatch() && failmode::tenthsFromText(text) == tenths, text);
    FUZZ_CHECK(failmode::laidIntoTemplate(text) == text, text);

    // Entries of any size are worth what their parts say, held within what the device stores;
    // a negative part is no time at all.
    qint64 parts[4];
    bool negative = false;
    for (size_t i = 0; i < 4; ++i) {
        quint32 part = 0;
        for (size_t b = 0; b < 4; ++b)
            part = (part << 8) | fuzzcheck::byteAt(data, size, 2 + 4 * i + b);
        parts[i] = qint32(part);
        negative = negative || parts[i] < 0;
    }
    const QString entry =
        QStringLiteral("%1:%2:%3:%4").arg(parts[0]).arg(parts[1]).arg(parts[2]).arg(parts[3]);
    const qint64 worth = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * 10 + parts[3];
    const auto value = failmode::tenthsFromText(entry);
    FUZZ_CHECK(negative ? !value : value == int(std::min<qint64>(worth, infinite)), entry);

    // Typed text keeps the template's shape, colons at 1, 4 and 7, with the newest six characters
    // right-aligned in the digit positions; laying it again changes nothing.
    const QString edited = QString::fromUtf8(fuzzcheck::tail(data, size, 18));
    const QString laid = failmode::laidIntoTemplate(edited);
    const QString newest =
        QString(edited).remove(QLatin1Char(':')).remove(QLatin1Char(' ')).right(6);
    FUZZ_CHECK(laid.size() == 9 && laid.count(QLatin1Char(':')) == 3, edited);
    FUZZ_CHECK(laid.at(1) == QLatin1Char(':') && laid.at(4) == laid.at(1) &&
                   laid.at(7) == laid.at(1),
               edited);
    FUZZ_CHECK(QString(laid).remove(1, 1).remove(3, 1).remove(5, 1) ==
                   QString(6 - newest.size(), QLatin1Char(' ')) + newest,
               edited);
    FUZZ_CHECK(failmode::laidIntoTemplate(laid) == laid, edited);
    FUZZ_CHECK(!newest.isEmpty() || failmode::holdsNoEntry(laid), edited);

    // What is committed stays within the device's range, a finite value is shown again as itself,
    // and an all-digit entry is worth h:mm:ss:d.
    const QString filled = failmode::zeroFilled(laid);
    const auto committed = failmode::tenthsFromText(filled);
    for (const auto &sent : {committed, failmode::tenthsFromText(edited)}) {
        FUZZ_CHECK(!sent || (*sent >= 0 && *sent <= infinite), edited);
        FUZZ_CHECK(!sent || *sent == infinite ||
                       failmode::tenthsFromText(failmode::timeText(*sent)) == *sent,
                   edited);
    }
    const auto digit = [&filled](int i) { return filled.at(i).unicode() - '0'; };
    const auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    if (std::all_of(newest.begin(), newest.end(), isDigit)) {
        const int digits = digit(0) * 36000 + (digit(2) * 10 + digit(3)) * 600 +
                           (digit(5) * 10 + digit(6)) * 10 + digit(8);
        FUZZ_CHECK(committed == std::min(digits, infinite), edited);
    }
    return 0;
}
