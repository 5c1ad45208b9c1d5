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

// As fieldRange(), counted from the first field that contains anchor (that field is 0) rather
// than from the start; empty when no field contains it.
QString fieldRangeFrom(const QString &text, const QString &anchor, int first, int last);

} // namespace reply
