#pragma once

#include "record/LogRow.h"
#include "station/ProvisionTypes.h"

#include <QFile>
#include <QSet>

namespace provision {

// The log's columns, in order; its first line.
QStringList logColumns();

// A range of slots a unit was given, and to which unit (its UID in upper case).
struct Range
{
    int first = 0;
    int last = 0;
    QString uid;
};

// What the log says of the units provisioned before this start.
struct LogHistory
{
    QSet<QString> passedUids;            // in upper case
    QHash<int, QVector<Range>> reserved; // universe -> ranges of PASS rows, in log order
    int passRows = 0;
    // A last row cut short by a stop mid-write: what to tell the user, and the bytes that close
    // it (its remaining fields, FAIL unless its PASS had begun, and the line break). A last row
    // that is whole but for its line break gets only the line break, and no note.
    QString cutShort;
    QByteArray closing;
};

// The log's text into history; path only names it in why. False, with why, as readLog().
bool parseLog(const QString &path, const QByteArray &bytes, LogHistory &history, QString *why);

// Reads the log at path into history (no file: nothing provisioned yet); false, with why, when it
// cannot be read, another file's first line says it is no provisioning log, or a row cannot be
// understood (the line named). Takes no lock: for a dry run, which writes nothing.
bool readLog(const QString &path, LogHistory &history, QString *why);

// Every whole PASS or FAIL row of the log at path, in file order, for the record; a row a stop
// cut short is passed over. False, with why, when the file cannot be read or its first line is
// not the log's.
bool readLogRows(const QString &path, QVector<record::LogRow> &rows, QString *why);

// The log being appended to, one row a finished unit. Held with an advisory lock from open() to
// close(): a second station on the same log would hand out the same ranges. The kernel drops the
// lock when the process ends, however it ends.
class LogFile
{
public:
    // Locks, reads into history as readLog() does, then writes the header of a new log or closes
    // a row cut short. False, with why, when another station holds the log or it cannot be used.
    bool open(const QString &path, LogHistory &history, QString *why);
    // False when the row could not be written and flushed, or the log at its path is no longer
    // the file opened (deleted, moved or replaced); errorString() says why.
    bool append(const Unit &unit);
    // Empty while the file opened is still the one at its path; else why not.
    QString goneReason() const;
    QString errorString() const { return m_error; }
    void close() { m_file.close(); }

private:
    QFile m_file;
    QString m_error;
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

} // namespace provision
