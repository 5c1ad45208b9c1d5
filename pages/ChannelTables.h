#pragma once

#include <QString>
#include <QStringList>

// The layout of one dimmer output channel on the page: the five field groups of a channel frame,
// their captions and places, and which channel setting each one edits. What the settings are and
// how they travel to the device is the settings table's business.
namespace channels {

constexpr int maxChannels = 5;
constexpr int contentWidth = 350;
constexpr int channelPitch = 400; // vertical distance between two channel groups

struct Field
{
    const char *group;       // the "group" property of the field's widgets
    const char *caption;     // caption label text
    int y;                   // position of the field group inside the channel frame
    const char *setting;     // the last part of the channel's settings key
    const char *initialText; // line edits only
    bool isCombo;
};

enum FieldIndex
{
    Label = 0,
    Curve,
    RespTime,
    Modulation,
    Offset,
    FieldCount
};

// In the order the field groups stand in a channel frame.
extern const Field fields[FieldCount];

// "channel.b.curve" for channel 1's curve.
QString settingKey(int channel, const Field &field);
// A combo box's entries, translated, in the device's order.
QStringList itemsOf(const Field &field);
// The field whose widgets carry this "group" property, or -1.
int fieldOfGroup(const QString &group);

// Channel 0 is 'a' in commands and "A" in its heading.
inline char commandLetter(int index)
{
    return static_cast<char>('a' + index);
}
inline QChar headingLetter(int index)
{
    return QChar('A' + index);
}

} // namespace channels
