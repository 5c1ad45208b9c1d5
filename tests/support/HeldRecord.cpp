#include "support/HeldRecord.h"

#include "record/Record.h"

#include <QDebug>

QString heldRecord(const QTemporaryDir &dir, QHash<QString, QString> &uuids)
{
    const QString url = dir.filePath("rig.db");
    record::Record record;
    if (!record.init(url))
        qWarning() << record.errorString();
    const struct
    {
        const char *uid, *model, *label, *personality;
        int universe, from, footprint;
    } units[] = {{"4B5600000001", "7146", "Truss 1", "16-bit", 1, 1, 10},
                 {"4B5600000002", "7126", "Truss 2", "8-bit", 1, 11, 2},
                 {"4B5600000003", "7185", "Card", "", 2, 40, 0},
                 {"4B5600000004", "7127", "Floor", "", 3, 20, 4}};
    for (const auto &u : units) {
        record::ResultEntry entry;
        entry.unit = {u.uid, u.model, "SN1"};
        entry.station = "bench-1";
        entry.templateName = "t.json";
        if (*u.personality)
            entry.settings = {{"dmx.personality", u.personality}};
        auto held = u.footprint ? record.reserve(u.universe, u.from, u.footprint, "bench-1", 60)
                                : std::nullopt;
        entry.placement = {u.universe, held ? held->first : u.from, u.footprint, u.label};
        const auto slot = record.pass(entry, held ? &*held : nullptr);
        if (!slot)
            qWarning() << record.errorString();
        uuids.insert(u.label, slot.value_or(QString()).toUpper());
    }
    return url;
}
