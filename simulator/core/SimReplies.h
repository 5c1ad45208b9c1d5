#pragma once

#include "core/SimFamily.h"

#include <QVector>

// The layout of every get reply, in one table. The pages pick values out of an answer by word
// position (counted from 0 over the whole answer, echoed command included), so each template
// is worded such that a reader that is off by one lands on a caption word, never on a value.
namespace sim {

// Which families answer a command.
enum FamilyMask : unsigned
{
    Dimmer5Family = 1u << 0,
    Dimmer2Family = 1u << 1,
    ReceiverFamily = 1u << 2,
    DimmerFamilies = Dimmer5Family | Dimmer2Family,
    AllFamilies = Dimmer5Family | Dimmer2Family | ReceiverFamily,
};

unsigned familyBit(Family family);

// What follows the command word.
enum class ReplyArg
{
    None,
    Channel,      // a..e, up to the model's channel count
    RootLabel,    // "r" (dimmers) or "0" (receiver cards)
    PortLabel,    // "p" (dimmers) or "1" (receiver cards)
    ChannelLabel, // "getRdmLabel a".."e"
};

// One named value inside a reply template and the word it lands on.
struct ReplySlot
{
    const char *name;
    int word;
};

struct ReplyFormat
{
    const char *command;
    unsigned families;
    ReplyArg arg;
    // Reply text (the line between the echo and the prompt); {name} marks a value field,
    // {ch} the channel letter.
    const char *text;
    QVector<ReplySlot> fields;
};

const QVector<ReplyFormat> &replyFormats();

// The row that answers command with argument arg on family, or nullptr.
const ReplyFormat *findReplyFormat(const QString &command, ReplyArg arg, Family family);

} // namespace sim
