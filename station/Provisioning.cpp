#include "station/Provisioning.h"

#include "files/FileTarget.h"
#include "station/ProvisionLog.h"
#include "station/ProvisionPorts.h"
#include "station/ProvisionSetup.h"
#include "station/ProvisionUnit.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <atomic>

#include <sys/stat.h>

namespace provision {

namespace {

using FileId = QPair<quint64, quint64>; // device, inode

std::optional<FileId> fileId(const QString &path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileId(info.st_dev, info.st_ino);
}

// A record is named by the unit's UID, which the station learns only when the unit is read;
// the names any unit could have are checked before the first unit is written.
QString recordFolderRefusal(const QString &folder)
{
    static const QRegularExpression uidName(QStringLiteral("^[0-9A-F]{12}\\.json$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::System |
                                                     QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!uidName.match(name).hasMatch())
            continue;
        const QString why = refusalToReplace(QDir(folder).filePath(name));
        if (!why.isEmpty())
            return QStringLiteral("--record-dir: ") + why;
    }
    return QString();
}

} // namespace

QString resultName(Result result)
{
    switch (result) {
    case Result::Pending:
        return QStringLiteral("in progress");
    case Result::Pass:
        return QStringLiteral("PASS");
    case Result::Fail:
        return QStringLiteral("FAIL");
    case Result::AlreadyProvisioned:
        return QStringLiteral("already provisioned");
    case Result::NotWritten:
        return QStringLiteral("not written");
    case Result::NotAUnit:
        return QStringLiteral("not a supported unit");
    case Result::Busy:
        return QStringLiteral("busy");
    }
    return QString();
}

struct Station::Private
{
    explicit Private(Station *station) : q(station) {}

    struct Entry
    {
        Unit unit;
        enum Phase
        {
            Identifying,
            Identified, // waiting for its turn
            Writing,
            Done,
        } phase = Identifying;
        Identity identity;
        QThread *thread = nullptr; // until joined
        UnitWorker *worker = nullptr;
        bool recorded = false; // its thread waits to put the result in the record
    };

    Station *const q;
    Setup setup;
    bool watch = false;
    bool running = false;
    bool stopping = false;
    std::shared_ptr<std::atomic_bool> cancel;
    QMap<int, QStringList> extraKeys;
    int lastId = 0;
    QVector<Entry> entries;
    QVector<int> order; // entry indices in the order addresses are given
    int assigned = 0;   // of order
    int liveThreads = 0;

    LogFile log;
    LogHistory history;
    UnitPlanner planner;
    QVector<FileId> filesRead; // the templates and the log: no record may replace them
    QString stopReason;

    PortFinder ports;
    // The record as this thread asks it which units hold a slot; the units' threads open their
    // own. recordLost: it could not be reached, and no further unit is written.
    std::unique_ptr<record::Record> rigRecord;
    std::shared_ptr<RecordLine> recordLine; // the units' connection to the record
    bool recordLost = false;

    Entry *entry(int id)
    {
        const int index = id - (lastId - entries.size() + 1);
        return index >= 0 && index < entries.size() ? &entries[index] : nullptr;
    }

    void scan();
    void arrive(const PortCandidate &candidate);
    void onIdentified(int id, const Identity &identity);
    void assignReady();
    void assign(Entry &e);
    void release(Entry &e, Result result, const QString &failure);
    // A unit that will not be written: not written, or failed when the record was lost.
    void leaveUnwritten(Entry &e);
    bool heldInRecord(const QString &uid);
    void loseRecord(const QString &why);
    void finish(Entry &e, Result result, const QString &failure);
    void onThreadEnded(int id);
    QString recordRefusal(const QString &path) const;
    void stopBecause(const QString &why);
    void stopWatching();
    void maybeFinish();
};

void Station::Private::scan()
{
    if (!running || stopping)
        return;
    // Rows written to a log that is no longer at its path would be lost to the next start.
    const QString gone = setup.dryRun ? QString() : log.goneReason();
    if (!gone.isEmpty()) {
        stopBecause(gone);
        return;
    }
    for (const PortCandidate &c : ports.arrivals())
        arrive(c);
    if (!watch)
        maybeFinish();
}

void Station::Private::arrive(const PortCandidate &candidate)
{
    Entry e;
    e.unit.id = ++lastId;
    e.unit.port = candidate.path;
    e.unit.serialNumber = candidate.serialNumber;
    entries.append(e);
    Entry &added = entries.last();
    if (!watch)
        order.append(entries.size() - 1);
    if (candidate.device == 0) {
        // A named port that is not there (yet): nothing to open.
        added.phase = Entry::Done;
        added.unit.result = Result::NotAUnit;
        added.unit.failure = QFileInfo::exists(candidate.path) ? QStringLiteral("not a serial port")
                                                               : QStringLiteral("no such port");
        emit q->unitFinished(added.unit);
        return;
    }

    const int id = added.unit.id;
    auto *thread = new QThread;
    auto *worker = new UnitWorker(id, candidate.path, extraKeys, cancel);
    worker->moveToThread(thread);
    added.thread = thread;
    added.worker = worker;
    ++liveThreads;
    QObject::connect(thread, &QThread::started, worker, &UnitWorker::identify);
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(
        worker, &UnitWorker::identified, q,
        [this](int unit, const Identity &identity) { onIdentified(unit, identity); },
        Qt::QueuedConnection);
    QObject::connect(worker, &UnitWorker::progress, q, &Station::unitProgress,
                     Qt::QueuedConnection);
    QObject::connect(
        worker, &UnitWorker::placed, q,
        [this](int unit, int address, int n, const QString &label) {
            Entry *e = entry(unit);
            if (!e)
                return;
            e->unit.address = address;
            e->unit.n = n;
            if (setup.labelPattern)
                e->unit.label = label;
            emit q->unitChanged(e->unit);
        },
        Qt::QueuedConnection);
    QObject::connect(
        worker, &UnitWorker::tookSlot, q,
        [this](int unit, const QString &uuid) {
            Entry *e = entry(unit);
            if (!e || !setup.plan)
                return;
            // The station's guess of a slot is not where a unit that found none stands.
            if (uuid.isEmpty()) {
                Unit &none = e->unit;
                none.slotUuid.clear();
                none.label.clear();
                none.labelSet = false;
                none.universe = none.address = none.footprint = none.n = 0;
            }
            for (const patch::Slot &slot : setup.plan->slotList) {
                if (slot.uuid != QUuid(uuid))
                    continue;
                e->unit.slotUuid = uuid;
                e->unit.universe = slot.universe;
                e->unit.address = slot.address;
                e->unit.footprint = slot.footprint();
                e->unit.label = slot.label;
                e->unit.n = slot.unitNumber;
            }
            emit q->unitChanged(e->unit);
        },
        Qt::QueuedConnection);
    QObject::connect(
        worker, &UnitWorker::recordLost, q, [this](int, const QString &why) { loseRecord(why); },
        Qt::QueuedConnection);
    QObject::connect(
        worker, &UnitWorker::done, q,
        [this](int unit, bool pass, const QString &failure) {
            if (Entry *e = entry(unit))
                finish(*e, pass ? Result::Pass : Result::Fail, failure);
        },
        Qt::QueuedConnection);
    QObject::connect(
        thread, &QThread::finished, q, [this, id] { onThreadEnded(id); }, Qt::QueuedConnection);
    thread->start();
    emit q->unitChanged(added.unit);
}

void Station::Private::onIdentified(int id, const Identity &identity)
{
    Entry *e = entry(id);
    if (!e)
        return;
    if (!identity.isUnit()) {
        if (identity.busy)
            finish(*e, Result::Busy, QStringLiteral("another program holds the port"));
        else
            finish(*e, Result::NotAUnit, identity.failure);
        assignReady();
        return;
    }
    e->unit.model = identity.model;
    e->unit.uid = identity.uid;
    e->unit.software = identity.software;
    e->identity = identity;
    if (!identity.failure.isEmpty()) {
        finish(*e, Result::Fail, identity.failure);
        assignReady();
        return;
    }
    e->phase = Entry::Identified;
    emit q->unitChanged(e->unit);
    if (watch)
        order.append(int(e - entries.data()));
    if (stopping)
        leaveUnwritten(*e);
    assignReady();
}

void Station::Private::assignReady()
{
    while (assigned < order.size()) {
        Entry &e = entries[order.at(assigned)];
        if (e.phase == Entry::Identifying)
            return;
        ++assigned;
        if (e.phase == Entry::Identified)
            assign(e);
    }
    maybeFinish();
}

void Station::Private::assign(Entry &e)
{
    Unit &unit = e.unit;
    if (stopping) {
        leaveUnwritten(e);
        return;
    }
    const bool held = !setup.again && rigRecord && heldInRecord(unit.uid);
    if (e.phase == Entry::Done) // the record was lost, and the unit with it
        return;
    if ((held || history.passedUids.contains(unit.uid.trimmed().toUpper())) && !setup.again) {
        release(e, Result::AlreadyProvisioned, QString());
        return;
    }
    const QString record = setup.recordDir.isEmpty()
                               ? QString()
                               : QDir(setup.recordDir).filePath(unit.uid + QStringLiteral(".json"));
    QString why = setup.dryRun ? QString() : recordRefusal(record);
    if (!why.isEmpty()) {
        release(e, Result::Fail, QStringLiteral("record: ") + why);
        return;
    }
    const auto wanted = planner.plan(e.identity, unit, &why);
    if (!wanted) {
        release(e, Result::Fail, why);
        return;
    }
    emit q->unitChanged(unit);
    if (setup.dryRun) {
        release(e, Result::NotWritten, QString());
        return;
    }
    e.phase = Entry::Writing;
    std::optional<RecordJob> job;
    if (!setup.recordUrl.isEmpty()) {
        job = RecordJob{setup.recordUrl,
                        setup.stationName,
                        setup.leaseSeconds,
                        unit.universe,
                        setup.startAddress.value_or(1),
                        unit.address,
                        0,
                        setup.labelPattern,
                        unit.slotUuid.isEmpty() ? QVector<patch::Slot>() : planner.openSlots(unit),
                        recordLine};
        if (setup.startAddress && unit.footprint > 0)
            job->footprint = unit.footprint;
        e.recorded = true;
    }
    UnitWorker *worker = e.worker;
    QMetaObject::invokeMethod(
        worker, [worker, wanted = *wanted, record, job] { worker->write(wanted, record, job); },
        Qt::QueuedConnection);
}

void Station::Private::leaveUnwritten(Entry &e)
{
    if (recordLost)
        release(e, Result::Fail, QStringLiteral("record unreachable"));
    else
        release(e, Result::NotWritten, QStringLiteral("the station stopped before its turn"));
}

bool Station::Private::heldInRecord(const QString &uid)
{
    const std::optional<bool> held = rigRecord->holdsSlot(uid);
    if (!held && rigRecord->problem() == record::Problem::Unreachable)
        loseRecord(rigRecord->errorString());
    return held.value_or(false);
}

void Station::Private::loseRecord(const QString &why)
{
    if (recordLost)
        return;
    recordLost = true;
    stopBecause(QStringLiteral("the record became unreachable (%1)").arg(why));
}

void Station::Private::release(Entry &e, Result result, const QString &failure)
{
    if (UnitWorker *worker = e.worker)
        QMetaObject::invokeMethod(
            worker, [worker] { worker->release(); }, Qt::QueuedConnection);
    finish(e, result, failure);
}

void Station::Private::finish(Entry &e, Result result, const QString &failure)
{
    if (e.phase == Entry::Done)
        return;
    e.phase = Entry::Done;
    e.unit.result = result;
    e.unit.failure = failure;
    e.unit.finished = settingsfile::timestamp(QDateTime::currentDateTime());
    // A unit without its row is not a delivered unit: a restarted station must take it again.
    if (!setup.dryRun && (result == Result::Pass || result == Result::Fail) &&
        !log.append(e.unit)) {
        e.unit.result = Result::Fail;
        e.unit.failure = QStringLiteral("its log row could not be written: ") + log.errorString();
    }
    if (e.unit.result == Result::Pass)
        history.passedUids.insert(e.unit.uid.trimmed().toUpper());
    else
        planner.unitFailed(e.unit);
    // The log row first: a record lost now still leaves the unit to `record import`, which knows
    // the row by its time.
    if (UnitWorker *worker = e.worker; worker && e.recorded) {
        record::ResultEntry entry;
        entry.unit = {e.unit.uid.trimmed().toUpper(), e.unit.model, e.unit.serialNumber};
        entry.placement = {e.unit.universe, e.unit.address, e.unit.footprint, e.unit.label};
        entry.slotUuid = e.unit.slotUuid;
        entry.station = setup.stationName;
        entry.time = e.unit.finished;
        entry.templateName = e.unit.templatePath;
        entry.templateSha256 = e.unit.templateSha256;
        entry.reason = e.unit.failure;
        const bool pass = e.unit.result == Result::Pass;
        QMetaObject::invokeMethod(
            worker, [worker, entry, pass] { worker->recordResult(entry, pass); },
            Qt::QueuedConnection);
    }
    emit q->unitFinished(e.unit);
    const QString gone = setup.dryRun ? QString() : log.goneReason();
    if (!gone.isEmpty())
        stopBecause(gone);
    maybeFinish();
}

void Station::Private::onThreadEnded(int id)
{
    Entry *e = entry(id);
    if (!e || !e->thread)
        return;
    e->thread->wait();
    delete e->thread;
    e->thread = nullptr;
    e->worker = nullptr;
    --liveThreads;
    maybeFinish();
}

QString Station::Private::recordRefusal(const QString &path) const
{
    if (path.isEmpty())
        return QString();
    const QString why = refusalToReplace(path);
    if (!why.isEmpty())
        return why;
    const std::optional<FileId> id = fileId(path);
    if (id && filesRead.contains(*id))
        return QStringLiteral("%1 would replace a file this station reads")
            .arg(QFileInfo(path).fileName());
    return QString();
}

void Station::Private::stopBecause(const QString &why)
{
    if (stopReason.isEmpty())
        stopReason = why;
    q->stop();
}

void Station::Private::stopWatching()
{
    ports.stop();
}

void Station::Private::maybeFinish()
{
    if (!running || (watch && !stopping) || liveThreads > 0)
        return;
    if (std::any_of(entries.begin(), entries.end(),
                    [](const Entry &e) { return e.phase != Entry::Done; }))
        return;
    running = false;
    stopWatching();
    log.close();
    emit q->finished();
}

// ---- Station ---------------------------------------------------------------------------------

Station::Station(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    qRegisterMetaType<provision::Unit>();
    qRegisterMetaType<provision::Identity>();
    connect(&d->ports, &PortFinder::changed, this, [this] { d->scan(); });
}

Station::~Station()
{
    d->stopWatching();
    d->stopping = true;
    if (d->cancel)
        d->cancel->store(true);
    for (Private::Entry &e : d->entries) {
        e.worker = nullptr; // gone with its thread
        if (!e.thread)
            continue;
        e.thread->quit();
        e.thread->wait();
        delete e.thread;
        e.thread = nullptr;
    }
    // The units cancelled in the middle of a write have sent their results; they get their log
    // rows as after abort().
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

bool Station::start(const Setup &setup, const Selection &selection, bool watch, QString *why)
{
    QString reason;
    const auto refuse = [&](const QString &text) {
        if (why)
            *why = text;
        d->log.close();
        return false;
    };
    if (d->running)
        return refuse(QStringLiteral("the station is already running"));
    reason = setupRefusal(setup);
    if (!reason.isEmpty())
        return refuse(reason);

    d->setup = setup;
    if (d->setup.stationName.isEmpty())
        d->setup.stationName = record::defaultStation();
    d->watch = watch;
    d->stopping = false;
    d->cancel = std::make_shared<std::atomic_bool>(false);
    d->entries.clear();
    d->order.clear();
    d->assigned = 0;
    d->history = LogHistory();
    d->stopReason.clear();
    d->filesRead.clear();
    d->rigRecord.reset();
    d->recordLine.reset();
    d->recordLost = false;
    if (!setup.recordUrl.isEmpty()) {
        // Before anything is touched: a record that cannot be used stops the station here.
        d->rigRecord = std::make_unique<record::Record>();
        if (!d->rigRecord->open(setup.recordUrl)) {
            // The record's own message names it (password redacted).
            reason = d->rigRecord->errorString();
            d->rigRecord.reset();
            return refuse(reason);
        }
        d->recordLine = std::make_shared<RecordLine>();
    }
    if (setup.dryRun) {
        if (!readLog(setup.logPath, d->history, &reason))
            return refuse(reason);
    } else {
        if (!setup.recordDir.isEmpty() && !QDir().mkpath(setup.recordDir))
            return refuse(QStringLiteral("cannot create the folder %1").arg(setup.recordDir));
        if (!setup.recordDir.isEmpty() && !QFileInfo(setup.recordDir).isWritable())
            return refuse(QStringLiteral("cannot write in %1").arg(setup.recordDir));
        if (!setup.recordDir.isEmpty())
            reason = recordFolderRefusal(setup.recordDir);
        if (!reason.isEmpty() || !d->log.open(setup.logPath, d->history, &reason))
            return refuse(reason);
        for (const Template &t : setup.templates) {
            if (const std::optional<FileId> id = fileId(t.path))
                d->filesRead.append(*id);
        }
        if (const std::optional<FileId> id = fileId(setup.logPath))
            d->filesRead.append(*id);
    }
    d->planner = UnitPlanner(setup, d->history);

    d->extraKeys = identificationKeys(setup);

    // The log's folder shows the log deleted or moved.
    d->ports.start(selection, watch,
                   setup.dryRun ? QStringList()
                                : QStringList{QFileInfo(setup.logPath).absolutePath()});
    d->running = true;
    // Every signal comes from the event loop, after the caller has connected to them.
    QMetaObject::invokeMethod(
        this, [this] { d->scan(); }, Qt::QueuedConnection);
    return true;
}

void Station::stop()
{
    if (!d->running || d->stopping)
        return;
    d->stopping = true;
    d->stopWatching();
    for (Private::Entry &e : d->entries) {
        if (e.phase == Private::Entry::Identified)
            d->leaveUnwritten(e);
    }
    d->maybeFinish();
}

void Station::abort()
{
    if (d->cancel)
        d->cancel->store(true);
    stop();
}

bool Station::isRunning() const
{
    return d->running;
}

QString Station::logNote() const
{
    return d->history.cutShort;
}

QString Station::stopReason() const
{
    return d->stopReason;
}

QVector<Unit> Station::units() const
{
    QVector<Unit> all;
    for (const Private::Entry &e : d->entries)
        all.append(e.unit);
    return all;
}

} // namespace provision
