#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// CSV as RFC 4180 has it: quoted fields may hold commas, quotes (doubled) and line breaks. The
// patch is written and plans are read this way, so a spreadsheet's export reads back whole.
namespace csv {

QByteArray line(const QStringList &fields); // ends in CRLF

// The records of a whole text (UTF-8, an optional byte-order mark); none, with why, for a quote
// left open at the end.
std::optional<QVector<QStringList>> parse(const QByteArray &text, QString *why);

} // namespace csv
