#include "core/SimReplies.h"

namespace sim {

unsigned familyBit(Family family)
{
    switch (family) {
    case Family::Dimmer5:
        return Dimmer5Family;
    case Family::Dimmer2:
        return Dimmer2Family;
    case Family::Receiver:
        return ReceiverFamily;
    }
    return 0;
}

const QVector<ReplyFormat> &replyFormats()
{
    // Word numbers count the echoed command too: "getCurve a" is words 0 and 1.
    static const QVector<ReplyFormat> table = {
        {"getFWInfo",
         DimmerFamilies,
         ReplyArg::None,
         "Korvane Glimmerline dimmer firmware information, main controller Model: {model} "
         "Software: {software} Boot loader: {boot}",
         {{"model", 9}, {"software", 11}, {"boot", 14}}},
        {"getFWInfo",
         ReceiverFamily,
         ReplyArg::None,
         "Korvane Farcast receiver card firmware information, controller Model: {model} "
         "Hardware: R2 Software: {software} Boot loader: {boot}",
         {{"model", 9}, {"software", 13}, {"boot", 16}}},
        {"getFCConfig",
         DimmerFamilies,
         ReplyArg::None,
         "Farcast radio module configuration report, Glimmerline dimmer host board interface,\r\n"
         "module type: FC-2 transceiver, band: 2.4GHz, region: worldwide, output: internal "
         "bridge,\r\nRDM UID: {uid} Software: {fcSoftware} Boot loader: {fcBoot}",
         {{"uid", 24}, {"fcSoftware", 26}, {"fcBoot", 29}}},
        {"getFCConfig",
         ReceiverFamily,
         ReplyArg::None,
         "Farcast radio module configuration report, receiver card interface,\r\n"
         "module type: FC-2 transceiver, band: 2.4GHz, region: worldwide, output: none,\r\n"
         "RDM UID: {uid} Software: {fcSoftware} Boot loader: {fcBoot}",
         {{"uid", 21}, {"fcSoftware", 23}, {"fcBoot", 26}}},
        {"getRdmLabel",
         DimmerFamilies,
         ReplyArg::RootLabel,
         "RDM label of root device: '{label}'",
         {{"label", 7}}},
        {"getRdmLabel",
         DimmerFamilies,
         ReplyArg::PortLabel,
         "RDM label of DMX port: '{label}'",
         {{"label", 7}}},
        {"getRdmLabel",
         DimmerFamilies,
         ReplyArg::ChannelLabel,
         "RDM label of channel {ch}: '{label}'",
         {{"label", 7}}},
        {"getRdmLabel",
         ReceiverFamily,
         ReplyArg::RootLabel,
         "RDM label of device: '{label}'",
         {{"label", 6}}},
        {"getRdmLabel",
         ReceiverFamily,
         ReplyArg::PortLabel,
         "RDM label of port: '{label}'",
         {{"label", 6}}},
        {"getDataLossDelay",
         AllFamilies,
         ReplyArg::None,
         "DMX loss delay before fail level: {value}",
         {{"value", 7}}},
        {"getDataLossHold",
         AllFamilies,
         ReplyArg::None,
         "DMX loss hold of fail level: {value}",
         {{"value", 7}}},
        {"getDataLossLevel",
         AllFamilies,
         ReplyArg::None,
         "DMX loss fail level is {value}",
         {{"value", 6}}},
        {"getUniverse", AllFamilies, ReplyArg::None, "DMX universe is {value}", {{"value", 4}}},
        {"getDmxAddress",
         AllFamilies,
         ReplyArg::None,
         "DMX start address set to {value}",
         {{"value", 6}}},
        {"getDmxPersonality",
         DimmerFamilies,
         ReplyArg::None,
         "DMX personality of the device is {value}",
         {{"value", 7}}},
        {"getRdmTraffic", AllFamilies, ReplyArg::None, "RDM traffic is {value}", {{"value", 4}}},
        {"getCurve",
         DimmerFamilies,
         ReplyArg::Channel,
         "Channel {ch} dimming curve: {value}",
         {{"value", 6}}},
        {"getRespTime",
         DimmerFamilies,
         ReplyArg::Channel,
         "Channel {ch} response time: {value}",
         {{"value", 6}}},
        {"getModulation",
         DimmerFamilies,
         ReplyArg::Channel,
         "Channel {ch} modulation frequency: {value}",
         {{"value", 6}}},
        {"getOffset",
         DimmerFamilies,
         ReplyArg::Channel,
         "Channel {ch} control offset: {value}",
         {{"value", 6}}},
        {"getBumpEnable",
         DimmerFamilies,
         ReplyArg::None,
         "Bump buttons are {value}",
         {{"value", 4}}},
        {"getInputMode", AllFamilies, ReplyArg::None, "DMX input mode is {value}", {{"value", 5}}},
        {"getVexaId", AllFamilies, ReplyArg::None, "Farcast Vexa ID is {value}", {{"value", 5}}},
        {"getAntenna", AllFamilies, ReplyArg::None, "Antenna selection is {value}", {{"value", 4}}},
        {"getFCPower",
         AllFamilies,
         ReplyArg::None,
         "Farcast output power is {value}",
         {{"value", 5}}},
        {"getVexaKey",
         AllFamilies,
         ReplyArg::None,
         "Farcast link Vexa key is {value}",
         {{"value", 6}}},
        {"getPwmConfig",
         ReceiverFamily,
         ReplyArg::None,
         "PWM output switch state: {value}",
         {{"value", 5}}},
        // No digits in this caption: the page tests the value word for a "1" anywhere.
        {"get0-10Config",
         ReceiverFamily,
         ReplyArg::None,
         "Analog voltage output state: {value}",
         {{"value", 5}}},
    };
    return table;
}

const ReplyFormat *findReplyFormat(const QString &command, ReplyArg arg, Family family)
{
    const unsigned bit = familyBit(family);
    for (const ReplyFormat &format : replyFormats()) {
        if (command == QLatin1String(format.command) && format.arg == arg &&
            (format.families & bit))
            return &format;
    }
    return nullptr;
}

} // namespace sim
