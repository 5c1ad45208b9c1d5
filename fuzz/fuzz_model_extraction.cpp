// Identification: the settings table's model query, the word after "Model:" in a
// firmware-information reply. Byte 0 cuts the rest of the input into a preamble and a model word
// for the constructed reply below; the whole rest is also read as a reply of its own.
#include "FuzzCheck.h"
#include "unit/DeviceSettings.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QLatin1String marker("Model:");
    static const QRegularExpression separator(QStringLiteral("[ \r\n]"));
    QString text = QString::fromLatin1(fuzzcheck::tail(data, size, 1));
    // As the channel hands a reply on.
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const auto modelIn = [](const QString &reply) {
        return settings::wordsOf(settings::modelQuery(), reply);
    };

    // Found only after a marker, and then a whole word of the reply: not empty, no separator.
    const QString model = modelIn(text);
    if (!model.isEmpty()) {
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
    const QString constructed =
        preamble + QStringLiteral("  Model: ") + word + QStringLiteral(" Software: 2.4.1  714x:");
    if (!word.isEmpty())
        FUZZ_CHECK(modelIn(constructed) == word, constructed);
    return 0;
}
