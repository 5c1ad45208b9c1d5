#pragma once

#include <QString>
#include <QVector>

// One row of a provisioning station's CSV log, as the record takes it in.
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

} // namespace record
