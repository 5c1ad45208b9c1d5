// The simulator's command interpreter, the device in every test. Byte 0 picks the model; the rest
// is a session of command lines. Every answer must keep the framing the channel relies on, the
// device state must stay within the device's ranges, and an accepted number must read back as
// sent wherever the matching get shows a number.
#include "FuzzCheck.h"
#include "core/SimDevice.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const char *const models[] = {"7146", "7147", "7126", "7127", "7185", "7186"};

QStringList wordsOf(const QByteArray &answer)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return QString::fromUtf8(answer).split(blanks, Qt::SkipEmptyParts);
}

void checkState(const sim::SimDevice &device, const QString &context)
{
    const auto within = [](int value, int min, int max) { return value >= min && value <= max; };
    const sim::DeviceState &s = device.state();
    const sim::Family family = device.family();
    FUZZ_CHECK(s.channels.size() == (family == sim::Family::Dimmer5   ? 5
                                     : family == sim::Family::Dimmer2 ? 2
                                                                      : 0),
               context);
    FUZZ_CHECK(s.rootLabel.toUtf8().size() <= 64 && s.portLabel.toUtf8().size() <= 64, context);
    FUZZ_CHECK(within(s.failDelay, 0, 65535) && within(s.failHold, 0, 65535), context);
    FUZZ_CHECK(within(s.failLevel, 0, 255) && within(s.vexaKey, 0, 500), context);
    FUZZ_CHECK(within(s.universe, 1, 63999) && within(s.dmxAddress, 1, 512), context);
    FUZZ_CHECK(within(s.vexaId, 0, 65535) && within(s.antenna, 0, 3) && within(s.power, 0, 3),
               context);
    for (const sim::ChannelState &c : s.channels) {
        FUZZ_CHECK(c.label.toUtf8().size() <= 64 && within(c.curve, 0, 3), context);
        FUZZ_CHECK(within(c.respTime, 0, 5) && within(c.modulation, 0, 7), context);
        FUZZ_CHECK(within(c.offset, -100, 100), context);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    sim::SimDevice device(QString::fromLatin1(models[fuzzcheck::byteAt(data, size, 0) % 6]));
    const QByteArray prompt = device.prompt().toLatin1();
    for (const QByteArray &line : fuzzcheck::tail(data, size, 1).split('\n')) {
        const QByteArray answer = device.respond(line + '\n');
        QByteArray echo = line;
        while (echo.endsWith('\r'))
            echo.chop(1);
        const QString context = QString::fromUtf8(line);
        // The echo, a line break, at most one line of reply text, and the prompt to end it.
        FUZZ_CHECK(answer.startsWith(echo + "\r\n"), context);
        FUZZ_CHECK(answer.endsWith("\r\n" + prompt) || answer == echo + "\r\n" + prompt, context);
        checkState(device, context);

        // The value a get shows is the word before the prompt.
        const QStringList words = wordsOf(line);
        if (words.size() < 2 || !words.first().startsWith(QLatin1String("set")) ||
            wordsOf(answer).value(words.size()) != QLatin1String("OK"))
            continue;
        QByteArray get = "get" + words.first().mid(3).toUtf8();
        if (words.size() == 3)
            get += ' ' + words.at(1).toUtf8();
        const QStringList shown = wordsOf(device.respond(get + '\n'));
        bool sentNumber = false;
        bool shownNumber = false;
        const int sent = words.last().toInt(&sentNumber);
        const int back = shown.value(shown.size() - 2).toInt(&shownNumber);
        if (sentNumber && shownNumber)
            FUZZ_CHECK(back == sent, context);
    }
    return 0;
}
