#include "unit/DeviceSettings.h"

#include "unit/ReplyParsing.h"
#include "unit/UserText.h"

#include <QCoreApplication>

#include <cmath>

namespace settings {

namespace {

enum FamilyBits : unsigned
{
    D5 = 1u << 0,
    D2 = 1u << 1,
    R = 1u << 2,
    Dimmers = D5 | D2,
    All = D5 | D2 | R,
};

unsigned bitOf(Family family)
{
    switch (family) {
    case Family::Dimmer5:
        return D5;
    case Family::Dimmer2:
        return D2;
    case Family::Receiver:
        return R;
    }
    return 0;
}

// A label runs to the end of its reply: it may hold blanks, so it spans many words.
constexpr int toEnd = 65535;

const char *const curveNames[] = {
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Square Law (Incan.)"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Linear"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Non-Dim"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Logarithmic (LED)"),
    nullptr,
};
const char *const responseNames[] = {
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "5ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "10ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "50ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "100ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "200ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "400ms Ramp Time"),
    nullptr,
};
const char *const modulationNames[] = {
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "60Hz - Incandescent"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "1200Hz - Candle"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "1200Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "2400Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "5000Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "12000Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "24000Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "50000Hz - LED"),
    nullptr,
};
const char *const antennaNames[] = {
    QT_TRANSLATE_NOOP("FarcastWidget", "Internal"),
    QT_TRANSLATE_NOOP("FarcastWidget", "Omni"),
    QT_TRANSLATE_NOOP("FarcastWidget", "Panel"),
    QT_TRANSLATE_NOOP("FarcastWidget", "Yagi"),
    nullptr,
};
const char *const powerNames[] = {
    QT_TRANSLATE_NOOP("FarcastWidget", "Low"),
    QT_TRANSLATE_NOOP("FarcastWidget", "Medium"),
    QT_TRANSLATE_NOOP("FarcastWidget", "High"),
    QT_TRANSLATE_NOOP("FarcastWidget", "Max"),
    nullptr,
};
const char *const personalityNames[] = {"8-bit", "16-bit", nullptr};
const char *const inputModeNames[] = {"wired", "wireless", nullptr};

// One row of the source table. "%c" in a key or command stands for the channel letter; such a
// row is repeated for every channel of the family.
struct Row
{
    const char *key;
    unsigned families;
    Kind kind;
    WriteStep writeStep;
    const char *get;
    int first;
    int last;
    const char *set; // null: read-only
    const char *const *entries = nullptr;
    const char *marker = nullptr;
    bool quoted = false;
    int maxLength = 0;
    const char *meaning = "";
    // A second part of the value, read with its own command and joined by ", ".
    const char *get2 = nullptr;
    int word2 = 0;
    const char *context = nullptr;
    const char *anchor = nullptr;
};

// Word positions count from 0 over the whole answer, the echoed command included. Where the
// dimmers and the receiver cards word a reply differently, the key has a row for each.
const Row rows[] = {
    // The word after "Model:", wherever the firmware information puts it: the one rule by which
    // a unit is identified.
    {"identity.model", All, Kind::Text, WriteStep::None, "getFWInfo\n", 1, 1, nullptr, nullptr,
     nullptr, false, 0, "model number the unit reports", nullptr, 0, nullptr, "Model:"},
    {"identity.software", Dimmers, Kind::Text, WriteStep::None, "getFWInfo\n", 11, 11, nullptr,
     nullptr, nullptr, false, 0, "software versions: controller, radio module", "getFCConfig\n",
     26},
    {"identity.software", R, Kind::Text, WriteStep::None, "getFWInfo\n", 13, 13, nullptr, nullptr,
     nullptr, false, 0, "software versions: controller, radio module", "getFCConfig\n", 23},
    {"identity.boot", Dimmers, Kind::Text, WriteStep::None, "getFWInfo\n", 14, 14, nullptr, nullptr,
     nullptr, false, 0, "boot loader versions: controller, radio module", "getFCConfig\n", 29},
    {"identity.boot", R, Kind::Text, WriteStep::None, "getFWInfo\n", 16, 16, nullptr, nullptr,
     nullptr, false, 0, "boot loader versions: controller, radio module", "getFCConfig\n", 26},
    {"identity.uid", Dimmers, Kind::Text, WriteStep::None, "getFCConfig\n", 24, 24, nullptr,
     nullptr, nullptr, false, 0, "RDM UID"},
    {"identity.uid", R, Kind::Text, WriteStep::None, "getFCConfig\n", 21, 21, nullptr, nullptr,
     nullptr, false, 0, "RDM UID"},
    {"device.label", Dimmers, Kind::Text, WriteStep::Labels, "getRdmLabel r\n", 7, toEnd,
     "setRdmLabel r \"%v\"\n", nullptr, nullptr, true, 0, "RDM label of the unit"},
    {"device.label", R, Kind::Text, WriteStep::Labels, "getRdmLabel 0\n", 6, toEnd,
     "setRdmLabel 0 \"%v\"\n", nullptr, nullptr, true, 0, "RDM label of the unit"},
    {"dmx.port_label", Dimmers, Kind::Text, WriteStep::Labels, "getRdmLabel p\n", 7, toEnd,
     "setRdmLabel p \"%v\"\n", nullptr, nullptr, true, 0, "RDM label of the DMX port"},
    {"dmx.port_label", R, Kind::Text, WriteStep::Labels, "getRdmLabel 1\n", 6, toEnd,
     "setRdmLabel 1 \"%v\"\n", nullptr, nullptr, true, 0, "RDM label of the DMX port"},
    {"dmx.universe", All, Kind::Integer, WriteStep::Universe, "getUniverse\n", 4, 4,
     "setUniverse %v\n", nullptr, nullptr, false, 0, "DMX universe"},
    {"dmx.address", All, Kind::Integer, WriteStep::Footprint, "getDmxAddress\n", 6, 6,
     "setDmxAddress %v\n", nullptr, nullptr, false, 0, "DMX start address"},
    {"dmx.personality", Dimmers, Kind::Choice, WriteStep::Footprint, "getDmxPersonality\n", 7, 7,
     "setDmxPersonality %v\n", personalityNames, "16-bit", false, 0,
     "DMX personality: one or two slots per channel"},
    {"dmx.rdm_traffic", All, Kind::Flag, WriteStep::RdmTraffic, "getRdmTraffic\n", 4, 4,
     "setRdmTraffic %v\n", nullptr, "enabled", false, 0, "RDM traffic on the DMX port"},
    {"failmode.delay", All, Kind::FailTime, WriteStep::FailMode, "getDataLossDelay\n", 7, 7,
     "setDataLossDelay %v\n", nullptr, nullptr, false, 0,
     "on DMX loss, hold the last look this long before the fail level"},
    {"failmode.hold", All, Kind::FailTime, WriteStep::FailMode, "getDataLossHold\n", 7, 7,
     "setDataLossHold %v\n", nullptr, nullptr, false, 0,
     "then hold the fail level this long before black"},
    {"failmode.level", All, Kind::Text, WriteStep::FailMode, "getDataLossLevel\n", 6, 6,
     "setDataLossLevel %v\n", nullptr, nullptr, false, 10, "fail level"},
    {"channel.%c.label", Dimmers, Kind::Text, WriteStep::Labels, "getRdmLabel %c\n", 7, toEnd,
     "setRdmLabel %c \"%v\"\n", nullptr, nullptr, true, 0, "RDM label of the channel"},
    {"channel.%c.curve", Dimmers, Kind::Choice, WriteStep::Channels, "getCurve %c\n", 6, 6,
     "setCurve %c %v\n", curveNames, nullptr, false, 0, "dimming curve", nullptr, 0,
     "DimmerScrollWidget"},
    {"channel.%c.response", Dimmers, Kind::Choice, WriteStep::Channels, "getRespTime %c\n", 6, 6,
     "setRespTime %c %v\n", responseNames, nullptr, false, 0, "output response time", nullptr, 0,
     "DimmerScrollWidget"},
    {"channel.%c.modulation", Dimmers, Kind::Choice, WriteStep::Channels, "getModulation %c\n", 6,
     6, "setModulation %c %v\n", modulationNames, nullptr, false, 0, "modulation frequency",
     nullptr, 0, "DimmerScrollWidget"},
    {"channel.%c.offset", Dimmers, Kind::Integer, WriteStep::Channels, "getOffset %c\n", 6, 6,
     "setOffset %c %v\n", nullptr, nullptr, false, 0, "control offset"},
    {"dimmer.bump", Dimmers, Kind::Flag, WriteStep::Bump, "getBumpEnable\n", 4, 4,
     "setBumpEnable %v\n", nullptr, "nabled", false, 0, "bump buttons"},
    // The receiver cards answer getInputMode too, but their page hides the field and their
    // files leave it out.
    {"wireless.input_mode", Dimmers, Kind::Choice, WriteStep::InputMode, "getInputMode\n", 5, 5,
     "setInputMode %v\n", inputModeNames, "ireless", false, 0,
     "DMX from the cable or the wireless link"},
    {"wireless.vexa_id", All, Kind::Text, WriteStep::Wireless, "getVexaId\n", 5, 5,
     "setVexaId %v\n", nullptr, nullptr, false, 0, "wireless link ID"},
    {"wireless.vexa_key", All, Kind::Integer, WriteStep::Wireless, "getVexaKey\n", 6, 6,
     "setVexaKey %v\n", nullptr, nullptr, false, 0, "wireless link key"},
    {"wireless.antenna", All, Kind::Choice, WriteStep::Wireless, "getAntenna\n", 4, 4,
     "setAntenna %v\n", antennaNames, nullptr, false, 0, "antenna", nullptr, 0, "FarcastWidget"},
    {"wireless.power", All, Kind::Choice, WriteStep::Wireless, "getFCPower\n", 5, 5,
     "setFCPower %v\n", powerNames, nullptr, false, 0, "wireless output power", nullptr, 0,
     "FarcastWidget"},
    {"outputs.pwm", R, Kind::Flag, WriteStep::Outputs, "getPwmConfig\n", 5, 5, "setPwmConfig %v\n",
     nullptr, "1", false, 0, "PWM outputs"},
    {"outputs.zero_ten", R, Kind::Flag, WriteStep::Outputs, "get0-10Config\n", 5, 5,
     "set0-10Config %v\n", nullptr, "1", false, 0, "0-10 V outputs"},
};

QString withChannel(const char *text, QChar letter)
{
    QString out = QString::fromLatin1(text);
    out.replace(QLatin1String("%c"), letter);
    return out;
}

QStringList entryList(const char *const *names)
{
    QStringList list;
    for (; names && *names; ++names)
        list.append(QLatin1String(*names));
    return list;
}

Setting expand(const Row &row, Family family, QChar letter)
{
    Setting s;
    s.key = withChannel(row.key, letter);
    s.family = family;
    s.kind = row.kind;
    s.writeStep = row.writeStep;
    s.queries.append({withChannel(row.get, letter), row.first, row.last,
                      row.anchor ? QLatin1String(row.anchor) : QString()});
    if (row.get2)
        s.queries.append({QString::fromLatin1(row.get2), row.word2, row.word2, QString()});
    s.quoted = row.quoted;
    if (row.set)
        s.setFormat = withChannel(row.set, letter);
    s.entries = entryList(row.entries);
    if (row.marker)
        s.marker = QLatin1String(row.marker);
    s.maxLength = row.maxLength;
    s.meaning = QLatin1String(row.meaning);
    s.translationContext = row.context;
    return s;
}

bool isChannelRow(const Row &row)
{
    return QByteArray(row.key).contains("%c");
}

QVector<Setting> buildFamily(Family family)
{
    QVector<Setting> out;
    const unsigned bit = bitOf(family);
    const int channels = catalogue::familyChannels(family);
    bool channelsDone = false;
    for (const Row &row : rows) {
        if (!(row.families & bit))
            continue;
        if (!isChannelRow(row)) {
            out.append(expand(row, family, QChar()));
            continue;
        }
        // The channel rows stand together in the table; they are laid out channel by channel,
        // in the order a channel's fields stand on the page.
        if (channelsDone)
            continue;
        channelsDone = true;
        for (int c = 0; c < channels; ++c) {
            const QChar letter(char('a' + c));
            for (const Row &channelRow : rows) {
                if (isChannelRow(channelRow) && (channelRow.families & bit))
                    out.append(expand(channelRow, family, letter));
            }
        }
    }
    return out;
}

// Optional sign and digits, nothing around them: "12abc", " 5" and "1e3" are not numbers.
bool isWholeNumberText(const QString &text)
{
    const int start =
        text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (text.size() <= start)
        return false;
    for (int i = start; i < text.size(); ++i) {
        if (!(text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')))
            return false;
    }
    return true;
}

std::optional<qlonglong> strictInteger(const QString &text)
{
    if (text.size() > 12 || !isWholeNumberText(text))
        return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

// Integers any device command could carry; beyond them a value is a typing error.
constexpr qlonglong integerLimit = 2147483647LL;

} // namespace

std::optional<Value> valueFromWords(const Setting &s, const QString &words)
{
    switch (s.kind) {
    case Kind::Text:
        if (words.isEmpty())
            return std::nullopt;
        return Value(words);
    case Kind::Integer:
        if (const auto n = strictInteger(words.trimmed()))
            return Value(*n);
        return std::nullopt;
    case Kind::Flag:
        if (words.isEmpty())
            return std::nullopt;
        return Value(words.contains(s.marker, Qt::CaseSensitive));
    case Kind::Choice:
        if (!s.marker.isEmpty()) {
            if (words.isEmpty())
                return std::nullopt;
            return Value(words.contains(s.marker, Qt::CaseSensitive) ? 1 : 0);
        }
        if (const auto n = strictInteger(words.trimmed())) {
            if (*n >= 0 && *n < s.entries.size())
                return Value(int(*n));
        }
        return std::nullopt;
    case Kind::FailTime:
        if (const auto n = strictInteger(words.trimmed())) {
            if (*n >= 0 && *n <= infiniteTenths)
                return Value(int(*n));
        }
        return std::nullopt;
    }
    return std::nullopt;
}

namespace {

const QVector<Setting> &familyTable(Family family)
{
    static const QVector<Setting> d5 = buildFamily(Family::Dimmer5);
    static const QVector<Setting> d2 = buildFamily(Family::Dimmer2);
    static const QVector<Setting> r = buildFamily(Family::Receiver);
    switch (family) {
    case Family::Dimmer5:
        return d5;
    case Family::Dimmer2:
        return d2;
    case Family::Receiver:
        return r;
    }
    return d5;
}

} // namespace

const QVector<Setting> &forFamily(Family family)
{
    return familyTable(family);
}

const Setting *find(Family family, const QString &key)
{
    for (const Setting &s : familyTable(family)) {
        if (s.key == key)
            return &s;
    }
    return nullptr;
}

QStringList allKeys()
{
    QStringList keys;
    for (Family family : catalogue::families()) {
        for (const Setting &s : familyTable(family)) {
            if (!keys.contains(s.key))
                keys.append(s.key);
        }
    }
    return keys;
}

QString wordsOf(const Query &query, const QString &reply)
{
    if (query.anchor.isEmpty())
        return reply::fieldRange(reply, query.first, query.last);
    return reply::fieldRangeFrom(reply, query.anchor, query.first, query.last);
}

const Query &modelQuery()
{
    static const Query query =
        find(Family::Dimmer5, QStringLiteral("identity.model"))->queries.first();
    return query;
}

QString factoryResetCommand()
{
    return QStringLiteral("setUserDefaults\n");
}

QString toText(const Setting &setting, const Value &value)
{
    switch (setting.kind) {
    case Kind::Text:
        return value.toString();
    case Kind::Integer:
        return QString::number(value.toLongLong());
    case Kind::Flag:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Choice:
        return setting.entries.value(value.toInt());
    case Kind::FailTime:
        return value.toInt() == infiniteTenths ? QStringLiteral("infinite")
                                               : QString::number(value.toInt());
    }
    return QString();
}

QJsonValue toJson(const Setting &setting, const Value &value)
{
    switch (setting.kind) {
    case Kind::Text:
    case Kind::Choice:
        return toText(setting, value);
    case Kind::Integer:
        return QJsonValue(value.toLongLong());
    case Kind::Flag:
        return value.toBool();
    case Kind::FailTime:
        if (value.toInt() == infiniteTenths)
            return QStringLiteral("infinite");
        return value.toInt();
    }
    return QJsonValue();
}

std::optional<Value> fromText(const Setting &setting, const QString &text, QString *why)
{
    const auto fail = [why](const QString &reason) -> std::optional<Value> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    switch (setting.kind) {
    case Kind::Text:
        return Value(text);
    case Kind::Integer: {
        const auto n = strictInteger(text);
        if (n && *n >= -integerLimit && *n <= integerLimit)
            return Value(*n);
        if (isWholeNumberText(text))
            return fail(QStringLiteral("'%1' is out of range").arg(text));
        return fail(QStringLiteral("'%1' is not a whole number").arg(text));
    }
    case Kind::Flag:
        if (text == QLatin1String("true"))
            return Value(true);
        if (text == QLatin1String("false"))
            return Value(false);
        return fail(QStringLiteral("'%1' is neither true nor false").arg(text));
    case Kind::Choice: {
        const int at = setting.entries.indexOf(text);
        if (at < 0) {
            return fail(QStringLiteral("'%1' is not one of: %2")
                            .arg(text, setting.entries.join(QLatin1String(", "))));
        }
        return Value(at);
    }
    case Kind::FailTime: {
        if (text == QLatin1String("infinite"))
            return Value(infiniteTenths);
        const auto n = strictInteger(text);
        if (!n || *n < 0 || *n >= infiniteTenths) {
            return fail(QStringLiteral("'%1' is neither tenths of a second from 0 to 65534 nor "
                                       "infinite")
                            .arg(text));
        }
        return Value(int(*n));
    }
    }
    return fail(QStringLiteral("unknown kind"));
}

std::optional<Value> fromJson(const Setting &setting, const QJsonValue &json, QString *why)
{
    const auto fail = [why](const QString &reason) -> std::optional<Value> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    switch (setting.kind) {
    case Kind::Text:
    case Kind::Choice:
        if (!json.isString())
            return fail(QStringLiteral("expected a text"));
        return fromText(setting, json.toString(), why);
    case Kind::Flag:
        if (!json.isBool())
            return fail(QStringLiteral("expected true or false"));
        return Value(json.toBool());
    case Kind::Integer:
    case Kind::FailTime: {
        if (setting.kind == Kind::FailTime && json.isString() &&
            json.toString() == QLatin1String("infinite"))
            return Value(infiniteTenths);
        // Callers that can tell 905 from 905.0 in the file's text refuse the latter before this.
        if (!json.isDouble())
            return fail(setting.kind == Kind::Integer
                            ? QStringLiteral("expected a whole number")
                            : QStringLiteral("expected tenths of a second or \"infinite\""));
        const double d = json.toDouble();
        if (d != std::floor(d))
            return fail(QStringLiteral("expected a whole number"));
        // Before the conversion: converting a double beyond any integer type is undefined.
        if (!(d >= -double(integerLimit) && d <= double(integerLimit)))
            return fail(QStringLiteral("%1 is out of range").arg(d, 0, 'f', 0));
        return fromText(setting, QString::number(qlonglong(d)), why);
    }
    }
    return fail(QStringLiteral("unknown kind"));
}

QString refusal(const Setting &setting, const Value &value)
{
    if (setting.isReadOnly())
        return QStringLiteral("%1 is read-only").arg(setting.key);
    switch (setting.kind) {
    case Kind::Text:
        if (value.userType() != QMetaType::QString)
            return QStringLiteral("expected a text");
        if (setting.maxLength > 0 && value.toString().size() > setting.maxLength)
            return QStringLiteral("longer than %1 characters").arg(setting.maxLength);
        break;
    case Kind::Integer:
        if (!value.canConvert<qlonglong>() || value.toLongLong() < -integerLimit ||
            value.toLongLong() > integerLimit)
            return QStringLiteral("expected a whole number");
        break;
    case Kind::Flag:
        if (value.userType() != QMetaType::Bool)
            return QStringLiteral("expected true or false");
        break;
    case Kind::Choice:
        if (value.toInt() < 0 || value.toInt() >= setting.entries.size())
            return QStringLiteral("not an entry of its table");
        break;
    case Kind::FailTime:
        if (value.toInt() < 0 || value.toInt() > infiniteTenths)
            return QStringLiteral("outside 0 to 65534 and infinite");
        break;
    }
    return command::refusal(setCommand(setting, argument(setting, value)));
}

bool sameValue(const Setting &setting, const Value &a, const Value &b)
{
    switch (setting.kind) {
    case Kind::Text:
        return a.toString().toUtf8() == b.toString().toUtf8();
    case Kind::Integer:
        return a.toLongLong() == b.toLongLong();
    case Kind::Flag:
        return a.toBool() == b.toBool();
    case Kind::Choice:
    case Kind::FailTime:
        return a.toInt() == b.toInt();
    }
    return false;
}

QString setCommand(const Setting &setting, const QString &argument)
{
    // Substituted last and whole, so that whatever the argument holds ("%v", quotes) goes in
    // exactly as given.
    QString line = setting.setFormat;
    const int at = line.indexOf(QLatin1String("%v"));
    if (at >= 0)
        line.replace(at, 2, argument);
    return line;
}

QString argument(const Setting &setting, const Value &value)
{
    switch (setting.kind) {
    case Kind::Text:
        return value.toString();
    case Kind::Integer:
        return QString::number(value.toLongLong());
    case Kind::Flag:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case Kind::Choice:
    case Kind::FailTime:
        return QString::number(value.toInt());
    }
    return QString();
}

} // namespace settings
