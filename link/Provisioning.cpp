#include "link/Provisioning.h"

#include "link/DeviceSession.h"
#include "link/DeviceSettings.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "link/SettingsApply.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <sys/stat.h>

namespace provision {

namespace {

constexpr int lastSlot = 512;
constexpr int maxUniverse = 63999;

const QString keyAddress = QStringLiteral("dmx.address");
const QString keyUniverse = QStringLiteral("dmx.universe");
const QString keyPersonality = QStringLiteral("dmx.personality");
const QString keyLabel = QStringLiteral("device.label");

const QRegularExpression &placeholderPattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\{([^{}]*)\\}"));
    return pattern;
}

const QStringList placeholders = {QStringLiteral("n"), QStringLiteral("address"),
                                  QStringLiteral("model"), QStringLiteral("uid")};

QString lostAt(const QString &key)
{
    return QStringLiteral("the unit stopped answering at %1").arg(key);
}

QString noValue(const QString &key, const QString &words)
{
    return QStringLiteral("%1: the unit's answer held no value ('%2')").arg(key, words);
}

// The node's device number when the path leads to a character device, else 0.
quint64 characterDevice(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    return quint64(st.st_rdev);
}

// ttyACM2 before ttyACM10.
bool naturalLess(const QString &a, const QString &b)
{
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            int ei = i, ej = j;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            const QString na = a.mid(i, ei - i), nb = b.mid(j, ej - j);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// ---- The log ---------------------------------------------------------------------------------

QString csvField(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("[\",\r\n]|^\\s|\\s$"));
    if (!special.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray csvLine(const QStringList &fields)
{
    QStringList out;
    for (const QString &field : fields)
        out.append(csvField(field));
    return out.join(QLatin1Char(',')).toUtf8() + '\n';
}

// Records of a CSV text: quoted fields may hold commas, doubled quotes and line breaks.
QVector<QStringList> csvRecords(const QString &text)
{
    QVector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, any = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = any = true;
        } else if (c == QLatin1Char(',')) {
            record.append(field);
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\n')) {
            record.append(field);
            records.append(record);
            record.clear();
            field.clear();
            any = false;
        } else if (c != QLatin1Char('\r')) {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty() || !record.isEmpty()) {
        record.append(field);
        records.append(record);
    }
    return records;
}

} // namespace

// ---- Templates, labels, the setup ------------------------------------------------------------

std::optional<Template> loadTemplate(const QString &path, QString *why)
{
    const auto refuse = [why](const QString &text) -> std::optional<Template> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    if (QFileInfo(path).isDir())
        return refuse(QStringLiteral("%1 is a folder, not a settings file").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray text = file.read(settingsfile::maxFileBytes + 1);
    if (text.size() > settingsfile::maxFileBytes)
        return refuse(QStringLiteral("%1: larger than any settings file").arg(path));
    QString reason;
    auto contents = settingsfile::parse(text, &reason);
    if (!contents)
        return refuse(QStringLiteral("%1: %2").arg(path, reason));
    Template result;
    result.path = path;
    result.sha256 =
        QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    result.contents = *contents;
    return result;
}

QString labelPatternRefusal(const QString &pattern)
{
    LabelFields longest;
    longest.n = 1999999999; // ten digits, as many as {n} can ever have
    longest.address = lastSlot;
    for (const QString &number : catalogue::modelNumbers()) {
        if (number.size() > longest.model.size())
            longest.model = number;
    }
    longest.uid = QString(12, QLatin1Char('F'));

    QRegularExpressionMatchIterator it = placeholderPattern().globalMatch(pattern);
    QString rest = pattern;
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (!placeholders.contains(match.captured(1))) {
            return QStringLiteral("--label: %1 is not a placeholder ({n}, {address}, {model}, "
                                  "{uid})")
                .arg(match.captured(0));
        }
        rest.replace(match.captured(0), QString());
    }
    if (rest.contains(QLatin1Char('{')) || rest.contains(QLatin1Char('}')))
        return QStringLiteral("--label: a brace that is not part of a placeholder");
    const QString label = expandLabel(pattern, longest);
    for (Family family : catalogue::families()) {
        const QString why = settings::refusal(*settings::find(family, keyLabel), label);
        if (!why.isEmpty())
            return QStringLiteral("--label: at its longest the label %1").arg(why);
    }
    return QString();
}

QString expandLabel(const QString &pattern, const LabelFields &fields)
{
    QString out;
    int at = 0;
    QRegularExpressionMatchIterator it = placeholderPattern().globalMatch(pattern);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        out += pattern.mid(at, match.capturedStart() - at);
        const QString name = match.captured(1);
        if (name == QLatin1String("n"))
            out += QString::number(fields.n);
        else if (name == QLatin1String("address"))
            out += QString::number(fields.address);
        else if (name == QLatin1String("model"))
            out += fields.model;
        else if (name == QLatin1String("uid"))
            out += fields.uid;
        else
            out += match.captured(0);
        at = match.capturedEnd();
    }
    return out + pattern.mid(at);
}

QStringList logColumns()
{
    return {QStringLiteral("time"),       QStringLiteral("port"),
            QStringLiteral("usb_serial"), QStringLiteral("model"),
            QStringLiteral("rdm_uid"),    QStringLiteral("software"),
            QStringLiteral("template"),   QStringLiteral("template_sha256"),
            QStringLiteral("universe"),   QStringLiteral("address"),
            QStringLiteral("footprint"),  QStringLiteral("label"),
            QStringLiteral("result"),     QStringLiteral("failure")};
}

QString setupRefusal(const Setup &setup)
{
    QSet<int> families;
    for (const Template &t : setup.templates) {
        if (families.contains(int(t.contents.family))) {
            return QStringLiteral("two templates for family %1")
                .arg(catalogue::familyName(t.contents.family));
        }
        families.insert(int(t.contents.family));
    }
    if (setup.startAddress && (*setup.startAddress < 1 || *setup.startAddress > lastSlot))
        return QStringLiteral("--start-address needs a number from 1 to %1").arg(lastSlot);
    if (setup.universe && (*setup.universe < 1 || *setup.universe > maxUniverse))
        return QStringLiteral("--universe needs a number from 1 to %1").arg(maxUniverse);
    for (auto it = setup.footprints.begin(); it != setup.footprints.end(); ++it) {
        if (!catalogue::modelNumbers().contains(it.key())) {
            return QStringLiteral("--footprint: unknown model '%1' (one of %2)")
                .arg(it.key(), catalogue::modelList());
        }
        if (it.value() < 0 || it.value() > lastSlot)
            return QStringLiteral("--footprint %1 needs a number from 0 to %2")
                .arg(it.key())
                .arg(lastSlot);
    }
    if (setup.labelPattern) {
        const QString why = labelPatternRefusal(*setup.labelPattern);
        if (!why.isEmpty())
            return why;
    }
    if (setup.logPath.isEmpty())
        return QStringLiteral("no log file given");
    return QString();
}

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
    }
    return QString();
}

// ---- One unit on its thread ------------------------------------------------------------------

// What identification found. A port that is no unit has no model; a unit whose identity could
// not be read whole has a failure.
struct Identity
{
    QString model;
    Family family = Family::Dimmer5;
    QString uid;
    QString software;
    QHash<QString, settings::Value> current;
    QString failure;

    bool isUnit() const { return !model.isEmpty(); }
};

} // namespace provision

Q_DECLARE_METATYPE(provision::Identity)

namespace provision {

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
    void write(const QVector<settingsfile::Entry> &wanted, const QString &recordPath);
    void release() { end(); }

signals:
    void identified(int id, const provision::Identity &identity);
    void progress(int id, int done, int total);
    void done(int id, bool pass, const QString &failure);

private:
    void end()
    {
        m_serial.reset();
        QThread::currentThread()->quit();
    }
    QString check(const QVector<settingsfile::Entry> &wanted, const QString &recordPath);

    const int m_id;
    const QString m_port;
    const QMap<int, QStringList> m_extraKeys;
    const std::shared_ptr<std::atomic_bool> m_cancel;
    std::unique_ptr<Serial> m_serial;
    Family m_family = Family::Dimmer5;
    QString m_model;
};

void UnitWorker::identify()
{
    m_serial = std::make_unique<Serial>();
    Identity identity;
    session::Result result = session::connect(*m_serial, m_port);
    // A unit just plugged in may still be starting; one more chance before it counts as silent.
    if (result.outcome == session::Outcome::Silent) {
        m_serial->close();
        result = session::connect(*m_serial, m_port);
    }
    if (!result.ready()) {
        identity.failure = session::describe(result);
        emit identified(m_id, identity);
        end();
        return;
    }
    m_family = result.info->family;
    m_model = result.info->number;
    identity.model = m_model;
    identity.family = m_family;
    QStringList keys = {QStringLiteral("identity.uid"), QStringLiteral("identity.software")};
    keys += m_extraKeys.value(int(m_family));
    for (const QString &key : keys) {
        const settings::Reading reading = settings::read(*m_serial, *settings::find(m_family, key));
        if (!reading.sent || !m_serial->isOpen()) {
            identity.failure = lostAt(key);
            break;
        }
        if (key == QLatin1String("identity.software")) {
            identity.software = reading.value ? reading.value->toString() : reading.words;
        } else if (!reading.value) {
            identity.failure = noValue(key, reading.words);
            break;
        } else if (key == QLatin1String("identity.uid")) {
            identity.uid = reading.value->toString();
        } else {
            identity.current.insert(key, *reading.value);
        }
    }
    emit identified(m_id, identity);
    if (!identity.failure.isEmpty())
        end();
}

void UnitWorker::write(const QVector<settingsfile::Entry> &wanted, const QString &recordPath)
{
    const QString failure = check(wanted, recordPath);
    emit done(m_id, failure.isEmpty(), failure);
    end();
}

// Reads, writes what differs and reads everything back; empty when every key holds what was
// meant for it.
QString UnitWorker::check(const QVector<settingsfile::Entry> &wanted, const QString &recordPath)
{
    using settingsapply::Status;
    const int keys = wanted.size();
    int total = 3 * keys; // until the unit is read: every key read, written and read back
    int offset = 0;
    settingsapply::Control control;
    control.cancelled = [this] { return m_cancel->load(); };
    control.progress = [&](int done, int, const QString &) {
        emit progress(m_id, offset + done, total);
    };
    const settingsapply::Plan plan = settingsapply::plan(*m_serial, m_family, wanted, control);
    if (plan.cancelled)
        return QStringLiteral("interrupted");
    if (plan.lost)
        return lostAt(wanted.at(plan.rows.size()).setting->key);
    for (const settingsapply::Row &row : plan.rows) {
        if (!row.unit)
            return noValue(row.setting->key, row.unitWords);
    }
    const QStringList chosen = plan.differing();
    offset = keys;
    total = keys + settingsapply::writeOrder(plan, chosen).size() + plan.rows.size();
    const settingsapply::Report report = settingsapply::execute(*m_serial, plan, chosen, control);
    if (!report.refused.isEmpty())
        return report.refused;
    if (report.cancelled)
        return QStringLiteral("interrupted");
    if (report.lost) {
        return lostAt(report.lostAt) + QStringLiteral(" (%1 of %2 keys to write were written and "
                                                      "verified)")
                                           .arg(report.withStatus(Status::Written).size())
                                           .arg(chosen.size());
    }
    QStringList failed;
    for (const settingsapply::Result &r : report.rows) {
        if (r.status != Status::Failed)
            continue;
        if (!r.after) {
            failed.append(noValue(r.setting->key, r.afterWords));
        } else {
            failed.append(QStringLiteral("%1 holds %2, not %3")
                              .arg(r.setting->key, settings::toText(*r.setting, *r.after),
                                   settings::toText(*r.setting, r.wanted)));
        }
    }
    if (!failed.isEmpty())
        return failed.join(QLatin1String("; "));
    if (!recordPath.isEmpty()) {
        const settingsapply::Snapshot shot = settingsapply::snapshot(
            *m_serial, m_model, m_family, QDateTime::currentDateTime(), control);
        if (shot.cancelled)
            return QStringLiteral("interrupted");
        if (!shot.complete())
            return QStringLiteral("the record could not be read whole");
        QString why;
        if (!settingsfile::save(recordPath, shot.contents, &why))
            return QStringLiteral("record: ") + why;
    }
    emit progress(m_id, total, total);
    return QString();
}

// ---- The station -----------------------------------------------------------------------------

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
        Family family = Family::Dimmer5;
        QHash<QString, settings::Value> current;
        QThread *thread = nullptr; // until joined
        UnitWorker *worker = nullptr;
    };

    struct Candidate
    {
        QString path;
        quint64 device = 0;
        QString serialNumber;
    };

    Station *const q;
    Setup setup;
    Selection selection;
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

    QFile log;
    QSet<QString> passedUids;
    QHash<int, QVector<QPair<int, int>>> reserved; // universe -> ranges of PASS rows
    int passRows = 0;
    int numbered = 0;
    int cursor = 1;

    QHash<quint64, QStringList> seen;
    std::unique_ptr<QFileSystemWatcher> folderWatch;
    QTimer settle;
    QMetaObject::Connection portWatch;

    Entry *entry(int id)
    {
        const int index = id - (lastId - entries.size() + 1);
        return index >= 0 && index < entries.size() ? &entries[index] : nullptr;
    }

    bool readLog(QString *why);
    bool openLog(QString *why);
    void appendLogRow(Unit &unit);

    QVector<Candidate> candidates();
    void scan();
    void arrive(const Candidate &candidate);
    void onIdentified(int id, const Identity &identity);
    void assignReady();
    void assign(Entry &e);
    std::optional<int> allocate(int universe, int footprint);
    void release(Entry &e, Result result, const QString &failure);
    void finish(Entry &e, Result result, const QString &failure);
    void onThreadEnded(int id);
    void stopWatching();
    void maybeFinish();
};

bool Station::Private::readLog(QString *why)
{
    QFile file(setup.logPath);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1: %2").arg(setup.logPath, file.errorString());
        return false;
    }
    const QVector<QStringList> records = csvRecords(QString::fromUtf8(file.readAll()));
    if (records.isEmpty())
        return true;
    const QStringList columns = logColumns();
    if (records.first() != columns) {
        *why = QStringLiteral("%1 is not a provisioning log: its first line is not \"%2\"")
                   .arg(setup.logPath, columns.join(QLatin1Char(',')));
        return false;
    }
    const int result = columns.indexOf(QStringLiteral("result"));
    const int uid = columns.indexOf(QStringLiteral("rdm_uid"));
    const int universe = columns.indexOf(QStringLiteral("universe"));
    const int address = columns.indexOf(QStringLiteral("address"));
    const int footprint = columns.indexOf(QStringLiteral("footprint"));
    for (int i = 1; i < records.size(); ++i) {
        const QStringList &row = records.at(i);
        if (row.size() != columns.size() || row.at(result) != QLatin1String("PASS"))
            continue;
        ++passRows;
        passedUids.insert(row.at(uid));
        const int first = row.at(address).toInt(), taken = row.at(footprint).toInt();
        if (first > 0 && taken > 0)
            reserved[row.at(universe).toInt()].append({first, first + taken - 1});
    }
    return true;
}

bool Station::Private::openLog(QString *why)
{
    log.setFileName(setup.logPath);
    if (!log.open(QIODevice::ReadWrite | QIODevice::Append)) {
        *why = QStringLiteral("cannot write %1: %2").arg(setup.logPath, log.errorString());
        return false;
    }
    QByteArray start;
    if (log.size() == 0) {
        start = csvLine(logColumns());
    } else {
        // A row cut short (a power cut mid-write) must not swallow the next one.
        char last = 0;
        if (log.seek(log.size() - 1) && log.getChar(&last) && last != '\n')
            start = "\n";
    }
    if (!start.isEmpty() && (log.write(start) != start.size() || !log.flush())) {
        *why = QStringLiteral("cannot write %1: %2").arg(setup.logPath, log.errorString());
        log.close();
        return false;
    }
    return true;
}

void Station::Private::appendLogRow(Unit &unit)
{
    const QStringList fields = {
        unit.finished,
        unit.port,
        unit.serialNumber,
        unit.model,
        unit.uid,
        unit.software,
        unit.templatePath,
        unit.templateSha256,
        unit.universe > 0 ? QString::number(unit.universe) : QString(),
        unit.address > 0 ? QString::number(unit.address) : QString(),
        QString::number(unit.footprint),
        unit.labelSet ? unit.label : QString(),
        unit.result == Result::Pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"),
        unit.failure,
    };
    const QByteArray line = csvLine(fields);
    if (log.write(line) != line.size() || !log.flush()) {
        // A unit without its row is not a delivered unit: a restarted station must take it again.
        unit.result = Result::Fail;
        unit.failure = QStringLiteral("its log row could not be written: ") + log.errorString();
    }
}

QVector<Station::Private::Candidate> Station::Private::candidates()
{
    QVector<Candidate> named, others;
    QHash<quint64, QString> serials;
    const QList<PortInfo> system = PortSource::availablePorts();
    for (const PortInfo &port : system) {
        if (port.deviceNumber != 0 && !port.serialNumber.isEmpty())
            serials.insert(port.deviceNumber, port.serialNumber);
    }
    for (const QString &path : qAsConst(selection.ports))
        named.append({path, characterDevice(path), QString()});
    if (!selection.portDir.isEmpty()) {
        const QDir dir(selection.portDir);
        const QStringList names =
            dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &name : names) {
            const QString path = dir.filePath(name);
            if (const quint64 device = characterDevice(path))
                others.append({path, device, QString()});
        }
    }
    if (selection.attached) {
        for (const PortInfo &port : system) {
            if (!port.hasVendorIdentifier || !port.hasProductIdentifier ||
                !catalogue::isSupportedUsbDevice(port.vendorIdentifier, port.productIdentifier))
                continue;
            const QString path =
                port.systemLocation.isEmpty() ? port.portName : port.systemLocation;
            others.append(
                {path, port.deviceNumber ? port.deviceNumber : characterDevice(path), QString()});
        }
    }
    std::stable_sort(others.begin(), others.end(), [](const Candidate &a, const Candidate &b) {
        return naturalLess(QFileInfo(a.path).fileName(), QFileInfo(b.path).fileName());
    });
    // One unit reached through two paths (a node and its by-id link) is one unit: the first path
    // given or found stands for it.
    QVector<Candidate> all;
    QSet<quint64> devices;
    for (Candidate &c : named + others) {
        if (c.device != 0 && devices.contains(c.device))
            continue;
        if (c.device != 0)
            devices.insert(c.device);
        c.serialNumber = serials.value(c.device);
        all.append(c);
    }
    return all;
}

void Station::Private::scan()
{
    if (!running || stopping)
        return;
    const QVector<Candidate> found = candidates();
    if (!watch) {
        for (const Candidate &c : found)
            arrive(c);
        maybeFinish();
        return;
    }
    // A port is a new arrival unless one of its unit's paths was there at the last look; a
    // device number alone may pass to another unit (pseudo-terminals are numbered again).
    QHash<quint64, QStringList> now;
    for (const Candidate &c : found) {
        if (c.device != 0)
            now[c.device].append(c.path);
    }
    for (const Candidate &c : found) {
        if (c.device == 0)
            continue;
        const QStringList before = seen.value(c.device);
        const QStringList &paths = now[c.device];
        if (std::none_of(paths.begin(), paths.end(),
                         [&](const QString &p) { return before.contains(p); }))
            arrive(c);
    }
    seen = now;
}

void Station::Private::arrive(const Candidate &candidate)
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
        finish(*e, Result::NotAUnit, identity.failure);
        assignReady();
        return;
    }
    e->unit.model = identity.model;
    e->unit.uid = identity.uid;
    e->unit.software = identity.software;
    e->family = identity.family;
    e->current = identity.current;
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
        release(*e, Result::NotWritten, QStringLiteral("the station stopped before its turn"));
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

std::optional<int> Station::Private::allocate(int universe, int footprint)
{
    int start = cursor;
    const QVector<QPair<int, int>> ranges = reserved.value(universe);
    while (start + footprint - 1 <= lastSlot) {
        const int end = start + footprint - 1;
        const auto taken =
            std::find_if(ranges.begin(), ranges.end(), [&](const QPair<int, int> &r) {
                return r.first <= end && start <= r.second;
            });
        if (taken == ranges.end()) {
            cursor = end + 1;
            return start;
        }
        start = taken->second + 1;
    }
    return std::nullopt;
}

void Station::Private::assign(Entry &e)
{
    Unit &unit = e.unit;
    if (stopping) {
        release(e, Result::NotWritten, QStringLiteral("the station stopped before its turn"));
        return;
    }
    if (passedUids.contains(unit.uid) && !setup.again) {
        release(e, Result::AlreadyProvisioned, QString());
        return;
    }
    const auto t = std::find_if(setup.templates.begin(), setup.templates.end(),
                                [&](const Template &t) { return t.contents.family == e.family; });
    if (t == setup.templates.end()) {
        release(e, Result::Fail,
                QStringLiteral("no template for family %1").arg(catalogue::familyName(e.family)));
        return;
    }
    unit.templatePath = t->path;
    unit.templateSha256 = t->sha256;
    const auto templateValue = [&](const QString &key) -> std::optional<settings::Value> {
        if (const settingsfile::Entry *entry = t->contents.find(key))
            return entry->value;
        if (e.current.contains(key))
            return e.current.value(key);
        return std::nullopt;
    };

    unit.universe =
        setup.universe ? *setup.universe : int(templateValue(keyUniverse).value_or(0).toLongLong());
    const ModelInfo *info = catalogue::find(unit.model);
    if (setup.footprints.contains(unit.model)) {
        unit.footprint = setup.footprints.value(unit.model);
    } else if (e.family != Family::Receiver) {
        const settings::Setting *personality = settings::find(e.family, keyPersonality);
        const auto wide = templateValue(keyPersonality);
        const bool sixteen =
            wide && personality->entries.value(wide->toInt()) == QLatin1String("16-bit");
        unit.footprint = info->channels * (sixteen ? 2 : 1);
    }
    const bool fromSequence = setup.startAddress && unit.footprint > 0;
    if (fromSequence) {
        const std::optional<int> address = allocate(unit.universe, unit.footprint);
        if (!address) {
            release(e, Result::Fail, QStringLiteral("address range exhausted"));
            return;
        }
        unit.address = *address;
    } else {
        unit.address = int(templateValue(keyAddress).value_or(0).toLongLong());
    }
    unit.n = passRows + ++numbered;
    if (setup.labelPattern) {
        unit.label = expandLabel(*setup.labelPattern, {unit.n, unit.address, unit.model, unit.uid});
        unit.labelSet = true;
    } else if (const auto label = templateValue(keyLabel)) {
        unit.label = label->toString();
        unit.labelSet = true;
    }

    // The template's keys in table order, with this unit's own values put in.
    QVector<settingsfile::Entry> wanted;
    for (const settings::Setting &setting : settings::forFamily(e.family)) {
        if (setting.key == keyAddress && fromSequence)
            wanted.append({&setting, qlonglong(unit.address)});
        else if (setting.key == keyUniverse && setup.universe)
            wanted.append({&setting, qlonglong(unit.universe)});
        else if (setting.key == keyLabel && setup.labelPattern)
            wanted.append({&setting, unit.label});
        else if (const settingsfile::Entry *entry = t->contents.find(setting.key))
            wanted.append(*entry);
    }
    emit q->unitChanged(unit);
    if (setup.dryRun) {
        release(e, Result::NotWritten, QString());
        return;
    }
    e.phase = Entry::Writing;
    const QString record = setup.recordDir.isEmpty()
                               ? QString()
                               : QDir(setup.recordDir).filePath(unit.uid + QStringLiteral(".json"));
    UnitWorker *worker = e.worker;
    QMetaObject::invokeMethod(
        worker, [worker, wanted, record] { worker->write(wanted, record); }, Qt::QueuedConnection);
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
    if (!setup.dryRun && (result == Result::Pass || result == Result::Fail))
        appendLogRow(e.unit);
    if (e.unit.result == Result::Pass)
        passedUids.insert(e.unit.uid);
    emit q->unitFinished(e.unit);
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

void Station::Private::stopWatching()
{
    settle.stop();
    folderWatch.reset();
    QObject::disconnect(portWatch);
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
    d->settle.setSingleShot(true);
    // Long enough for a link and the file it is renamed from to settle into one entry.
    d->settle.setInterval(50);
    connect(&d->settle, &QTimer::timeout, this, [this] { d->scan(); });
}

Station::~Station()
{
    d->stopWatching();
    if (d->cancel)
        d->cancel->store(true);
    for (Private::Entry &e : d->entries) {
        if (!e.thread)
            continue;
        e.thread->quit();
        e.thread->wait();
        delete e.thread;
        e.thread = nullptr;
    }
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
    d->selection = selection;
    d->watch = watch;
    d->stopping = false;
    d->cancel = std::make_shared<std::atomic_bool>(false);
    d->entries.clear();
    d->order.clear();
    d->assigned = 0;
    d->passedUids.clear();
    d->reserved.clear();
    d->passRows = 0;
    d->numbered = 0;
    d->cursor = setup.startAddress.value_or(1);
    d->seen.clear();
    if (!d->readLog(&reason))
        return refuse(reason);
    if (!setup.dryRun) {
        if (!setup.recordDir.isEmpty() && !QDir().mkpath(setup.recordDir))
            return refuse(QStringLiteral("cannot create the folder %1").arg(setup.recordDir));
        if (!setup.recordDir.isEmpty() && !QFileInfo(setup.recordDir).isWritable())
            return refuse(QStringLiteral("cannot write in %1").arg(setup.recordDir));
        if (!d->openLog(&reason))
            return refuse(reason);
    }

    // What identification reads besides the identity: what the assignment needs and the
    // template does not say.
    d->extraKeys.clear();
    for (const Template &t : setup.templates) {
        QStringList &keys = d->extraKeys[int(t.contents.family)];
        for (const QString &key : {keyLabel, keyUniverse, keyAddress, keyPersonality}) {
            const bool given =
                (key == keyUniverse && setup.universe) || (key == keyLabel && setup.labelPattern);
            if (!given && settings::find(t.contents.family, key) && !t.contents.find(key))
                keys.append(key);
        }
    }

    if (watch) {
        d->folderWatch = std::make_unique<QFileSystemWatcher>();
        QStringList folders;
        if (!selection.portDir.isEmpty())
            folders.append(selection.portDir);
        for (const QString &port : selection.ports)
            folders.append(QFileInfo(port).absolutePath());
        folders.removeDuplicates();
        for (const QString &folder : qAsConst(folders)) {
            if (QFileInfo(folder).isDir())
                d->folderWatch->addPath(folder);
        }
        connect(d->folderWatch.get(), &QFileSystemWatcher::directoryChanged, this,
                [this] { d->settle.start(); });
        if (selection.attached) {
            if (PortWatch *ports = PortSource::watch())
                d->portWatch = connect(ports, &PortWatch::changed, this, [this] { d->scan(); });
        }
    }
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
            d->release(e, Result::NotWritten,
                       QStringLiteral("the station stopped before its turn"));
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

QVector<Unit> Station::units() const
{
    QVector<Unit> all;
    for (const Private::Entry &e : d->entries)
        all.append(e.unit);
    return all;
}

} // namespace provision

#include "Provisioning.moc"
