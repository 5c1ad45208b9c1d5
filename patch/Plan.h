#pragma once

#include "patch/Slot.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// A lighting designer's plan as the station's list of slots: where each dimmer goes, what it is
// called and in which personality it runs. A plan is taken whole or refused whole, before any
// unit is written.
namespace patch {

// --map "TYPE NAME"=MODEL: a foreign fixture type of an MVR plan taken as our model's channel
// count. Keys are the types' names as their GDTF files write them.
using TypeMap = QHash<QString, QString>;
// Adds one "TYPE NAME=MODEL" word (the shell has removed the quotes); empty, or why not.
QString addMapping(const QString &word, TypeMap &map);

struct Plan
{
    QVector<Slot> slotList; // in plan order
    // MVR fixtures of types neither ours nor mapped, and those types' names (for a note).
    int ignored = 0;
    QStringList ignoredTypes;

    // The first slot, in plan order, that a unit of this model (catalogue number) may take and
    // whose UUID is not held: the model's own, or, for a slot that names only a channel count
    // (from an MVR), any model with that many channels. -1 when none is left.
    int slotFor(const QString &model, const QSet<QUuid> &held) const;
};

// "no planned slot left for 7146", the unit's failure when slotFor() finds none.
QString noSlotLeft(const QString &model);

// A CSV plan: a header naming label, model, universe, address and personality, optionally
// fixture_id and uuid (other columns are ignored, so a CSV patch reads back as a plan).
std::optional<Plan> readCsvPlan(const QByteArray &text, QString *why);
// An MVR plan: its fixtures of our fixture types (by FixtureTypeID) and of mapped types.
std::optional<Plan> readMvrPlan(const QByteArray &archive, const TypeMap &map, QString *why);
// Either, as the file's extension says (.csv, .mvr).
std::optional<Plan> readPlan(const QString &path, const TypeMap &map, QString *why);

// Empty when the slots can all be taken: none overlaps another on its universe, none runs past
// 512, no UUID is used twice. Otherwise the first fault, naming both slots; where[i] says where
// slot i came from ("row 4"), or is empty.
QString slotsRefusal(const QVector<Slot> &slotList, const QStringList &where);

} // namespace patch
