#include "patch/Slot.h"

namespace patch {

QString Slot::personality() const
{
    return sixteenBit ? QStringLiteral("16-bit") : QStringLiteral("8-bit");
}

std::optional<bool> sixteenBitFromName(const QString &personality)
{
    if (personality == QLatin1String("16-bit"))
        return true;
    if (personality == QLatin1String("8-bit"))
        return false;
    return std::nullopt;
}

QUuid slotUuid(int universe, int address)
{
    static const QUuid slotNamespace(QStringLiteral("{5b0c3a52-2f4e-4d7e-9a61-0c8e2d7f4b13}"));
    return QUuid::createUuidV5(slotNamespace, QStringLiteral("%1.%2").arg(universe).arg(address));
}

} // namespace patch
