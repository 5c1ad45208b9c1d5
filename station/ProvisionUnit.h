#pragma once

#include "files/SettingsApply.h"
#include "files/SettingsFile.h"
#include "link/Serial.h"
#include "record/Record.h"
#include "station/ProvisionTypes.h"
#include "station/RecordLine.h"

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

namespace provision {

// What a unit's thread does in the rig record around its write: the range it reserves there
// (footprint 0: none; the unit keeps the planned address) and how its label is made.
struct RecordJob
{
    QString url;
    QString station;
    int leaseSeconds = 60;
    int universe = 0;
    int from = 1;
    int address = 0; // the planned one, kept when nothing is reserved
    int footprint = 0;
    std::optional<QString> labelPattern;
    // With a plan: the slots the unit may take, in plan order; it takes the first that the
    // record neither holds nor has reserved for another station.
    QVector<patch::Slot> planned;
    // The station's one connection to the record, shared by its units: their reservations
    // queue for the universe anyway, and a connection per unit costs the server a process.
    std::shared_ptr<RecordLine> line;
};

// What the record gave a unit, worked out on its record line while the unit is read.
struct Placing
{
    QString failure;          // empty when the unit has its place
    bool recordFault = false; // the failure is the record's own, as problem and error say
    record::Problem problem = record::Problem::None;
    QString error;
    std::optional<record::Reservation> reservation;
    QVector<settingsfile::Entry> wanted; // with the place's values put in
    bool planned = false;
    QString slotUuid;
    int address = 0;
    int n = 0;
    QString label;
    QElapsedTimer reservedAt; // when the reservation was made: its lease runs from then
};

// Lives on its unit's thread from identify() to the end of that thread; its channel is created
// in identify() and destroyed on the same thread, before the thread ends.
class UnitWorker : public QObject
{
    Q_OBJECT

public:
    UnitWorker(int id, const QString &port, const QMap<int, QStringList> &extraKeys,
               std::shared_ptr<std::atomic_bool> cancel)
        : m_id(id), m_port(port), m_extraKeys(extraKeys), m_cancel(std::move(cancel))
    {
    }
    ~UnitWorker() override { m_serial.reset(); }

    void identify();
    // With a job, the unit's range is reserved in the record first and the thread stays for
    // recordResult(), which the station calls once the log holds the unit's row.
    void write(QVector<settingsfile::Entry> wanted, const QString &recordPath,
               const std::optional<provision::RecordJob> &job);
    void recordResult(record::ResultEntry entry, bool pass);
    void release() { end(); }

signals:
    void identified(int id, const provision::Identity &identity);
    void progress(int id, int done, int total);
    // The address, number and label the record gave the unit, before its first write.
    void placed(int id, int address, int n, const QString &label);
    // The planned slot (its UUID) the record gave the unit, before its first write; empty when
    // the record holds every slot the unit could take.
    void tookSlot(int id, const QString &uuid);
    // The record could not be reached: the station writes no further unit.
    void recordLost(int id, const QString &why);
    void done(int id, bool pass, const QString &failure);

private:
    void end()
    {
        m_serial.reset();
        m_line.reset();
        QThread::currentThread()->quit();
    }
    // Takes what the record gave the unit into the plan read from it; empty when the unit may
    // be written.
    QString takePlace(const Placing &placing, settingsapply::Plan &plan);
    // Keeps the placement's reservation, once, with the time it was made.
    void holdReservation(const Placing &placing);
    // Keeps the reservation alive while the unit is written; false when it is gone.
    bool renewLease();
    QString recordFailure(record::Problem problem, const QString &error);
    // With a placement, the unit takes its place once it is read and before anything is written.
    QString check(const QVector<settingsfile::Entry> &wanted, const QString &recordPath);

    const int m_id;
    const QString m_port;
    const QMap<int, QStringList> m_extraKeys;
    const std::shared_ptr<std::atomic_bool> m_cancel;
    std::unique_ptr<Serial> m_serial;
    std::shared_ptr<RecordLine> m_line;      // the station's connection to the record
    std::shared_future<Placing> m_placement; // worked out on the line while the unit is read
    std::optional<RecordJob> m_job;
    std::optional<record::Reservation> m_reservation;
    QElapsedTimer m_renewed;
    QJsonObject m_readBack; // every written key as read back
    bool m_recordLost = false;
    Family m_family = Family::Dimmer5;
    QString m_model;
    QString m_uid;
};

} // namespace provision
