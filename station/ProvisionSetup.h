#pragma once

#include "station/ProvisionLog.h"
#include "station/ProvisionUnit.h"
#include "station/Provisioning.h"

#include <QMap>

namespace provision {

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

private:
    std::optional<int> allocate(int universe, int footprint);

    Setup m_setup;
    QHash<int, QVector<QPair<int, int>>> m_reserved;
    int m_cursor = 1;
    int m_passRows = 0;
    int m_numbered = 0;
};

} // namespace provision
