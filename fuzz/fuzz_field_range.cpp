// Word-range reads of a reply, as every page does them: bytes 0 and 1 are the first and last word
// (255 stands for the 65535 that reaches to the end), the rest is the reply as the channel hands it
// over (one character per byte, line breaks already blanks).
#include "FuzzCheck.h"
#include "unit/ReplyParsing.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto wordIndex = [&](size_t at) {
        return fuzzcheck::byteAt(data, size, at) == 255 ? 65535 : fuzzcheck::byteAt(data, size, at);
    };
    const int first = wordIndex(0);
    const int last = wordIndex(1);
    const QString text = QString::fromLatin1(fuzzcheck::tail(data, size, 2));
    const QString range = reply::fieldRange(text, first, last);
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);

    // The range is a piece of the reply, never text made up from it.
    FUZZ_CHECK(text.contains(range), text);
    // Its words are exactly the requested words of the reply, in order: a reader never lands on a
    // neighbouring word, and a short reply gives fewer words (or none), not others.
    const QStringList expected = first <= last ? words.mid(first, last - first + 1) : QStringList();
    FUZZ_CHECK(range.split(QLatin1Char(' '), Qt::SkipEmptyParts) == expected, text);
    // It starts on a word; it ends on one unless it reaches to the end of the reply.
    FUZZ_CHECK(!range.startsWith(QLatin1Char(' ')), text);
    FUZZ_CHECK(last >= words.size() || !range.endsWith(QLatin1Char(' ')), text);
    return 0;
}
