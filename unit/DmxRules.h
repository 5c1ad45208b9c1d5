#pragma once

#include "unit/ModelCatalogue.h"

#include <QString>
#include <QVariant>

// The DMX line as every part of the program counts it: one rule for apply, vantelo-cli set, the
// provisioning station, the pages and the patch formats.
namespace dmx {

// A universe carries slots 1..lastSlot; universes are numbered 1..lastUniverse.
constexpr int lastSlot = 512;
constexpr int firstUniverse = 1;
constexpr int lastUniverse = 63999;

// A unit listens to footprint() slots from its start address on: a slot per channel, two at
// 16-bit.
int footprint(int channels, bool sixteenBit);
// The family's channels at a personality (an entry position of dmx.personality); a receiver card
// takes none.
int footprint(Family family, const QVariant &personality);

// Empty when a unit of the family at that start address and personality ends within lastSlot;
// otherwise one line that says where it would end.
QString slotRefusal(Family family, qlonglong address, const QVariant &personality);

} // namespace dmx
