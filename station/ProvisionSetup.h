#pragma once

#include "station/ProvisionLog.h"
#include "station/ProvisionTypes.h"

#include <QMap>

namespace provision {

// Reads and checks a settings file as a template; on refusal none, and one line in *why.
std::optional<Template> loadTemplate(const QString &path, QString *why);

// Empty when the pattern may be used: only the four placeholders, and even its longest expansion
// ({n} as ten digits, {address} as three, the longest model number, twelve for {uid}) makes a
// label command that every family's unit would be sent. Otherwise why not.
QString labelPatternRefusal(const QString &pattern);
QString expandLabel(const QString &pattern, const LabelFields &fields);

// Empty when the setup may be used (templates of distinct families, the label pattern, the
// ranges of the numbers); otherwise why not. start() checks it too.
QString setupRefusal(const Setup &setup);

// What identification reads besides the identity, by family: what the assignment needs and the
// template does not say.
QMap<int, QStringList> identificationKeys(const Setup &setup);

// Gives the units their values in the order they take their turns: addresses from the setup's
// sequence around the ranges the log shows as given, numbers after the log's PASS rows, labels
// from the pattern. It reads and writes nothing.
class UnitPlanner
{
public:
    UnitPlanner() = default;
    UnitPlanner(const Setup &setup, const LogHistory &history);

    // Fills in the unit's template, universe, footprint, address, number and label from its
    // family's template and what identification read; returns the template's keys in table
    // order with this unit's own values put in. None, with why, when it cannot have them.
    std::optional<QVector<settingsfile::Entry>> plan(const Identity &identity, Unit &unit,
                                                     QString *why);
    // With a plan: the slots, in plan order, that the unit may still take as far as the log and
    // this station know (the one plan() gave it first); a record may know some of them taken.
    QVector<patch::Slot> openSlots(const Unit &unit) const;
    // A unit that failed leaves its planned slot to the next one of its model.
    void unitFailed(const Unit &unit);

private:
    // Whether a range of the log, or one given since to another unit than owner, covers part
    // of the slot.
    bool slotTaken(const patch::Slot &slot, const QString &owner) const;

    // The end of a range given before to another unit than owner (UID in upper case) that
    // overlaps; none when the slots are free.
    std::optional<int> overlap(int universe, int first, int last, const QString &owner) const;
    // The start of owner's last range, when the footprint still fits there.
    std::optional<int> ownRange(int universe, int footprint, const QString &owner) const;
    std::optional<int> allocate(int universe, int footprint, const QString &owner);

    Setup m_setup;
    // The log's PASS ranges, then every range given since; a unit provisioned again is not
    // kept off its own.
    QHash<int, QVector<Range>> m_reserved;
    int m_cursor = 1;
    int m_passRows = 0;
    int m_numbered = 0;
    // With a plan: the universe and address each unit (by UID) was given in this start.
    QHash<QString, QPair<int, int>> m_planned;
};

} // namespace provision
