#pragma once

#include <QHash>
#include <QString>
#include <QTemporaryDir>

// A SQLite record holding a 16-bit 7146 and an 8-bit 7126 in universe 1, a receiver card in
// universe 2 (no fixture), and a 7127 in universe 3 whose result holds no personality (its
// footprint says 16-bit), made as a station makes it: reserve, then pass. Returns the URL; the
// slots' UUIDs (upper case) by label in uuids.
QString heldRecord(const QTemporaryDir &dir, QHash<QString, QString> &uuids);
