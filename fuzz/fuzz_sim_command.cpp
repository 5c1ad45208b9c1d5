// The simulator's command interpreter. Byte 0 picks the model; the rest is a session of command
// lines. Every answer must keep the framing the channel relies on, the device state must stay
// within the device's ranges, an accepted numeric setting must read back as sent, and at the end
// every get reply must carry the state's values at the word positions the pages read.
#include "FuzzCheck.h"
#include "core/SimDevice.h"
#include "core/SimReplies.h"
#include "link/ReplyParsing.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const char *const models[] = {"7146", "7147", "7126", "7127", "7185", "7186"};

QStringList wordsOf(const QByteArray &answer)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return QString::fromUtf8(answer).split(blanks, Qt::SkipEmptyParts);
}

int channelCount(sim::Family family)
{
    switch (family) {
    case sim::Family::Dimmer5:
        return 5;
    case sim::Family::Dimmer2:
        return 2;
    case sim::Family::Receiver:
        return 0;
    }
    return 0;
}

bool within(int value, int min, int max)
{
    return value >= min && value <= max;
}

void checkState(const sim::SimDevice &device, const QString &context)
{
    const sim::DeviceState &s = device.state();
    FUZZ_CHECK(s.channels.size() == channelCount(device.family()), context);
    FUZZ_CHECK(s.rootLabel.toUtf8().size() <= 64 && s.portLabel.toUtf8().size() <= 64, context);
    FUZZ_CHECK(within(s.failDelay, 0, 65535) && within(s.failHold, 0, 65535), context);
    FUZZ_CHECK(within(s.failLevel, 0, 255), context);
    FUZZ_CHECK(within(s.universe, 1, 63999) && within(s.dmxAddress, 1, 512), context);
    FUZZ_CHECK(within(s.vexaId, 0, 65535) && within(s.vexaKey, 0, 500), context);
    FUZZ_CHECK(within(s.antenna, 0, 3) && within(s.power, 0, 3), context);
    for (const sim::ChannelState &c : s.channels) {
        FUZZ_CHECK(c.label.toUtf8().size() <= 64, context);
        FUZZ_CHECK(within(c.curve, 0, 3) && within(c.respTime, 0, 5), context);
        FUZZ_CHECK(within(c.modulation, 0, 7) && within(c.offset, -100, 100), context);
    }
}

// Numeric settings whose get reply shows the number as set, and the word it lands on.
struct NumericSetting
{
    const char *set;
    const char *get;
    bool perChannel;
    int word;
};

const NumericSetting numericSettings[] = {
    {"setDataLossDelay", "getDataLossDelay", false, 7},
    {"setDataLossHold", "getDataLossHold", false, 7},
    {"setDataLossLevel", "getDataLossLevel", false, 6},
    {"setUniverse", "getUniverse", false, 4},
    {"setDmxAddress", "getDmxAddress", false, 6},
    {"setCurve", "getCurve", true, 6},
    {"setRespTime", "getRespTime", true, 6},
    {"setModulation", "getModulation", true, 6},
    {"setOffset", "getOffset", true, 6},
    {"setVexaId", "getVexaId", false, 5},
    {"setVexaKey", "getVexaKey", false, 6},
    {"setAntenna", "getAntenna", false, 4},
    {"setFCPower", "getFCPower", false, 5},
};

void checkReadBack(sim::SimDevice &device, const QByteArray &line, const QByteArray &answer)
{
    const QStringList words = wordsOf(line);
    if (words.size() < 2 || wordsOf(answer).value(words.size()) != QLatin1String("OK"))
        return;
    for (const NumericSetting &setting : numericSettings) {
        if (words.first() != QLatin1String(setting.set))
            continue;
        QByteArray get = setting.get;
        if (setting.perChannel)
            get += ' ' + words.at(1).toUtf8();
        const QStringList readBack = wordsOf(device.respond(get + '\n'));
        FUZZ_CHECK(readBack.value(setting.word) == QString::number(words.last().toInt()),
                   QString::fromUtf8(line));
    }
}

QString expectedValue(const QString &command, const sim::DeviceState &s, int channel)
{
    const auto flag = [](bool on) { return QString::fromLatin1(on ? "enabled" : "disabled"); };
    if (command == QLatin1String("getDataLossDelay"))
        return QString::number(s.failDelay);
    if (command == QLatin1String("getDataLossHold"))
        return QString::number(s.failHold);
    if (command == QLatin1String("getDataLossLevel"))
        return QString::number(s.failLevel);
    if (command == QLatin1String("getUniverse"))
        return QString::number(s.universe);
    if (command == QLatin1String("getDmxAddress"))
        return QString::number(s.dmxAddress);
    if (command == QLatin1String("getDmxPersonality"))
        return QString::fromLatin1(s.sixteenBit ? "16-bit" : "8-bit");
    if (command == QLatin1String("getRdmTraffic"))
        return flag(s.rdmTraffic);
    if (command == QLatin1String("getCurve"))
        return QString::number(s.channels.at(channel).curve);
    if (command == QLatin1String("getRespTime"))
        return QString::number(s.channels.at(channel).respTime);
    if (command == QLatin1String("getModulation"))
        return QString::number(s.channels.at(channel).modulation);
    if (command == QLatin1String("getOffset"))
        return QString::number(s.channels.at(channel).offset);
    if (command == QLatin1String("getBumpEnable"))
        return flag(s.bumpEnabled);
    if (command == QLatin1String("getInputMode"))
        return QString::fromLatin1(s.wirelessInput ? "Wireless" : "Wired");
    if (command == QLatin1String("getVexaId"))
        return QString::number(s.vexaId);
    if (command == QLatin1String("getAntenna"))
        return QString::number(s.antenna);
    if (command == QLatin1String("getFCPower"))
        return QString::number(s.power);
    if (command == QLatin1String("getVexaKey"))
        return QString::number(s.vexaKey);
    if (command == QLatin1String("getPwmConfig"))
        return QString::fromLatin1(s.pwmOutput ? "1" : "0");
    if (command == QLatin1String("get0-10Config"))
        return QString::fromLatin1(s.zeroTenOutput ? "1" : "0");
    return QString();
}

// The get commands a page would send for one reply row, each with the channel it reads (-1 none).
QVector<QPair<QByteArray, int>> requestsFor(const sim::ReplyFormat &format, sim::Family family)
{
    const QByteArray command = format.command;
    const bool receiver = family == sim::Family::Receiver;
    QVector<QPair<QByteArray, int>> requests;
    switch (format.arg) {
    case sim::ReplyArg::None:
        requests.append({command, -1});
        break;
    case sim::ReplyArg::RootLabel:
        requests.append({command + (receiver ? " 0" : " r"), -1});
        break;
    case sim::ReplyArg::PortLabel:
        requests.append({command + (receiver ? " 1" : " p"), -1});
        break;
    case sim::ReplyArg::Channel:
    case sim::ReplyArg::ChannelLabel:
        for (int c = 0; c < channelCount(family); ++c)
            requests.append({command + ' ' + char('a' + c), c});
        break;
    }
    return requests;
}

QString labelFor(const sim::ReplyFormat &format, const sim::DeviceState &s, int channel)
{
    if (format.arg == sim::ReplyArg::RootLabel)
        return s.rootLabel;
    if (format.arg == sim::ReplyArg::PortLabel)
        return s.portLabel;
    return s.channels.at(channel).label;
}

void checkReplies(sim::SimDevice &device)
{
    const unsigned bit = sim::familyBit(device.family());
    for (const sim::ReplyFormat &format : sim::replyFormats()) {
        if (!(format.families & bit))
            continue;
        for (const auto &request : requestsFor(format, device.family())) {
            const QByteArray answer = device.respond(request.first + '\n');
            const QStringList words = wordsOf(answer);
            const QString context = QString::fromUtf8(answer);
            for (const sim::ReplySlot &slot : format.fields) {
                const QString name = QLatin1String(slot.name);
                if (name == QLatin1String("model")) {
                    FUZZ_CHECK(words.value(slot.word) == device.model(), context);
                } else if (name == QLatin1String("value")) {
                    FUZZ_CHECK(words.value(slot.word) ==
                                   expectedValue(QLatin1String(format.command), device.state(),
                                                 request.second),
                               context);
                } else if (name == QLatin1String("label")) {
                    // The label starts at its word and is read back whole between the quotes.
                    FUZZ_CHECK(words.value(slot.word).startsWith(QLatin1Char('\'')), context);
                    FUZZ_CHECK(reply::quoted(context, QStringLiteral("'")) ==
                                   labelFor(format, device.state(), request.second),
                               context);
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int modelIndex = fuzzcheck::byteAt(data, size, 0) % 6;
    sim::SimDevice device(QString::fromLatin1(models[modelIndex]));
    const QByteArray prompt = device.prompt().toLatin1();
    const QList<QByteArray> lines = fuzzcheck::tail(data, size, 1).split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray answer = device.respond(line + '\n');
        QByteArray echo = line;
        while (echo.endsWith('\r'))
            echo.chop(1);
        const QString context = QString::fromUtf8(line);
        // The echo, a line break, at most one line of reply text, and the prompt to end it.
        FUZZ_CHECK(answer.startsWith(echo + "\r\n"), context);
        FUZZ_CHECK(answer.endsWith("\r\n" + prompt) || answer == echo + "\r\n" + prompt, context);
        checkState(device, context);
        checkReadBack(device, line, answer);
    }
    // Replies of an untouched device are the same every time; checking them once per model keeps
    // the run fast for the many inputs that change nothing.
    static bool defaultsChecked[6] = {};
    if (device.state() != device.factoryDefaults() || !defaultsChecked[modelIndex]) {
        checkReplies(device);
        defaultsChecked[modelIndex] = device.state() == device.factoryDefaults();
    }
    return 0;
}
