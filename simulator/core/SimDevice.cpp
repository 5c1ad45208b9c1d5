#include "core/SimDevice.h"

#include "core/SimReplies.h"

#include <QRegularExpression>

namespace sim {

namespace {

// Compiled once: the interpreter splits every command line it receives.
const QRegularExpression &blanks()
{
    static const QRegularExpression expression(QStringLiteral("\\s+"));
    return expression;
}

struct ModelInfo
{
    const char *model;
    Family family;
    const char *software;
    const char *boot;
    const char *uid;
};

// Firmware of the radio module, the same on every model.
const char *const radioSoftware = "1.7.3";
const char *const radioBoot = "1.0.4";
const int maxLabelBytes = 64;

const ModelInfo models[] = {
    {"7146", Family::Dimmer5, "2.4.1", "1.3.0", "4B56000012A4"},
    {"7147", Family::Dimmer5, "2.4.1", "1.3.0", "4B56000012A5"},
    {"7126", Family::Dimmer2, "2.4.1", "1.3.0", "4B5600000C31"},
    {"7127", Family::Dimmer2, "2.4.1", "1.3.0", "4B5600000C32"},
    {"7185", Family::Receiver, "3.1.0", "1.2.2", "4B560000F01A"},
    {"7186", Family::Receiver, "3.1.0", "1.2.2", "4B560000F01B"},
};

const ModelInfo *findModel(const QString &model)
{
    for (const ModelInfo &info : models) {
        if (model == QLatin1String(info.model))
            return &info;
    }
    return nullptr;
}

// An unknown model number behaves as the first model of the table, so a misconfigured
// simulator still answers instead of crashing.
const ModelInfo &modelInfo(const QString &model)
{
    const ModelInfo *info = findModel(model);
    return info ? *info : models[0];
}

int channelCount(Family family)
{
    switch (family) {
    case Family::Dimmer5:
        return 5;
    case Family::Dimmer2:
        return 2;
    case Family::Receiver:
        return 0;
    }
    return 0;
}

enum class SetArg
{
    None,
    Channel,
    LabelTarget
};

struct SetCommand
{
    const char *command;
    unsigned families;
    SetArg arg;
    int min;
    int max;
    void (*apply)(DeviceState &state, int channel, int value);
};

// Value ranges are the device's own; a value outside is refused and the setting kept.
const SetCommand setCommands[] = {
    {"setRdmLabel", AllFamilies, SetArg::LabelTarget, 0, 0, nullptr},
    {"setDataLossDelay", AllFamilies, SetArg::None, 0, 65535,
     [](DeviceState &s, int, int v) { s.failDelay = v; }},
    {"setDataLossHold", AllFamilies, SetArg::None, 0, 65535,
     [](DeviceState &s, int, int v) { s.failHold = v; }},
    {"setDataLossLevel", AllFamilies, SetArg::None, 0, 255,
     [](DeviceState &s, int, int v) { s.failLevel = v; }},
    {"setUniverse", AllFamilies, SetArg::None, 1, 63999,
     [](DeviceState &s, int, int v) { s.universe = v; }},
    {"setDmxAddress", AllFamilies, SetArg::None, 1, 512,
     [](DeviceState &s, int, int v) { s.dmxAddress = v; }},
    {"setDmxPersonality", DimmerFamilies, SetArg::None, 0, 1,
     [](DeviceState &s, int, int v) { s.sixteenBit = v != 0; }},
    {"setRdmTraffic", AllFamilies, SetArg::None, 0, 1,
     [](DeviceState &s, int, int v) { s.rdmTraffic = v != 0; }},
    {"setCurve", DimmerFamilies, SetArg::Channel, 0, 3,
     [](DeviceState &s, int c, int v) { s.channels[c].curve = v; }},
    {"setRespTime", DimmerFamilies, SetArg::Channel, 0, 5,
     [](DeviceState &s, int c, int v) { s.channels[c].respTime = v; }},
    {"setModulation", DimmerFamilies, SetArg::Channel, 0, 7,
     [](DeviceState &s, int c, int v) { s.channels[c].modulation = v; }},
    {"setOffset", DimmerFamilies, SetArg::Channel, -100, 100,
     [](DeviceState &s, int c, int v) { s.channels[c].offset = v; }},
    {"setBumpEnable", DimmerFamilies, SetArg::None, 0, 1,
     [](DeviceState &s, int, int v) { s.bumpEnabled = v != 0; }},
    {"setInputMode", AllFamilies, SetArg::None, 0, 1,
     [](DeviceState &s, int, int v) { s.wirelessInput = v != 0; }},
    {"setVexaId", AllFamilies, SetArg::None, 0, 65535,
     [](DeviceState &s, int, int v) { s.vexaId = v; }},
    {"setVexaKey", AllFamilies, SetArg::None, 0, 500,
     [](DeviceState &s, int, int v) { s.vexaKey = v; }},
    {"setAntenna", AllFamilies, SetArg::None, 0, 3,
     [](DeviceState &s, int, int v) { s.antenna = v; }},
    {"setFCPower", AllFamilies, SetArg::None, 0, 3,
     [](DeviceState &s, int, int v) { s.power = v; }},
    {"setPwmConfig", ReceiverFamily, SetArg::None, 0, 1,
     [](DeviceState &s, int, int v) { s.pwmOutput = v != 0; }},
    {"set0-10Config", ReceiverFamily, SetArg::None, 0, 1,
     [](DeviceState &s, int, int v) { s.zeroTenOutput = v != 0; }},
    {"setUserDefaults", AllFamilies, SetArg::None, 0, 0, nullptr},
};

const SetCommand *findSetCommand(const QString &command)
{
    for (const SetCommand &set : setCommands) {
        if (command == QLatin1String(set.command))
            return &set;
    }
    return nullptr;
}

unsigned getCommandFamilies(const QString &command)
{
    unsigned families = 0;
    for (const ReplyFormat &format : replyFormats()) {
        if (command == QLatin1String(format.command))
            families |= format.families;
    }
    return families;
}

bool takesChannel(const QString &command)
{
    for (const ReplyFormat &format : replyFormats()) {
        if (command == QLatin1String(format.command))
            return format.arg == ReplyArg::Channel;
    }
    return false;
}

// Strict decimal: an optional minus and digits only, nothing around them. Nine digits at most
// so that the conversion itself cannot overflow.
bool parseDecimal(const QString &text, int *value)
{
    static const QRegularExpression decimal(QStringLiteral("^-?[0-9]{1,9}$"));
    if (!decimal.match(text).hasMatch())
        return false;
    *value = text.toInt();
    return true;
}

// Channel letters a.. up to the model's count; -1 when the word names none.
int channelIndex(const QString &word, Family family)
{
    if (word.size() != 1)
        return -1;
    const int index = word.at(0).unicode() - 'a';
    return index >= 0 && index < channelCount(family) ? index : -1;
}

// Which label a target word names: -1 root, -2 port, 0.. a channel, -3 none.
const int rootTarget = -1;
const int portTarget = -2;
const int noTarget = -3;

int labelTarget(const QString &word, Family family)
{
    if (family == Family::Receiver) {
        if (word == QLatin1String("0"))
            return rootTarget;
        if (word == QLatin1String("1"))
            return portTarget;
        return noTarget;
    }
    if (word == QLatin1String("r"))
        return rootTarget;
    if (word == QLatin1String("p"))
        return portTarget;
    const int channel = channelIndex(word, family);
    return channel >= 0 ? channel : noTarget;
}

ReplyArg labelReplyArg(int target)
{
    if (target == rootTarget)
        return ReplyArg::RootLabel;
    if (target == portTarget)
        return ReplyArg::PortLabel;
    return ReplyArg::ChannelLabel;
}

QString &labelOf(DeviceState &state, int target)
{
    if (target == rootTarget)
        return state.rootLabel;
    if (target == portTarget)
        return state.portLabel;
    return state.channels[target].label;
}

QString labelText(const DeviceState &state, int target)
{
    if (target == rootTarget)
        return state.rootLabel;
    if (target == portTarget)
        return state.portLabel;
    return state.channels.at(target).label;
}

// The value word of a get command, as the device prints it.
QString valueText(const QString &command, const DeviceState &state, int channel)
{
    const auto flag = [](bool on) {
        return on ? QStringLiteral("enabled") : QStringLiteral("disabled");
    };
    if (command == QLatin1String("getDataLossDelay"))
        return QString::number(state.failDelay);
    if (command == QLatin1String("getDataLossHold"))
        return QString::number(state.failHold);
    if (command == QLatin1String("getDataLossLevel"))
        return QString::number(state.failLevel);
    if (command == QLatin1String("getUniverse"))
        return QString::number(state.universe);
    if (command == QLatin1String("getDmxAddress"))
        return QString::number(state.dmxAddress);
    if (command == QLatin1String("getDmxPersonality"))
        return state.sixteenBit ? QStringLiteral("16-bit") : QStringLiteral("8-bit");
    if (command == QLatin1String("getRdmTraffic"))
        return flag(state.rdmTraffic);
    if (command == QLatin1String("getCurve"))
        return QString::number(state.channels.at(channel).curve);
    if (command == QLatin1String("getRespTime"))
        return QString::number(state.channels.at(channel).respTime);
    if (command == QLatin1String("getModulation"))
        return QString::number(state.channels.at(channel).modulation);
    if (command == QLatin1String("getOffset"))
        return QString::number(state.channels.at(channel).offset);
    if (command == QLatin1String("getBumpEnable"))
        return flag(state.bumpEnabled);
    if (command == QLatin1String("getInputMode"))
        return state.wirelessInput ? QStringLiteral("Wireless") : QStringLiteral("Wired");
    if (command == QLatin1String("getVexaId"))
        return QString::number(state.vexaId);
    if (command == QLatin1String("getAntenna"))
        return QString::number(state.antenna);
    if (command == QLatin1String("getFCPower"))
        return QString::number(state.power);
    if (command == QLatin1String("getVexaKey"))
        return QString::number(state.vexaKey);
    if (command == QLatin1String("getPwmConfig"))
        return state.pwmOutput ? QStringLiteral("1") : QStringLiteral("0");
    if (command == QLatin1String("get0-10Config"))
        return state.zeroTenOutput ? QStringLiteral("1") : QStringLiteral("0");
    return QString();
}

QString fillReply(const ReplyFormat &format, const ModelInfo &info, const QString &uid,
                  const DeviceState &state, int channel)
{
    QString text = QString::fromLatin1(format.text);
    const QString command = QLatin1String(format.command);
    text.replace(QLatin1String("{model}"), QLatin1String(info.model));
    text.replace(QLatin1String("{software}"), QLatin1String(info.software));
    text.replace(QLatin1String("{boot}"), QLatin1String(info.boot));
    text.replace(QLatin1String("{uid}"), uid);
    text.replace(QLatin1String("{fcSoftware}"), QLatin1String(radioSoftware));
    text.replace(QLatin1String("{fcBoot}"), QLatin1String(radioBoot));
    if (format.arg == ReplyArg::Channel || format.arg == ReplyArg::ChannelLabel)
        text.replace(QLatin1String("{ch}"), QChar('a' + channel));
    // The label goes in last: it is user text and may itself contain braces.
    text.replace(QLatin1String("{value}"), valueText(command, state, channel));
    if (text.contains(QLatin1String("{label}")))
        text.replace(QLatin1String("{label}"), labelText(state, channel));
    return text;
}

const QString errUnknown = QStringLiteral("ERROR: unknown command");
const QString errModel = QStringLiteral("ERROR: command not supported by this model");
const QString errMissing = QStringLiteral("ERROR: missing argument");
const QString errExtra = QStringLiteral("ERROR: unexpected argument");
const QString errBad = QStringLiteral("ERROR: bad argument");
const QString errRange = QStringLiteral("ERROR: value out of range");
const QString errLabel = QStringLiteral("ERROR: label too long");

} // namespace

bool DeviceState::operator==(const DeviceState &other) const
{
    if (channels.size() != other.channels.size())
        return false;
    for (int i = 0; i < channels.size(); ++i) {
        const ChannelState &a = channels.at(i);
        const ChannelState &b = other.channels.at(i);
        if (a.label != b.label || a.curve != b.curve || a.respTime != b.respTime ||
            a.modulation != b.modulation || a.offset != b.offset)
            return false;
    }
    return rootLabel == other.rootLabel && portLabel == other.portLabel &&
           failDelay == other.failDelay && failHold == other.failHold &&
           failLevel == other.failLevel && universe == other.universe &&
           dmxAddress == other.dmxAddress && sixteenBit == other.sixteenBit &&
           rdmTraffic == other.rdmTraffic && bumpEnabled == other.bumpEnabled &&
           wirelessInput == other.wirelessInput && vexaId == other.vexaId &&
           vexaKey == other.vexaKey && antenna == other.antenna && power == other.power &&
           pwmOutput == other.pwmOutput && zeroTenOutput == other.zeroTenOutput;
}

SimDevice::SimDevice(const QString &model) : m_model(model), m_family(Family::Dimmer5)
{
    const ModelInfo &info = modelInfo(model);
    m_family = info.family;
    m_uid = QLatin1String(info.uid);
    m_state = factoryDefaults();
}

QString SimDevice::defaultUid(const QString &model)
{
    const ModelInfo *info = findModel(model);
    return info ? QLatin1String(info->uid) : QString();
}

QString SimDevice::prompt() const
{
    switch (m_family) {
    case Family::Dimmer5:
        return QStringLiteral("714x:");
    case Family::Dimmer2:
        return QStringLiteral("712x:");
    case Family::Receiver:
        return QStringLiteral("718x:");
    }
    return QStringLiteral(":");
}

DeviceState SimDevice::factoryDefaults() const
{
    DeviceState state;
    const bool receiver = m_family == Family::Receiver;
    state.rootLabel = receiver ? QStringLiteral("Farcast Receiver") : QStringLiteral("Glimmerline");
    state.portLabel = QStringLiteral("DMX Port");
    state.failDelay = 50;
    state.failHold = 65535;
    state.failLevel = 0;
    state.universe = 1;
    state.dmxAddress = 1;
    state.sixteenBit = false;
    state.rdmTraffic = false;
    for (int i = 0; i < channelCount(m_family); ++i) {
        ChannelState channel;
        channel.label = QStringLiteral("Channel %1").arg(QChar('A' + i));
        state.channels.append(channel);
    }
    state.bumpEnabled = false;
    state.wirelessInput = false;
    state.vexaId = 1;
    state.vexaKey = 0;
    state.antenna = 0;
    state.power = 2;
    state.pwmOutput = true;
    state.zeroTenOutput = true;
    return state;
}

DeviceState SimDevice::seededState(int seed) const
{
    DeviceState state = factoryDefaults();
    if (seed <= 0)
        return state;
    const int n = seed;
    // Each value steps away from the factory value by a stride that no range divides, so that
    // neighbouring seeds never meet.
    const auto step = [n](int factory, int low, int high, int stride) {
        const int span = high - low + 1;
        return low + int((qint64(factory - low) + qint64(n) * stride) % span);
    };
    const auto flip = [n](bool factory) { return (n % 2 == 1) ? !factory : factory; };
    const QString tag = QStringLiteral(" #%1").arg(n);
    state.rootLabel += tag;
    state.portLabel += tag;
    state.failDelay = step(state.failDelay, 0, 65534, 1237);
    // The factory hold is infinite; seeds hold for a finite time.
    state.failHold = step(0, 0, 65534, 611);
    if (state.failHold == 0)
        state.failHold = 65535;
    state.failLevel = step(state.failLevel, 0, 255, 3);
    state.universe = step(state.universe, 1, 63999, 17);
    state.dmxAddress = step(state.dmxAddress, 1, 512, 7);
    state.sixteenBit = flip(state.sixteenBit);
    state.rdmTraffic = flip(state.rdmTraffic);
    for (ChannelState &channel : state.channels) {
        channel.label += tag;
        channel.curve = step(channel.curve, 0, 3, 1);
        channel.respTime = step(channel.respTime, 0, 5, 1);
        channel.modulation = step(channel.modulation, 0, 7, 1);
        channel.offset = step(channel.offset, -100, 100, 7);
    }
    state.bumpEnabled = flip(state.bumpEnabled);
    state.wirelessInput = flip(state.wirelessInput);
    state.vexaId = step(state.vexaId, 0, 65535, 101);
    state.vexaKey = step(state.vexaKey, 0, 500, 13);
    state.antenna = step(state.antenna, 0, 3, 1);
    state.power = step(state.power, 0, 3, 1);
    state.pwmOutput = flip(state.pwmOutput);
    state.zeroTenOutput = flip(state.zeroTenOutput);
    return state;
}

QByteArray SimDevice::respond(const QByteArray &line)
{
    QByteArray echo = line;
    while (echo.endsWith('\n') || echo.endsWith('\r'))
        echo.chop(1);

    const QString text = QString::fromUtf8(echo);
    const QStringList words = text.split(blanks(), Qt::SkipEmptyParts);
    const auto answer = [&](const QString &reply) {
        QByteArray out = echo;
        out += "\r\n";
        if (!reply.isEmpty()) {
            out += reply.toUtf8();
            out += "\r\n";
        }
        out += prompt().toLatin1();
        return out;
    };

    if (words.isEmpty())
        return answer(QString());

    const QString command = words.first();
    const unsigned bit = familyBit(m_family);

    if (const unsigned getFamilies = getCommandFamilies(command)) {
        if (!(getFamilies & bit))
            return answer(errModel);
        ReplyArg arg = ReplyArg::None;
        int channel = -1;
        if (command == QLatin1String("getRdmLabel")) {
            if (words.size() < 2)
                return answer(errMissing);
            channel = labelTarget(words.at(1), m_family);
            if (channel == noTarget)
                return answer(errBad);
            arg = labelReplyArg(channel);
        } else if (takesChannel(command)) {
            if (words.size() < 2)
                return answer(errMissing);
            channel = channelIndex(words.at(1), m_family);
            if (channel < 0)
                return answer(errBad);
            arg = ReplyArg::Channel;
        }
        if (words.size() > (arg == ReplyArg::None ? 1 : 2))
            return answer(errExtra);
        const ReplyFormat *format = findReplyFormat(command, arg, m_family);
        if (!format)
            return answer(errModel);
        return answer(fillReply(*format, modelInfo(m_model), m_uid, m_state, channel));
    }

    const SetCommand *set = findSetCommand(command);
    if (!set)
        return answer(errUnknown);
    if (!(set->families & bit))
        return answer(errModel);

    if (set->arg == SetArg::LabelTarget) {
        if (words.size() < 2)
            return answer(errMissing);
        const int target = labelTarget(words.at(1), m_family);
        if (target == noTarget)
            return answer(errBad);
        // The label is everything between the first and the last double quote, so it may hold
        // blanks and quotes of its own; only blanks may stand outside the quotes.
        const int first = text.indexOf(QLatin1Char('"'));
        const int last = text.lastIndexOf(QLatin1Char('"'));
        if (first < 0 || first == last)
            return answer(errMissing);
        const QString before = text.left(first).trimmed();
        if (before.split(blanks(), Qt::SkipEmptyParts).size() != 2 ||
            !text.mid(last + 1).trimmed().isEmpty())
            return answer(errBad);
        const QString label = text.mid(first + 1, last - first - 1);
        if (label.toUtf8().size() > maxLabelBytes)
            return answer(errLabel);
        labelOf(m_state, target) = label;
        return answer(QStringLiteral("OK"));
    }

    int channel = -1;
    int valueWord = 1;
    if (set->arg == SetArg::Channel) {
        if (words.size() < 2)
            return answer(errMissing);
        channel = channelIndex(words.at(1), m_family);
        if (channel < 0)
            return answer(errBad);
        valueWord = 2;
    }
    if (!set->apply) { // setUserDefaults
        if (words.size() > 1)
            return answer(errExtra);
        m_state = factoryDefaults();
        return answer(QStringLiteral("OK: factory defaults restored"));
    }
    if (words.size() <= valueWord)
        return answer(errMissing);
    if (words.size() > valueWord + 1)
        return answer(errExtra);
    int value = 0;
    if (!parseDecimal(words.at(valueWord), &value))
        return answer(errBad);
    if (value < set->min || value > set->max)
        return answer(errRange);
    set->apply(m_state, channel, value);
    return answer(QStringLiteral("OK"));
}

} // namespace sim
