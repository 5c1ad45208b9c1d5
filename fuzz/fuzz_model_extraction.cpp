// Identification: the word after "Model:" in a firmware-information reply. Byte 0 cuts the rest of
// the input into a preamble and a model word for the constructed reply below; the whole rest is
// also read as a reply of its own.
#include "FuzzCheck.h"
#include "link/ReplyParsing.h"

namespace {

const QLatin1String marker("Model:");

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(fuzzcheck::tail(data, size, 1));

    QString model;
    const bool found = reply::modelFromFirmwareInfo(text, model);
    if (!text.contains(marker))
        FUZZ_CHECK(!found, text);
    if (found) {
        // A whole word of the reply: non-empty, no separator inside.
        FUZZ_CHECK(!model.isEmpty(), text);
        FUZZ_CHECK(text.contains(model), text);
        for (QChar c : model)
            FUZZ_CHECK(!isSeparator(c), text);
    }

    // A reply whose only marker is followed by a model word yields that word, whatever the
    // preamble and the rest look like.
    const int cut = text.isEmpty() ? 0 : fuzzcheck::byteAt(data, size, 0) % (text.size() + 1);
    QString preamble = text.left(cut);
    while (preamble.contains(marker))
        preamble.remove(marker);
    QString word = text.mid(cut);
    word.remove(QLatin1Char(' '));
    word.remove(QLatin1Char('\n'));
    word.remove(QLatin1Char('\r'));
    while (word.contains(marker))
        word.remove(marker);
    if (word.isEmpty())
        return 0;
    const QString constructed = preamble + QStringLiteral("\r\nModel: ") + word +
                                QStringLiteral(" Software: 2.4.1\r\n714x:");
    QString named;
    FUZZ_CHECK(reply::modelFromFirmwareInfo(constructed, named), constructed);
    FUZZ_CHECK(named == word, constructed);
    return 0;
}
