#include "pages/ChannelTables.h"

#include "unit/DeviceSettings.h"

#include <QCoreApplication>

namespace channels {

const Field fields[FieldCount] = {
    {"label", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Device Label"), 10, "label",
     QT_TRANSLATE_NOOP("DimmerScrollWidget", "Device Label"), false},
    {"curve", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Curve"), 80, "curve", nullptr, true},
    {"resp", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Output Response Time"), 150, "response",
     nullptr, true},
    {"freq", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Modulation Frequency"), 220, "modulation",
     nullptr, true},
    {"offset", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Control Offset"), 290, "offset", "0",
     false},
};

QString settingKey(int channel, const Field &field)
{
    return QStringLiteral("channel.") + QLatin1Char(commandLetter(channel)) + QLatin1Char('.') +
           QLatin1String(field.setting);
}

QStringList itemsOf(const Field &field)
{
    QStringList items;
    const settings::Setting *setting = settings::find(Family::Dimmer5, settingKey(0, field));
    if (!setting)
        return items;
    for (const QString &entry : setting->entries) {
        items << QCoreApplication::translate(setting->translationContext,
                                             entry.toUtf8().constData());
    }
    return items;
}

int fieldOfGroup(const QString &group)
{
    for (int f = 0; f < FieldCount; ++f) {
        if (group == QLatin1String(fields[f].group))
            return f;
    }
    return -1;
}

} // namespace channels
