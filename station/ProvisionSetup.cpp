#include "station/ProvisionSetup.h"

#include "unit/DmxRules.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace provision {

namespace {

using dmx::lastSlot;
using dmx::lastUniverse;

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

// A template without a personality leaves the unit's own: none counts as 8-bit, the fewest.
int slotsOf(const ModelInfo &info, const std::optional<settings::Value> &personality)
{
    return dmx::footprint(info.family, personality.value_or(settings::Value(0)));
}

QString footprintTooSmall(const QString &model, int footprint, int listened)
{
    return QStringLiteral("--footprint %1=%2 is smaller than the %3 slots the unit listens on")
        .arg(model)
        .arg(footprint)
        .arg(listened);
}

} // namespace

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
    if (setup.universe && (*setup.universe < 1 || *setup.universe > lastUniverse))
        return QStringLiteral("--universe needs a number from 1 to %1").arg(lastUniverse);
    for (auto it = setup.footprints.begin(); it != setup.footprints.end(); ++it) {
        if (!catalogue::modelNumbers().contains(it.key())) {
            return QStringLiteral("--footprint: unknown model '%1' (one of %2)")
                .arg(it.key(), catalogue::modelList());
        }
        if (it.value() < 0 || it.value() > lastSlot)
            return QStringLiteral("--footprint %1 needs a number from 0 to %2")
                .arg(it.key())
                .arg(lastSlot);
        // A template without a personality leaves the unit's own, known only once it is read:
        // at 8-bit it takes the fewest.
        const ModelInfo &info = *catalogue::find(it.key());
        std::optional<settings::Value> personality;
        for (const Template &t : setup.templates) {
            const settingsfile::Entry *entry = t.contents.find(keyPersonality);
            if (t.contents.family == info.family && entry)
                personality = entry->value;
        }
        const int listened = slotsOf(info, personality);
        if (it.value() > 0 && it.value() < listened)
            return footprintTooSmall(it.key(), it.value(), listened);
    }
    if (setup.plan && (setup.startAddress || setup.labelPattern || setup.universe)) {
        return QStringLiteral("a plan gives each unit its address, universe and label: --plan "
                              "goes with none of --start-address, --universe and --label");
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

QMap<int, QStringList> identificationKeys(const Setup &setup)
{
    QMap<int, QStringList> extraKeys;
    for (const Template &t : setup.templates) {
        QStringList &keys = extraKeys[int(t.contents.family)];
        for (const QString &key : {keyLabel, keyUniverse, keyAddress, keyPersonality}) {
            const bool given =
                (key == keyUniverse && setup.universe) || (key == keyLabel && setup.labelPattern);
            if (!given && settings::find(t.contents.family, key) && !t.contents.find(key))
                keys.append(key);
        }
    }
    return extraKeys;
}

UnitPlanner::UnitPlanner(const Setup &setup, const LogHistory &history)
    : m_setup(setup), m_reserved(history.reserved), m_cursor(setup.startAddress.value_or(1)),
      m_passRows(history.passRows)
{
}

std::optional<QVector<settingsfile::Entry>> UnitPlanner::plan(const Identity &identity, Unit &unit,
                                                              QString *why)
{
    const Family family = identity.family;
    const auto t = std::find_if(m_setup.templates.begin(), m_setup.templates.end(),
                                [&](const Template &t) { return t.contents.family == family; });
    if (t == m_setup.templates.end()) {
        *why = QStringLiteral("no template for family %1").arg(catalogue::familyName(family));
        return std::nullopt;
    }
    unit.templatePath = t->path;
    unit.templateSha256 = t->sha256;
    const auto templateValue = [&](const QString &key) -> std::optional<settings::Value> {
        if (const settingsfile::Entry *entry = t->contents.find(key))
            return entry->value;
        if (identity.current.contains(key))
            return identity.current.value(key);
        return std::nullopt;
    };

    const ModelInfo &info = *catalogue::find(unit.model);
    // A receiver card takes no slot of a plan; it is provisioned from its template alone.
    if (m_setup.plan && info.channels > 0) {
        const QVector<patch::Slot> open = openSlots(unit);
        if (open.isEmpty()) {
            *why = patch::noSlotLeft(unit.model);
            return std::nullopt;
        }
        const patch::Slot &slot = open.first();
        unit.slotUuid = slot.uuid.toString(QUuid::WithoutBraces);
        unit.universe = slot.universe;
        unit.address = slot.address;
        unit.footprint = slot.footprint();
        unit.label = slot.label;
        unit.labelSet = true;
        unit.n = slot.unitNumber;
        const QString owner = unit.uid.trimmed().toUpper();
        m_reserved[unit.universe].append({unit.address, unit.lastAddress(), owner});
        m_planned.insert(owner, {unit.universe, unit.address});
        QVector<settingsfile::Entry> wanted;
        for (const settings::Setting &setting : settings::forFamily(family)) {
            if (setting.key == keyAddress)
                wanted.append({&setting, qlonglong(slot.address)});
            else if (setting.key == keyUniverse)
                wanted.append({&setting, qlonglong(slot.universe)});
            else if (setting.key == keyLabel)
                wanted.append({&setting, slot.label});
            else if (setting.key == keyPersonality)
                wanted.append(
                    {&setting, *settings::fromText(setting, slot.personality(), nullptr)});
            else if (const settingsfile::Entry *entry = t->contents.find(setting.key))
                wanted.append(*entry);
        }
        return wanted;
    }

    unit.universe = m_setup.universe ? *m_setup.universe
                                     : int(templateValue(keyUniverse).value_or(0).toLongLong());
    const int listened = slotsOf(info, templateValue(keyPersonality));
    unit.footprint = m_setup.footprints.value(unit.model, listened);
    if (unit.footprint > 0 && unit.footprint < listened) {
        *why = footprintTooSmall(unit.model, unit.footprint, listened);
        return std::nullopt;
    }
    const bool fromSequence = m_setup.startAddress && unit.footprint > 0;
    if (fromSequence) {
        const QString owner = unit.uid.trimmed().toUpper();
        std::optional<int> address;
        if (m_setup.again)
            address = ownRange(unit.universe, unit.footprint, owner);
        if (!address)
            address = allocate(unit.universe, unit.footprint, owner);
        if (!address) {
            *why = QStringLiteral("address range exhausted");
            return std::nullopt;
        }
        unit.address = *address;
        m_reserved[unit.universe].append({unit.address, unit.lastAddress(), owner});
    } else {
        unit.address = int(templateValue(keyAddress).value_or(0).toLongLong());
    }
    unit.n = m_passRows + ++m_numbered;
    if (m_setup.labelPattern) {
        unit.label =
            expandLabel(*m_setup.labelPattern, {unit.n, unit.address, unit.model, unit.uid});
        unit.labelSet = true;
    } else if (const auto label = templateValue(keyLabel)) {
        unit.label = label->toString();
        unit.labelSet = true;
    }

    QVector<settingsfile::Entry> wanted;
    for (const settings::Setting &setting : settings::forFamily(family)) {
        if (setting.key == keyAddress && fromSequence)
            wanted.append({&setting, qlonglong(unit.address)});
        else if (setting.key == keyUniverse && m_setup.universe)
            wanted.append({&setting, qlonglong(unit.universe)});
        else if (setting.key == keyLabel && m_setup.labelPattern)
            wanted.append({&setting, unit.label});
        else if (const settingsfile::Entry *entry = t->contents.find(setting.key))
            wanted.append(*entry);
    }
    return wanted;
}

bool UnitPlanner::slotTaken(const patch::Slot &slot, const QString &owner) const
{
    return overlap(slot.universe, slot.address, slot.lastAddress(), owner).has_value();
}

QVector<patch::Slot> UnitPlanner::openSlots(const Unit &unit) const
{
    QVector<patch::Slot> open;
    if (!m_setup.plan)
        return open;
    const patch::Plan &plan = *m_setup.plan;
    const QString owner = unit.uid.trimmed().toUpper();
    QSet<QUuid> taken;
    for (const patch::Slot &slot : plan.slotList) {
        if (slotTaken(slot, owner))
            taken.insert(slot.uuid);
    }
    // Provisioned again, a unit goes back to the planned slot its own PASS row shows, if free.
    const int channels = catalogue::find(unit.model)->channels;
    for (const patch::Slot &slot : m_setup.again ? plan.slotList : QVector<patch::Slot>()) {
        const bool fits =
            slot.model.isEmpty() ? slot.channels == channels : slot.model == unit.model;
        const QVector<Range> ranges = m_reserved.value(slot.universe);
        const bool mine = std::any_of(ranges.begin(), ranges.end(), [&](const Range &r) {
            return r.uid == owner && r.first == slot.address && r.last == slot.lastAddress();
        });
        if (fits && mine && !taken.contains(slot.uuid)) {
            open.append(slot);
            taken.insert(slot.uuid);
            break;
        }
    }
    for (int i; (i = plan.slotFor(unit.model, taken)) >= 0;) {
        open.append(plan.slotList.at(i));
        taken.insert(plan.slotList.at(i).uuid);
    }
    return open;
}

void UnitPlanner::unitFailed(const Unit &unit)
{
    const QString owner = unit.uid.trimmed().toUpper();
    if (!m_planned.contains(owner))
        return;
    const QPair<int, int> given = m_planned.take(owner);
    QVector<Range> &ranges = m_reserved[given.first];
    for (int i = ranges.size() - 1; i >= 0; --i) {
        if (ranges.at(i).uid == owner && ranges.at(i).first == given.second) {
            ranges.removeAt(i);
            return;
        }
    }
}

std::optional<int> UnitPlanner::overlap(int universe, int first, int last,
                                        const QString &owner) const
{
    const QVector<Range> ranges = m_reserved.value(universe);
    const auto taken = std::find_if(ranges.begin(), ranges.end(), [&](const Range &r) {
        return r.uid != owner && r.first <= last && first <= r.last;
    });
    return taken == ranges.end() ? std::nullopt : std::optional<int>(taken->last);
}

std::optional<int> UnitPlanner::ownRange(int universe, int footprint, const QString &owner) const
{
    const QVector<Range> ranges = m_reserved.value(universe);
    const auto mine = std::find_if(ranges.rbegin(), ranges.rend(),
                                   [&](const Range &r) { return r.uid == owner; });
    if (mine == ranges.rend())
        return std::nullopt;
    const int last = mine->first + footprint - 1;
    if (last > lastSlot || overlap(universe, mine->first, last, owner))
        return std::nullopt;
    return mine->first;
}

std::optional<int> UnitPlanner::allocate(int universe, int footprint, const QString &owner)
{
    int start = m_cursor;
    while (start + footprint - 1 <= lastSlot) {
        const int end = start + footprint - 1;
        const std::optional<int> taken = overlap(universe, start, end, owner);
        if (!taken) {
            m_cursor = end + 1;
            return start;
        }
        start = *taken + 1;
    }
    return std::nullopt;
}

} // namespace provision
