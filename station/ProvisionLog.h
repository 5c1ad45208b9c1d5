#pragma once

#include "station/Provisioning.h"

#include <QFile>
#include <QPair>
#include <QSet>

namespace provision {

// What the log says of the units provisioned before this start.
struct LogHistory
{
    QSet<QString> passedUids;
    QHash<int, QVector<QPair<int, int>>> reserved; // universe -> ranges of PASS rows
    int passRows = 0;
};

// Reads the log at path into history (no file: nothing provisioned yet); false, with why, when it
// cannot be read or another file's first line says it is no provisioning log.
bool readLog(const QString &path, LogHistory &history, QString *why);

// The log being appended to, one row a finished unit.
class LogFile
{
public:
    bool open(const QString &path, QString *why);
    // False when the row could not be written and flushed; errorString() says why.
    bool append(const Unit &unit);
    QString errorString() const { return m_file.errorString(); }
    void close() { m_file.close(); }

private:
    QFile m_file;
};

} // namespace provision
