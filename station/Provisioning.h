#pragma once

// The templates, the setup's checks and the log's columns come with the station.
#include "station/ProvisionSetup.h"
#include "station/ProvisionTypes.h"

#include <QObject>
#include <QVector>

#include <memory>

// A provisioning station: many units set up from their family's template, each with its own
// start address and label, verified by reading every key back and recorded in a log. One unit
// works on a thread of its own, so a slow or silent unit never holds up the others; everything
// that decides (which units, which addresses, which labels, what is logged) stays on the thread
// that owns the Station, which the units reach only through queued signals. The command line
// (vantelo-cli provision) and the window's station both drive it.
namespace provision {

QString resultName(Result result); // "PASS", "FAIL", "already provisioned", ...

class Station : public QObject
{
    Q_OBJECT

public:
    explicit Station(QObject *parent = nullptr);
    // Aborts what still runs and waits for every unit's thread; the units cancelled are logged
    // as after abort(), and their unitFinished() comes from within.
    ~Station() override;

    // Checks the setup, takes and reads the log (a file with another first line, a row that
    // cannot be understood or a log that another station holds is refused), makes sure the log
    // and the record folder can be written, and starts a unit for every port of the selection. With
    // watch it goes on starting one for each port that appears, until stop(); without, it finishes
    // once every unit has. False, with why, when it cannot start; then nothing was opened or
    // written.
    bool start(const Setup &setup, const Selection &selection, bool watch, QString *why);

    // No further units; those being written finish, those not yet written end as NotWritten.
    void stop();
    // As stop(), and the units being written are cancelled between two commands (FAIL
    // "interrupted", logged).
    void abort();

    bool isRunning() const;
    // After start(): what the log held that the user should know (its last row was cut short and
    // is closed now); empty when nothing.
    QString logNote() const;
    // Why the station stopped by itself (its log deleted or replaced under it); empty when it
    // finished or was stopped.
    QString stopReason() const;
    // Every unit of this start(), in order of arrival.
    QVector<Unit> units() const;

signals:
    // A unit arrived, was identified or was given its address and label (for a table of units).
    void unitChanged(const provision::Unit &unit);
    // Commands done of an estimate of the whole (the estimate shrinks once the unit is read).
    void unitProgress(int id, int done, int total);
    // Its result is final; a log row, if any, is written and flushed before this is emitted.
    void unitFinished(const provision::Unit &unit);
    // Stopped (or, without watch, every unit finished) and every unit's thread has ended. Comes
    // from within stop() or abort() when nothing was left running.
    void finished();

private:
    struct Private;
    std::unique_ptr<Private> d;
    friend struct Private;
};

} // namespace provision
