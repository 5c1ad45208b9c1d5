#pragma once

#include <QString>

#include <optional>

// The device keeps its DMX fail times as whole tenths of a second (65535 = no limit). The page
// shows them as h:mm:ss:d and takes new ones through a fixed entry template that fills from the
// right like a calculator display. These pure functions hold those rules.
namespace failmode {

constexpr int infiniteTenths = 65535;

// Blank digit positions h, m, m, s, s, d between the colons.
QString entryTemplate();

// "Infinte" (the device-side spelling the page has always shown) for 65535, otherwise
// "%01d:%02d:%02d:%01d" of hours, minutes, seconds and tenths.
QString timeText(int tenths);

// True when a committed field holds no new entry: an infinite text ("fin") or the untouched
// template.
bool holdsNoEntry(const QString &text);

// The entry with every blank digit position read as 0.
QString zeroFilled(const QString &text);

// Tenths of a second of an "h:m:s:d" text; parts that are not numbers count as 0, minutes and
// seconds may exceed 59, and anything worth 65535 or more is infinite. No value when any part
// reads as negative: a typed minus sign is no time the user meant, and writing 0 in its place
// would store a value nobody entered.
std::optional<int> tenthsFromText(const QString &text);

// The user's edited text re-laid into the template: colons and blanks are dropped, the remaining
// characters fill the digit positions from the right, and only the newest six are kept.
QString laidIntoTemplate(const QString &edited);

} // namespace failmode
