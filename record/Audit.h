#pragma once

#include "files/SettingsFile.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVector>

// A unit's settings as the record keeps them, and what differs between the record and a unit.
namespace record {

// Every setting of the contents by key, each value in the settings file's JSON terms: what a
// station puts in ResultEntry::settings.
QJsonObject settingsJson(const settingsfile::Contents &contents);

struct Difference
{
    QString key;
    QJsonValue recorded; // undefined: the record holds no value for the key
    QJsonValue unit;     // undefined: the unit's snapshot lacks the key
};

// Every key the record holds whose value the unit does not hold, in key order.
QVector<Difference> differences(const QJsonObject &recorded, const QJsonObject &unit);

} // namespace record
