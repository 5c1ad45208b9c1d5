#include "unit/DmxRules.h"

#include "unit/DeviceSettings.h"

namespace dmx {

namespace {

const QString keyPersonality = QStringLiteral("dmx.personality");

} // namespace

int footprint(int channels, bool sixteenBit)
{
    return channels * (sixteenBit ? 2 : 1);
}

int footprint(Family family, const QVariant &personality)
{
    const settings::Setting *setting = settings::find(family, keyPersonality);
    const bool wide =
        setting && setting->entries.value(personality.toInt()) == QLatin1String("16-bit");
    return footprint(catalogue::familyChannels(family), wide);
}

QString slotRefusal(Family family, qlonglong address, const QVariant &personality)
{
    // A unit that takes no slots still needs its start address on the line.
    const qlonglong end = address + qMax(footprint(family, personality), 1) - 1;
    if (end <= lastSlot)
        return QString();
    const settings::Setting *setting = settings::find(family, keyPersonality);
    return QStringLiteral("start address %1%2 would end at slot %3, past %4")
        .arg(address)
        .arg(setting ? QStringLiteral(" at %1").arg(settings::toText(*setting, personality))
                     : QString())
        .arg(end)
        .arg(lastSlot);
}

} // namespace dmx
