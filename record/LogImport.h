#pragma once

#include <QString>
#include <QVector>

// A provisioning station's CSV log read back row by row, for bringing it into the record.
namespace record {

struct LogRow
{
    QString time;
    QString usbSerial;
    QString model;
    QString uid;
    QString templatePath;
    QString templateSha256;
    int universe = 0;
    int address = 0;
    int footprint = 0;
    QString label;
    bool pass = false;
    QString failure;
};

// Every whole row of the log at path, in file order. A row a power cut left short is passed
// over. False, with why, when the file cannot be read or its first line is not the log's.
bool readLogRows(const QString &path, QVector<LogRow> &rows, QString *why);

} // namespace record
