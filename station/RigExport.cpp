#include "station/RigExport.h"

#include "patch/FixtureTypes.h"
#include "patch/SceneExport.h"
#include "record/Record.h"
#include "unit/ModelCatalogue.h"

#include <QUuid>

namespace rig {

namespace {

QString universesText(const QList<int> &universes)
{
    QStringList words;
    for (int universe : universes)
        words.append(QString::number(universe));
    return universes.isEmpty()     ? QStringLiteral("the record")
           : universes.size() == 1 ? QStringLiteral("universe %1").arg(words.first())
                                   : QStringLiteral("universes %1").arg(words.join(", "));
}

} // namespace

std::optional<Patch> heldPatch(record::Record &record, const QList<int> &universes)
{
    // One universe asked for: the record filters; several: one read, filtered here.
    const auto held = record.patchedUnits(
        universes.size() == 1 ? std::optional<int>(universes.first()) : std::nullopt);
    if (!held)
        return std::nullopt;
    Patch out;
    for (const record::PatchedSlot &each : *held) {
        const record::HeldSlot &h = each.held;
        if (!universes.isEmpty() && !universes.contains(h.universe))
            continue;
        const ModelInfo *info = catalogue::find(h.model);
        const gdtf::FixtureType *type = info ? gdtf::forModel(info->number) : nullptr;
        if (!type || h.footprint == 0) {
            ++out.leftOut;
            continue;
        }
        patch::Slot slot;
        slot.uuid = QUuid(h.slot);
        slot.label = h.label;
        slot.model = info->number;
        slot.channels = type->channels;
        // A result without the personality (a log imported from an older station) still has
        // the footprint it was given: twice the channels is 16-bit.
        slot.sixteenBit =
            patch::sixteenBitFromName(each.personality).value_or(h.footprint == 2 * type->channels);
        slot.universe = h.universe;
        slot.address = h.address;
        slot.rdmUid = h.uid;
        slot.templateName = each.templateName;
        slot.time = h.time;
        slot.unitNumber = out.slotList.size() + 1;
        slot.fixtureId = QString::number(slot.unitNumber);
        out.slotList.append(slot);
    }
    return out;
}

bool exportableName(const QString &path)
{
    return path.endsWith(QLatin1String(".mvr"), Qt::CaseInsensitive) ||
           path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

Outcome exportHeld(record::Record &record, const QList<int> &universes, const QString &path)
{
    Outcome outcome;
    if (!exportableName(path)) {
        outcome.kind = Outcome::FileProblem;
        outcome.message = QStringLiteral("%1: the name must end in .mvr or .csv").arg(path);
        return outcome;
    }
    const std::optional<Patch> held = heldPatch(record, universes);
    if (!held) {
        outcome.kind = Outcome::RecordProblem;
        outcome.message = record.errorString();
        return outcome;
    }
    outcome.fixtures = held->slotList.size();
    outcome.leftOut = held->leftOut;
    const QString leftOut =
        held->leftOut == 0
            ? QString()
            : QStringLiteral(" (%1 receiver card slots left out)").arg(held->leftOut);
    if (held->slotList.isEmpty()) {
        outcome.kind = Outcome::NothingHeld;
        outcome.message = QStringLiteral("%1 holds no dimmer in any slot; nothing written%2")
                              .arg(universesText(universes), leftOut);
        return outcome;
    }
    QString why;
    if (!patch::exportPatch(held->slotList, path, &why)) {
        outcome.kind = Outcome::FileProblem;
        outcome.message = why;
        return outcome;
    }
    outcome.message = QStringLiteral("%1: %2 fixtures from %3%4")
                          .arg(path)
                          .arg(held->slotList.size())
                          .arg(universesText(universes), leftOut);
    return outcome;
}

} // namespace rig
