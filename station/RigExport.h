#pragma once

#include "patch/Slot.h"

#include <QList>
#include <QString>
#include <QVector>

#include <optional>

namespace record {
class Record;
}

// The rig as the record holds it, handed to the console: the command line's export and the
// window's Rig Record view both go through here, so the two files never differ.
namespace rig {

struct Patch
{
    // Universe and address order; fixture id and unit number count 1, 2, ... in that order,
    // since the record keeps no console numbering of its own.
    QVector<patch::Slot> slotList;
    int leftOut = 0; // held slots that are no fixture: receiver cards, models without a type
};

// The held slots of the given universes (all when none), as patch slots with the record's own
// slot UUIDs. None when the record fails (its errorString() says why).
std::optional<Patch> heldPatch(record::Record &record, const QList<int> &universes);

struct Outcome
{
    enum Kind
    {
        Written,
        NothingHeld,   // no fixture in the universes asked for; no file written
        RecordProblem, // the record failed
        FileProblem,   // a name that is neither .mvr nor .csv, or a file that cannot be written
    } kind = Written;
    int fixtures = 0;
    int leftOut = 0;
    QString message; // one line for the user, whatever the outcome
};

// The held patch to path, as patch::exportPatch() writes it by the name's extension.
Outcome exportHeld(record::Record &record, const QList<int> &universes, const QString &path);

// True for a name export can write (.mvr, .csv in any case).
bool exportableName(const QString &path);

} // namespace rig
