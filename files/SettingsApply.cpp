#include "files/SettingsApply.h"

#include "link/DeviceSession.h"
#include "unit/DmxRules.h"

#include <algorithm>

namespace settingsapply {

namespace {

bool stopRequested(const Control &control)
{
    return control.cancelled && control.cancelled();
}

void announce(const Control &control, int done, int total, const QString &key)
{
    if (control.progress)
        control.progress(done, total, key);
}

bool holds(const settings::Setting &setting, const std::optional<settings::Value> &value,
           const settings::Value &wanted)
{
    return value && settings::sameValue(setting, *value, wanted);
}

// The step of the write order (see writeOrder in the header).
int step(const settings::Setting &setting, const settings::Value &wanted)
{
    using settings::WriteStep;
    if (setting.writeStep != WriteStep::Outputs)
        return int(setting.writeStep);
    return wanted.toBool() ? int(WriteStep::RdmTraffic) + 1 : int(WriteStep::None);
}

int tableIndex(const settings::Setting *setting)
{
    return int(setting - settings::forFamily(setting->family).constData());
}

const QString keyAddress = QStringLiteral("dmx.address");
const QString keyPersonality = QStringLiteral("dmx.personality");

// A wanted row, or one read for the footing.
const Row *rowOf(const Plan &plan, const QString &key)
{
    for (const QVector<Row> *rows : {&plan.rows, &plan.footing}) {
        for (const Row &row : *rows) {
            if (row.setting->key == key)
                return &row;
        }
    }
    return nullptr;
}

Result *resultOf(Report &report, const QString &key)
{
    for (Result &result : report.rows) {
        if (result.setting->key == key)
            return &result;
    }
    return nullptr;
}

// Address before personality unless that leaves the unit listening past slot 512 in between;
// from one valid state to another, at least one of the two orders never does.
bool personalityFirst(const Plan &plan)
{
    const Row *address = rowOf(plan, keyAddress);
    const Row *personality = rowOf(plan, keyPersonality);
    if (!address || !personality)
        return false;
    const qlonglong addressNow =
        address->unit ? address->unit->toLongLong() : address->wanted.toLongLong();
    const settings::Value personalityNow =
        personality->unit ? *personality->unit : personality->wanted;
    const bool addressFirstFits =
        dmx::slotRefusal(plan.family, address->wanted.toLongLong(), personalityNow).isEmpty();
    const bool personalityFirstFits =
        dmx::slotRefusal(plan.family, addressNow, personality->wanted).isEmpty();
    return !addressFirstFits && personalityFirstFits;
}

} // namespace

Snapshot snapshot(Serial &serial, const QString &model, Family family, const QDateTime &saved,
                  const Control &control)
{
    Snapshot shot;
    shot.contents.model = model;
    shot.contents.family = family;
    shot.contents.identity.saved = settingsfile::timestamp(saved);
    const struct
    {
        const char *key;
        QString settingsfile::Identity::*field;
    } identity[] = {
        {"identity.uid", &settingsfile::Identity::uid},
        {"identity.software", &settingsfile::Identity::software},
        {"identity.boot", &settingsfile::Identity::boot},
    };
    QVector<const settings::Setting *> keys;
    for (const auto &part : identity)
        keys.append(settings::find(family, QLatin1String(part.key)));
    for (const settings::Setting &setting : settings::forFamily(family)) {
        if (!setting.isReadOnly())
            keys.append(&setting);
    }
    for (int i = 0; i < keys.size(); ++i) {
        const settings::Setting &setting = *keys.at(i);
        if (stopRequested(control)) {
            shot.cancelled = true;
            break;
        }
        announce(control, i, keys.size(), setting.key);
        const settings::Reading reading = settings::read(serial, setting);
        if (session::unitLost(serial)) {
            shot.lost = true;
            break;
        }
        if (!reading.value) {
            shot.noValue.append({setting.key, reading.words});
            continue;
        }
        if (i < int(std::size(identity)))
            shot.contents.identity.*identity[i].field = reading.value->toString();
        else
            shot.contents.settings.append({&setting, *reading.value});
    }
    return shot;
}

bool Row::differs() const
{
    return !holds(*setting, unit, wanted);
}

QStringList Plan::differing() const
{
    QStringList keys;
    for (const Row &row : rows) {
        if (row.differs())
            keys.append(row.setting->key);
    }
    return keys;
}

QStringList Plan::noValue() const
{
    QStringList keys;
    for (const Row &row : rows) {
        if (!row.unit)
            keys.append(row.setting->key);
    }
    return keys;
}

bool Plan::complete() const
{
    return !lost && !cancelled && noValue().isEmpty();
}

Plan plan(Serial &serial, Family family, const QVector<settingsfile::Entry> &wanted,
          const Control &control)
{
    Plan result;
    result.family = family;
    // The footing first: a loss there still falls on a wanted key for callers that name the
    // key after the rows read.
    const bool wantsAddress = std::any_of(wanted.begin(), wanted.end(), [](const auto &entry) {
        return entry.setting->key == keyAddress;
    });
    const bool wantsPersonality = std::any_of(wanted.begin(), wanted.end(), [](const auto &entry) {
        return entry.setting->key == keyPersonality;
    });
    if (settings::find(family, keyPersonality) && wantsAddress != wantsPersonality) {
        const settings::Setting *other =
            settings::find(family, wantsAddress ? keyPersonality : keyAddress);
        const settings::Reading reading = settings::read(serial, *other);
        if (session::unitLost(serial)) {
            result.lost = true;
            result.lostAt = other->key;
            return result;
        }
        result.footing.append(
            {other, reading.value.value_or(settings::Value()), reading.value, reading.words});
    }
    for (int i = 0; i < wanted.size(); ++i) {
        const settingsfile::Entry &entry = wanted.at(i);
        if (stopRequested(control)) {
            result.cancelled = true;
            break;
        }
        announce(control, i, wanted.size(), entry.setting->key);
        const settings::Reading reading = settings::read(serial, *entry.setting);
        if (session::unitLost(serial)) {
            result.lost = true;
            result.lostAt = entry.setting->key;
            break;
        }
        result.rows.append({entry.setting, entry.value, reading.value, reading.words});
    }
    return result;
}

QString statusName(Status status)
{
    switch (status) {
    case Status::Unchanged:
        return QStringLiteral("unchanged");
    case Status::Written:
        return QStringLiteral("written");
    case Status::Failed:
        return QStringLiteral("failed");
    case Status::Skipped:
        return QStringLiteral("skipped");
    case Status::NotWritten:
        return QStringLiteral("not written");
    case Status::NotVerified:
        return QStringLiteral("not verified");
    }
    return QString();
}

bool Report::allTaken() const
{
    if (lost || cancelled || !refused.isEmpty())
        return false;
    return std::all_of(rows.begin(), rows.end(), [](const Result &r) {
        return r.status == Status::Unchanged || r.status == Status::Written ||
               r.status == Status::Skipped;
    });
}

QStringList Report::withStatus(Status status) const
{
    QStringList keys;
    for (const Result &r : rows) {
        if (r.status == status)
            keys.append(r.setting->key);
    }
    return keys;
}

QStringList writeOrder(const Plan &plan, const QStringList &chosen)
{
    QStringList keys;
    for (const Row &row : plan.rows) {
        if (row.differs() && chosen.contains(row.setting->key))
            keys.append(row.setting->key);
    }
    return inWriteOrder(plan, keys);
}

QStringList inWriteOrder(const Plan &plan, const QStringList &chosen)
{
    QVector<const Row *> rows;
    for (const Row &row : plan.rows) {
        if (chosen.contains(row.setting->key))
            rows.append(&row);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row *a, const Row *b) {
        const int stepA = step(*a->setting, a->wanted), stepB = step(*b->setting, b->wanted);
        return stepA != stepB ? stepA < stepB : tableIndex(a->setting) < tableIndex(b->setting);
    });
    QStringList keys;
    for (const Row *row : rows)
        keys.append(row->setting->key);
    const int address = keys.indexOf(QStringLiteral("dmx.address"));
    const int personality = keys.indexOf(QStringLiteral("dmx.personality"));
    if (address >= 0 && personality >= 0 && (address < personality) == personalityFirst(plan))
        keys.swapItemsAt(address, personality);
    return keys;
}

QString slotRefusal(const Plan &plan, const QStringList &chosen)
{
    const Row *address = rowOf(plan, keyAddress);
    const Row *personality = rowOf(plan, keyPersonality);
    const auto written = [&chosen](const Row *row) {
        return row && row->differs() && chosen.contains(row->setting->key);
    };
    if (!written(address) && !written(personality))
        return QString();
    // Each as the unit will hold it: written, or as it is.
    const auto after = [&](const Row *row) -> std::optional<settings::Value> {
        if (!row)
            return std::nullopt;
        return written(row) ? row->wanted : row->unit;
    };
    const std::optional<settings::Value> start = after(address);
    const std::optional<settings::Value> width =
        settings::find(plan.family, keyPersonality) ? after(personality) : settings::Value();
    if (!start || !width)
        return QString(); // not read: the plan is incomplete, and nothing is written
    return dmx::slotRefusal(plan.family, start->toLongLong(), *width);
}

Report execute(Serial &serial, const Plan &plan, const QStringList &chosen, const Control &control)
{
    Report report;
    for (const Row &row : plan.rows) {
        Result result;
        result.setting = row.setting;
        result.wanted = row.wanted;
        result.before = row.unit;
        if (!row.differs())
            result.status = Status::Unchanged;
        else if (!chosen.contains(row.setting->key))
            result.status = Status::Skipped;
        report.rows.append(result);
    }
    const QStringList order = writeOrder(plan, chosen);
    for (const QString &key : order) {
        const Result *result = resultOf(report, key);
        const QString why = settings::refusal(*result->setting, result->wanted);
        if (!why.isEmpty()) {
            report.refused = key + QStringLiteral(": ") + why;
            return report;
        }
    }
    report.refused = slotRefusal(plan, chosen);
    if (!report.refused.isEmpty())
        return report;

    const int total = order.size() + report.rows.size();
    int done = 0;
    for (const QString &key : order) {
        Result &result = *resultOf(report, key);
        if (stopRequested(control)) {
            report.cancelled = true;
            break;
        }
        announce(control, done++, total, key);
        if (session::unitLost(serial)) {
            report.lost = true;
            report.lostAt = key;
            break;
        }
        const settings::WriteResult write = settings::write(serial, *result.setting, result.wanted);
        result.writeSent = true;
        report.written.append(key);
        if (session::unitLost(serial)) {
            result.status = Status::NotVerified;
            report.lost = true;
            report.lostAt = key;
            break;
        }
        result.after = write.after.value;
        result.afterWords = write.after.words;
        result.status =
            holds(*result.setting, result.after, result.wanted) ? Status::Written : Status::Failed;
    }
    if (report.lost || report.cancelled)
        return report;

    // The final read-back: a later write may have changed what an earlier one set.
    for (Result &result : report.rows) {
        if (stopRequested(control)) {
            report.cancelled = true;
            break;
        }
        announce(control, done++, total, result.setting->key);
        const settings::Reading reading = settings::read(serial, *result.setting);
        if (session::unitLost(serial)) {
            report.lost = true;
            report.lostAt = result.setting->key;
            break;
        }
        result.after = reading.value;
        result.afterWords = reading.words;
        if (holds(*result.setting, result.after, result.wanted))
            result.status = result.writeSent ? Status::Written : Status::Unchanged;
        else if (result.status != Status::Skipped)
            result.status = Status::Failed;
    }
    return report;
}

} // namespace settingsapply
