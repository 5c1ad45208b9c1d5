#pragma once

#include <QString>
#include <QStringList>

// Everything that describes one dimmer output channel as data: the five settings of a channel
// group, their captions and places, the device's command words, and the combo-box value tables
// whose item index is the value the device stores.
namespace channels {

constexpr int maxChannels = 5;
constexpr int contentWidth = 350;
constexpr int channelPitch = 400; // vertical distance between two channel groups

struct Setting
{
    const char *group;        // the "group" property of the setting's widgets
    const char *caption;      // caption label text
    int y;                    // position of the field group inside the channel frame
    const char *getFormat;    // read command, %c = channel letter
    const char *setFormat;    // write command; combo boxes: %c %d, line edits: see the editor
    const char *initialText;  // line edits only
    const char *const *items; // combo boxes only: the value table, index = device value
    int itemCount;            // 0 for line edits
    bool isCombo() const { return itemCount > 0; }
};

enum SettingIndex
{
    Label = 0,
    Curve,
    RespTime,
    Modulation,
    Offset,
    SettingCount
};

// In the order the field groups stand in a channel frame.
extern const Setting settings[SettingCount];

QStringList curveItems();
QStringList responseTimeItems();
QStringList modulationItems();
QStringList itemsOf(const Setting &setting);

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
