// Label reads: the text between the first and the last delimiter. Byte 0 picks the delimiter's
// length (0..3), bytes 1 and 2 cut the text for the round trip below, then come the delimiter's
// bytes and the text (one character per byte, as the channel delivers them).
#include "FuzzCheck.h"
#include "unit/ReplyParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int delimiterSize = fuzzcheck::byteAt(data, size, 0) % 4;
    const QString delimiter =
        QString::fromLatin1(fuzzcheck::tail(data, size, 3).left(delimiterSize));
    const QString text = QString::fromLatin1(fuzzcheck::tail(data, size, 3 + delimiterSize));

    const QString result = reply::quoted(text, delimiter);
    FUZZ_CHECK(text.contains(result), text);
    FUZZ_CHECK(result == text || (!delimiter.isEmpty() && text.contains(delimiter)), text);

    // A label written between two single-character delimiters comes back whole, whatever it holds
    // (blanks, delimiters of its own), as long as nothing outside it contains the delimiter.
    const QChar mark = delimiter.isEmpty() ? QLatin1Char('\'') : delimiter.front();
    const int cut1 = text.isEmpty() ? 0 : fuzzcheck::byteAt(data, size, 1) % (text.size() + 1);
    const int cut2 = text.isEmpty() ? 0 : fuzzcheck::byteAt(data, size, 2) % (text.size() + 1);
    const QString label = text.mid(qMin(cut1, cut2), qAbs(cut1 - cut2));
    const QString framed = text.left(qMin(cut1, cut2)).remove(mark) + mark + label + mark +
                           text.mid(qMax(cut1, cut2)).remove(mark);
    FUZZ_CHECK(reply::quoted(framed, QString(mark)) == label, framed);
    return 0;
}
