#pragma once

#include "record/RecordUrl.h"

class QSqlDatabase;

// The record's tables, in numbered steps. Only upgrade() changes them, and only the record's
// owner runs it (vantelo-cli record init); the stations need only to read, insert and update rows.
namespace record::schema {

// The newest version this program knows. A record of a newer one is refused: its rules may
// forbid what this program would do.
constexpr int version = 1;

// The version the record holds: 0 when it has no tables yet; -1, with why, when it cannot tell.
int installed(QSqlDatabase &db, QString *why);

// Runs every step from the installed version up to this program's, all in one transaction, so
// a failed upgrade leaves the record as it was. False, with why, when it fails or the record is
// newer than this program.
bool upgrade(QSqlDatabase &db, Engine engine, QString *why);

} // namespace record::schema
