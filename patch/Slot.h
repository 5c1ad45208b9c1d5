#pragma once

#include "unit/DmxRules.h"

#include <QString>
#include <QUuid>

#include <optional>

// A planned or provisioned dimmer on the DMX line: what a plan gives a unit and what an export
// tells a console. Receiver cards take no slots and never appear here.
namespace patch {

struct Slot
{
    // Stable: the same fixture has the same UUID in every plan and export, so a console that
    // imported an earlier export updates its fixtures instead of adding them again.
    QUuid uuid;
    QString label;
    QString fixtureId;  // the console's fixture number, as the plan writes it; may be empty
    int unitNumber = 0; // the n-th unit of the rig; 0: none
    // The catalogue number (7146). A slot read from an MVR plan has none: our fixture type, and a
    // mapped foreign one, name a channel count, and any model with that many channels fits.
    QString model;
    int channels = 0;
    bool sixteenBit = false;
    int universe = 1; // 1..63999
    int address = 1;  // 1..512, the first slot

    // Known once a unit holds the slot (exports only).
    QString rdmUid;
    QString templateName;
    QString time; // when the unit passed, ISO 8601

    int footprint() const { return dmx::footprint(channels, sixteenBit); }
    int lastAddress() const { return address + footprint() - 1; }
    // The address counted across universes from 1, as MVR writes it.
    int absoluteAddress() const { return (universe - 1) * dmx::lastSlot + address; }
    QString personality() const;
};

// "8-bit" or "16-bit", the words of settings files and of the fixture types' modes.
std::optional<bool> sixteenBitFromName(const QString &personality);

// The UUID of a slot that a plan gives none: the same universe and address give the same UUID in
// every reading of the plan, so stations sharing one plan agree on it.
QUuid slotUuid(int universe, int address);

} // namespace patch
