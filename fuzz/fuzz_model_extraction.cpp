// Identification: the word after "Model:" in a firmware-information reply. Byte 0 cuts the rest of
// the input into a preamble and a model word for the constructed reply below; the whole rest is
// also read as a reply of its own.
#include "FuzzCheck.h"
#include "unit/ReplyParsing.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QLatin1String marker("Model:");
    static const QRegularExpression separator(QStringLiteral("[ \r\n]"));
    const QString text = QString::fromLatin1(fuzzcheck::tail(data, size, 1));

    // Found only after a marker, and then a whole word of the reply: not empty, no separator.
    QString model;
    if (reply::modelFromFirmwareInfo(text, model)) {
        FUZZ_CHECK(text.contains(marker) && !model.isEmpty() && text.contains(model), text);
        FUZZ_CHECK(!model.contains(separator), text);
    }

    // A reply whose only marker is followed by a model word yields that word, whatever the
    // preamble and the rest look like.
    const int cut = text.isEmpty() ? 0 : fuzzcheck::byteAt(data, size, 0) % (text.size() + 1);
    QString preamble = text.left(cut);
    QString word = text.mid(cut).remove(separator);
    while (preamble.contains(marker) || word.contains(marker)) {
        preamble.remove(marker);
        word.remove(marker);
    }
    const QString constructed = preamble + QStringLiteral("\r\nModel: ") + word +
                                QStringLiteral(" Software: 2.4.1\r\n714x:");
    QString named;
    if (!word.isEmpty())
        FUZZ_CHECK(reply::modelFromFirmwareInfo(constructed, named) && named == word, constructed);
    return 0;
}
