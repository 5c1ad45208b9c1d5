#include "record/Audit.h"

namespace record {

QJsonObject settingsJson(const settingsfile::Contents &contents)
{
    QJsonObject out;
    for (const settingsfile::Entry &entry : contents.settings)
        out.insert(entry.setting->key, settings::toJson(*entry.setting, entry.value));
    return out;
}

QVector<Difference> differences(const QJsonObject &recorded, const QJsonObject &unit)
{
    QVector<Difference> out;
    for (auto it = recorded.begin(); it != recorded.end(); ++it) {
        const QJsonValue held = unit.value(it.key());
        if (held != it.value())
            out.append({it.key(), it.value(), held});
    }
    return out;
}

} // namespace record
