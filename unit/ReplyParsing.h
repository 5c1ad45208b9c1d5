#pragma once

#include <QString>

// Pure helpers that read the device's replies. Every page reads through these (via Serial), so the
// reply rules live in one place and can be tested and fuzzed without a device.
namespace reply {

// Blank-separated fields first..last of text, counted from 0, empty fields not counted; a last
// field past the end reaches to the end of the text.
QString fieldRange(const QString &text, int first, int last);

// The characters strictly between the first and the last delimiter; everything after a single
// delimiter; the whole text without one.
QString quoted(const QString &text, const QString &delimiter);

// The word after the first word that contains "Model:" in a firmware-information reply. False
// when no word contains "Model:" or nothing follows it.
bool modelFromFirmwareInfo(const QString &text, QString &model);

} // namespace reply
