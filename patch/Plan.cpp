#include "patch/Plan.h"

#include "patch/Csv.h"
#include "patch/FixtureTypes.h"
#include "patch/Zip.h"
#include "unit/DmxRules.h"
#include "unit/ModelCatalogue.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <numeric>

namespace patch {

namespace {

const ModelInfo *dimmerModel(const QString &number)
{
    for (const ModelInfo &model : catalogue::models()) {
        if (model.number == number && model.channels > 0)
            return &model;
    }
    return nullptr;
}

QString dimmerNumbers()
{
    QStringList numbers;
    for (const ModelInfo &model : catalogue::models()) {
        if (model.channels > 0)
            numbers.append(model.number);
    }
    return numbers.join(QStringLiteral(", "));
}

QString modelRefusal(const QString &number)
{
    if (isValidModel(number) && catalogue::find(number)->number == number)
        return QStringLiteral("model %1 takes no DMX slots").arg(number);
    return QStringLiteral("model '%1' is not one we make (%2)").arg(number, dimmerNumbers());
}

QString described(const Slot &slot, const QString &where)
{
    QString text = QStringLiteral("\"%1\" (universe %2, %3-%4)")
                       .arg(slot.label)
                       .arg(slot.universe)
                       .arg(slot.address)
                       .arg(slot.lastAddress());
    return where.isEmpty() ? text : where + QLatin1Char(' ') + text;
}

std::optional<int> number(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

// What a plan needs of a GDTF file: its identity and how many slots each mode takes.
struct TypeSummary
{
    QString name;
    QUuid id;
    QHash<QString, int> footprints; // mode -> slots on the first DMX break
};

TypeSummary summarise(const QByteArray &gdtfArchive)
{
    TypeSummary summary;
    QString why;
    const std::optional<QVector<zip::Entry>> entries = zip::read(gdtfArchive, &why);
    if (!entries)
        return summary;
    for (const zip::Entry &entry : *entries) {
        if (entry.name != QLatin1String("description.xml"))
            continue;
        QXmlStreamReader xml(entry.data);
        QString mode;
        int depth = 0, channelsDepth = -1;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement) {
                if (depth-- == channelsDepth)
                    channelsDepth = -1;
                continue;
            }
            if (token != QXmlStreamReader::StartElement)
                continue;
            ++depth;
            const QStringRef element = xml.name();
            const QXmlStreamAttributes attributes = xml.attributes();
            if (element == QLatin1String("FixtureType")) {
                summary.name = attributes.value(QLatin1String("Name")).toString();
                summary.id = QUuid(attributes.value(QLatin1String("FixtureTypeID")).toString());
            } else if (element == QLatin1String("DMXMode")) {
                mode = attributes.value(QLatin1String("Name")).toString();
                summary.footprints.insert(mode, 0);
            } else if (element == QLatin1String("DMXChannels")) {
                channelsDepth = depth;
            } else if (element == QLatin1String("DMXChannel") && depth == channelsDepth + 1) {
                const QStringRef offset = attributes.value(QLatin1String("Offset"));
                const QStringRef dmxBreak = attributes.value(QLatin1String("DMXBreak"));
                if (offset != QLatin1String("None") && !offset.isEmpty() &&
                    (dmxBreak.isEmpty() || dmxBreak == QLatin1String("1")))
                    summary.footprints[mode] += offset.count(QLatin1Char(',')) + 1;
            }
        }
    }
    return summary;
}

// A Fixture of the scene, as far as a plan needs it.
struct SceneFixture
{
    QString name;
    QString uuid;
    QString typeFile;
    QString mode;
    QString fixtureId;
    QString unitNumber;
    QString address; // of break 0: absolute, or "universe.address"
};

QVector<SceneFixture> sceneFixtures(const QByteArray &description, QString *why)
{
    QVector<SceneFixture> fixtures;
    QVector<int> open; // the fixtures being read, innermost last
    QXmlStreamReader xml(description);
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("Fixture")) {
            open.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringRef element = xml.name();
        if (element == QLatin1String("Fixture")) {
            open.append(fixtures.size());
            fixtures.append({xml.attributes().value(QLatin1String("name")).toString(),
                             xml.attributes().value(QLatin1String("uuid")).toString(),
                             {},
                             {},
                             {},
                             {},
                             {}});
            continue;
        }
        if (open.isEmpty())
            continue;
        SceneFixture &fixture = fixtures[open.last()];
        if (element == QLatin1String("GDTFSpec"))
            fixture.typeFile = xml.readElementText().trimmed();
        else if (element == QLatin1String("GDTFMode"))
            fixture.mode = xml.readElementText().trimmed();
        else if (element == QLatin1String("FixtureID"))
            fixture.fixtureId = xml.readElementText().trimmed();
        else if (element == QLatin1String("UnitNumber"))
            fixture.unitNumber = xml.readElementText().trimmed();
        else if (element == QLatin1String("Address") && fixture.address.isEmpty() &&
                 xml.attributes().value(QLatin1String("break")).toInt() == 0)
            fixture.address = xml.readElementText().trimmed();
    }
    if (xml.hasError())
        *why = QStringLiteral("GeneralSceneDescription.xml, line %1: %2")
                   .arg(xml.lineNumber())
                   .arg(xml.errorString());
    return fixtures;
}

// Universe and address from MVR's absolute form or its "universe.address" form.
bool placeSlot(const QString &text, Slot &slot)
{
    const int dot = text.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        const std::optional<int> universe =
            number(text.left(dot), dmx::firstUniverse, dmx::lastUniverse);
        const std::optional<int> address = number(text.mid(dot + 1), 1, dmx::lastSlot);
        if (!universe || !address)
            return false;
        slot.universe = *universe;
        slot.address = *address;
        return true;
    }
    const std::optional<int> absolute = number(text, 1, dmx::lastUniverse * dmx::lastSlot);
    if (!absolute)
        return false;
    slot.universe = (*absolute - 1) / dmx::lastSlot + 1;
    slot.address = (*absolute - 1) % dmx::lastSlot + 1;
    return true;
}

} // namespace

QString addMapping(const QString &word, TypeMap &map)
{
    const int at = word.lastIndexOf(QLatin1Char('='));
    const QString type = word.left(at).trimmed();
    const QString model = word.mid(at + 1).trimmed();
    if (at <= 0 || type.isEmpty())
        return QStringLiteral("--map needs \"TYPE NAME\"=MODEL");
    if (!dimmerModel(model))
        return QStringLiteral("--map %1: %2").arg(type, modelRefusal(model));
    if (map.contains(type))
        return QStringLiteral("--map %1 given twice").arg(type);
    map.insert(type, model);
    return QString();
}

int Plan::slotFor(const QString &model, const QSet<QUuid> &held) const
{
    const ModelInfo *info = dimmerModel(model);
    if (!info)
        return -1;
    for (int i = 0; i < slotList.size(); ++i) {
        const Slot &slot = slotList.at(i);
        const bool fits =
            slot.model.isEmpty() ? slot.channels == info->channels : slot.model == model;
        if (fits && !held.contains(slot.uuid))
            return i;
    }
    return -1;
}

QString noSlotLeft(const QString &model)
{
    return QStringLiteral("no planned slot left for %1").arg(model);
}

QString slotsRefusal(const QVector<Slot> &slotList, const QStringList &where)
{
    const auto name = [&](int i) { return described(slotList.at(i), where.value(i)); };
    QHash<QUuid, int> uuids;
    uuids.reserve(slotList.size());
    for (int i = 0; i < slotList.size(); ++i) {
        const Slot &slot = slotList.at(i);
        if (slot.lastAddress() > dmx::lastSlot)
            return QStringLiteral("%1 runs past %2").arg(name(i)).arg(dmx::lastSlot);
        const auto seen = uuids.constFind(slot.uuid);
        if (seen != uuids.cend())
            return QStringLiteral("%1 and %2 have the same UUID").arg(name(*seen), name(i));
        uuids.insert(slot.uuid, i);
    }
    QVector<int> order(slotList.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const Slot &x = slotList.at(a), &y = slotList.at(b);
        return x.universe != y.universe ? x.universe < y.universe : x.address < y.address;
    });
    // The slot reaching furthest so far on this universe: any later start at or before its end
    // overlaps it.
    int reach = -1;
    for (int i : order) {
        const Slot &slot = slotList.at(i);
        if (reach >= 0 && slotList.at(reach).universe == slot.universe &&
            slot.address <= slotList.at(reach).lastAddress())
            return QStringLiteral("%1 and %2 overlap").arg(name(reach), name(i));
        if (reach < 0 || slotList.at(reach).universe != slot.universe ||
            slot.lastAddress() > slotList.at(reach).lastAddress())
            reach = i;
    }
    return QString();
}

namespace {

std::optional<Plan> csvPlan(const QByteArray &text, QString *why)
{
    const std::optional<QVector<QStringList>> records = csv::parse(text, why);
    if (!records)
        return std::nullopt;
    if (records->isEmpty()) {
        *why = QStringLiteral("the plan is empty");
        return std::nullopt;
    }
    QHash<QString, int> column;
    const QStringList &header = records->first();
    for (int i = 0; i < header.size(); ++i)
        column.insert(header.at(i).trimmed().toLower(), i);
    // A patch exported by us names the personality as consoles do, its mode; so that it reads
    // back as a plan of the same slots, the mode stands in for a missing personality column.
    if (!column.contains(QStringLiteral("personality")) && column.contains(QStringLiteral("mode")))
        column.insert(QStringLiteral("personality"), column.value(QStringLiteral("mode")));
    for (const char *required : {"label", "model", "universe", "address", "personality"}) {
        if (!column.contains(QLatin1String(required))) {
            *why = QStringLiteral("the plan's first row has no column '%1'").arg(required);
            return std::nullopt;
        }
    }
    Plan plan;
    QStringList where;
    for (int r = 1; r < records->size(); ++r) {
        const QStringList &record = records->at(r);
        const auto field = [&](const char *name) {
            return record.value(column.value(QLatin1String(name), -1)).trimmed();
        };
        const QString row = QStringLiteral("row %1").arg(r + 1);
        const auto refuse = [&](const QString &reason) {
            *why = row + QStringLiteral(": ") + reason;
            return std::nullopt;
        };
        Slot slot;
        slot.label = record.value(column.value(QStringLiteral("label")));
        slot.fixtureId = field("fixture_id");
        slot.model = field("model");
        const ModelInfo *model = dimmerModel(slot.model);
        if (!model)
            return refuse(modelRefusal(slot.model));
        slot.channels = model->channels;
        const std::optional<int> universe =
            number(field("universe"), dmx::firstUniverse, dmx::lastUniverse);
        const std::optional<int> address = number(field("address"), 1, dmx::lastSlot);
        const std::optional<bool> sixteenBit = sixteenBitFromName(field("personality"));
        if (!universe)
            return refuse(QStringLiteral("universe '%1' is not %2-%3")
                              .arg(field("universe"))
                              .arg(dmx::firstUniverse)
                              .arg(dmx::lastUniverse));
        if (!address)
            return refuse(QStringLiteral("address '%1' is not 1-%2")
                              .arg(field("address"))
                              .arg(dmx::lastSlot));
        if (!sixteenBit) {
            return refuse(QStringLiteral("personality '%1' is not 8-bit or 16-bit")
                              .arg(field("personality")));
        }
        slot.universe = *universe;
        slot.address = *address;
        slot.sixteenBit = *sixteenBit;
        const QString uuid = field("uuid");
        slot.uuid = uuid.isEmpty() ? slotUuid(slot.universe, slot.address) : QUuid(uuid);
        if (slot.uuid.isNull())
            return refuse(QStringLiteral("uuid '%1' is not a UUID").arg(uuid));
        slot.unitNumber = plan.slotList.size() + 1;
        plan.slotList.append(slot);
        where.append(row);
    }
    *why = slotsRefusal(plan.slotList, where);
    if (!why->isEmpty())
        return std::nullopt;
    return plan;
}

std::optional<Plan> mvrPlan(const QByteArray &archive, const TypeMap &map, QString *why)
{
    const std::optional<QVector<zip::Entry>> entries = zip::read(archive, why);
    if (!entries)
        return std::nullopt;
    QHash<QString, QByteArray> files;
    for (const zip::Entry &entry : *entries)
        files.insert(entry.name, entry.data);
    if (!files.contains(QStringLiteral("GeneralSceneDescription.xml"))) {
        *why = QStringLiteral("no GeneralSceneDescription.xml: not an MVR file");
        return std::nullopt;
    }
    why->clear();
    const QVector<SceneFixture> fixtures =
        sceneFixtures(files.value(QStringLiteral("GeneralSceneDescription.xml")), why);
    if (!why->isEmpty())
        return std::nullopt;

    QHash<QString, TypeSummary> types;
    Plan plan;
    QStringList where;
    for (const SceneFixture &fixture : fixtures) {
        QString typeFile = fixture.typeFile;
        if (!typeFile.isEmpty() && !typeFile.endsWith(QLatin1String(".gdtf"), Qt::CaseInsensitive))
            typeFile += QStringLiteral(".gdtf");
        if (!types.contains(typeFile))
            types.insert(typeFile, summarise(files.value(typeFile)));
        const TypeSummary &type = types[typeFile];
        const auto refuse = [&](const QString &reason) {
            *why = QStringLiteral("fixture \"%1\": %2").arg(fixture.name, reason);
            return std::nullopt;
        };
        Slot slot;
        slot.label = fixture.name;
        slot.fixtureId = fixture.fixtureId;
        slot.unitNumber = fixture.unitNumber.toInt();
        if (const gdtf::FixtureType *ours = gdtf::forId(type.id)) {
            slot.channels = ours->channels;
            const std::optional<bool> sixteenBit = sixteenBitFromName(fixture.mode);
            if (!sixteenBit)
                return refuse(QStringLiteral("mode '%1' is not 8-bit or 16-bit").arg(fixture.mode));
            slot.sixteenBit = *sixteenBit;
        } else if (map.contains(type.name)) {
            // A foreign type stands for the mapped model's channel count; its mode's slot count
            // says the personality.
            const ModelInfo *model = dimmerModel(map.value(type.name));
            slot.channels = model->channels;
            const int footprint = type.footprints.value(fixture.mode);
            if (footprint != slot.channels && footprint != 2 * slot.channels) {
                return refuse(
                    QStringLiteral("mode '%1' of %2 takes %3 slotList; a %4 takes %5 or %6")
                        .arg(fixture.mode, type.name)
                        .arg(footprint)
                        .arg(model->number)
                        .arg(slot.channels)
                        .arg(2 * slot.channels));
            }
            slot.sixteenBit = footprint == 2 * slot.channels;
        } else {
            ++plan.ignored;
            const QString name = type.name.isEmpty() ? typeFile : type.name;
            if (!plan.ignoredTypes.contains(name))
                plan.ignoredTypes.append(name);
            continue;
        }
        if (!placeSlot(fixture.address, slot))
            return refuse(QStringLiteral("no DMX address ('%1')").arg(fixture.address));
        slot.uuid = QUuid(fixture.uuid);
        if (slot.uuid.isNull())
            return refuse(QStringLiteral("uuid '%1' is not a UUID").arg(fixture.uuid));
        plan.slotList.append(slot);
        where.append(QStringLiteral("fixture"));
    }
    *why = slotsRefusal(plan.slotList, where);
    if (!why->isEmpty())
        return std::nullopt;
    return plan;
}

// A refusal is one line of the log, whatever line breaks the plan's own text brought in.
std::optional<Plan> oneLineWhy(std::optional<Plan> plan, QString *why)
{
    if (!plan)
        why->replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
    return plan;
}

} // namespace

std::optional<Plan> readCsvPlan(const QByteArray &text, QString *why)
{
    return oneLineWhy(csvPlan(text, why), why);
}

std::optional<Plan> readMvrPlan(const QByteArray &archive, const TypeMap &map, QString *why)
{
    return oneLineWhy(mvrPlan(archive, map, why), why);
}

std::optional<Plan> readPlan(const QString &path, const TypeMap &map, QString *why)
{
    const bool mvr = path.endsWith(QLatin1String(".mvr"), Qt::CaseInsensitive);
    if (!mvr && !path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        *why = QStringLiteral("%1: a plan's name ends in .csv or .mvr").arg(path);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    std::optional<Plan> plan = mvr ? readMvrPlan(bytes, map, why) : readCsvPlan(bytes, why);
    if (!plan)
        *why = path + QStringLiteral(": ") + *why;
    return plan;
}

} // namespace patch
