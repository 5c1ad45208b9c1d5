#include "patch/SceneExport.h"

#include "patch/Csv.h"
#include "patch/FixtureTypes.h"
#include "patch/Zip.h"
#include "unit/DmxRules.h"

#include "Version.h"

#include <QDateTime>
#include <QMap>
#include <QSaveFile>
#include <QSet>
#include <QXmlStreamWriter>

namespace patch {

namespace {

const QUuid layerNamespace(QStringLiteral("{c4e1a7d2-93b6-5f08-8e2c-41d7b05a9f36}"));
// Where a visualiser puts the fixtures before anyone moves them: a row per universe, in mm.
const int fixtureSpacing = 300, layerSpacing = 1000;

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

const gdtf::FixtureType *typeOf(const Slot &slot)
{
    return slot.model.isEmpty() ? gdtf::forChannels(slot.channels) : gdtf::forModel(slot.model);
}

int footprintOf(const Slot &slot, const gdtf::FixtureType &type)
{
    return slot.sixteenBit ? 2 * type.channels : type.channels;
}

QString slotName(const Slot &slot)
{
    return slot.label.isEmpty()
               ? QStringLiteral("universe %1 address %2").arg(slot.universe).arg(slot.address)
               : QLatin1Char('"') + slot.label + QLatin1Char('"');
}

// Empty when every slot can be written; else why the first that cannot.
QString refusal(const QVector<Slot> &slotList)
{
    QSet<QUuid> seen;
    seen.reserve(slotList.size());
    for (const Slot &slot : slotList) {
        const gdtf::FixtureType *type = typeOf(slot);
        if (!type)
            return QStringLiteral("%1: model %2 has no fixture type")
                .arg(slotName(slot), slot.model);
        if (slot.uuid.isNull())
            return QStringLiteral("%1 has no UUID").arg(slotName(slot));
        if (seen.contains(slot.uuid))
            return QStringLiteral("%1: UUID %2 is used twice")
                .arg(slotName(slot), uuidText(slot.uuid));
        seen.insert(slot.uuid);
        if (slot.universe < dmx::firstUniverse || slot.universe > dmx::lastUniverse ||
            slot.address < 1 || slot.address + footprintOf(slot, *type) - 1 > dmx::lastSlot)
            return QStringLiteral("%1 does not fit the DMX line (universe %2, address %3)")
                .arg(slotName(slot))
                .arg(slot.universe)
                .arg(slot.address);
    }
    return QString();
}

void writeFixture(QXmlStreamWriter &xml, const Slot &slot, int column, int row)
{
    const gdtf::FixtureType *type = typeOf(slot);
    xml.writeStartElement(QStringLiteral("Fixture"));
    xml.writeAttribute(QStringLiteral("uuid"), uuidText(slot.uuid));
    xml.writeAttribute(QStringLiteral("name"), slot.label);
    xml.writeTextElement(QStringLiteral("Matrix"), QStringLiteral("{1,0,0}{0,1,0}{0,0,1}{%1,%2,0}")
                                                       .arg(column * fixtureSpacing)
                                                       .arg(-row * layerSpacing));
    xml.writeTextElement(QStringLiteral("GDTFSpec"), type->fileName());
    xml.writeTextElement(QStringLiteral("GDTFMode"), gdtf::modeName(slot.sixteenBit));
    xml.writeTextElement(QStringLiteral("FixtureID"), slot.fixtureId);
    bool numeric = false;
    const int idNumber = slot.fixtureId.toInt(&numeric);
    if (numeric && idNumber >= 0)
        xml.writeTextElement(QStringLiteral("FixtureIDNumeric"), QString::number(idNumber));
    xml.writeTextElement(QStringLiteral("UnitNumber"), QString::number(slot.unitNumber));
    xml.writeStartElement(QStringLiteral("Addresses"));
    // Absolute, not "universe.address": the one form every importer reads the same way.
    xml.writeStartElement(QStringLiteral("Address"));
    xml.writeAttribute(QStringLiteral("break"), QStringLiteral("0"));
    xml.writeCharacters(QString::number(slot.absoluteAddress()));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
}

} // namespace

std::optional<QByteArray> sceneDescription(const QVector<Slot> &slotList, QString *why)
{
    *why = refusal(slotList);
    if (!why->isEmpty())
        return std::nullopt;
    QMap<int, QVector<int>> byUniverse;
    for (int i = 0; i < slotList.size(); ++i)
        byUniverse[slotList.at(i).universe].append(i);

    QByteArray out;
    out.reserve(slotList.size() * 480 + 1024);
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("GeneralSceneDescription"));
    xml.writeAttribute(QStringLiteral("verMajor"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("verMinor"), QStringLiteral("6"));
    xml.writeAttribute(QStringLiteral("provider"), QStringLiteral("Vantelo"));
    xml.writeAttribute(QStringLiteral("providerVersion"), QLatin1String(VANTELO_VERSION_TEXT));
    xml.writeStartElement(QStringLiteral("Scene"));
    xml.writeStartElement(QStringLiteral("Layers"));
    int row = 0;
    for (auto it = byUniverse.cbegin(); it != byUniverse.cend(); ++it, ++row) {
        const QString name = QStringLiteral("Universe %1").arg(it.key());
        xml.writeStartElement(QStringLiteral("Layer"));
        xml.writeAttribute(QStringLiteral("uuid"),
                           uuidText(QUuid::createUuidV5(layerNamespace, name)));
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeStartElement(QStringLiteral("ChildList"));
        int column = 0;
        for (int index : it.value())
            writeFixture(xml, slotList.at(index), column++, row);
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement(); // Layers
    xml.writeEndElement(); // Scene
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

std::optional<QByteArray> sceneArchive(const QVector<Slot> &slotList, QString *why)
{
    std::optional<QByteArray> description = sceneDescription(slotList, why);
    if (!description)
        return std::nullopt;
    QVector<zip::Entry> entries = {{QStringLiteral("GeneralSceneDescription.xml"), *description}};
    description.reset();
    for (const gdtf::FixtureType &type : gdtf::fixtureTypes()) {
        for (const Slot &slot : slotList) {
            if (typeOf(slot) == &type) {
                entries.append({type.fileName(), gdtf::archive(type)});
                break;
            }
        }
    }
    // The description is most of the file and shrinks to a tenth; importers read either form.
    return zip::write(entries, QDateTime::currentDateTime(), zip::Method::Deflated);
}

QStringList patchColumns()
{
    return {QStringLiteral("fixture_id"), QStringLiteral("label"),
            QStringLiteral("model"),      QStringLiteral("fixture_type"),
            QStringLiteral("mode"),       QStringLiteral("universe"),
            QStringLiteral("address"),    QStringLiteral("absolute_address"),
            QStringLiteral("footprint"),  QStringLiteral("rdm_uid"),
            QStringLiteral("template"),   QStringLiteral("time"),
            QStringLiteral("uuid")};
}

QByteArray patchCsv(const QVector<Slot> &slotList)
{
    QByteArray out = csv::line(patchColumns());
    for (const Slot &slot : slotList) {
        const gdtf::FixtureType *type = typeOf(slot);
        out += csv::line({slot.fixtureId, slot.label, slot.model, type ? type->name : QString(),
                          slot.personality(), QString::number(slot.universe),
                          QString::number(slot.address), QString::number(slot.absoluteAddress()),
                          QString::number(type ? footprintOf(slot, *type) : slot.footprint()),
                          slot.rdmUid, slot.templateName, slot.time, uuidText(slot.uuid)});
    }
    return out;
}

bool exportPatch(const QVector<Slot> &slotList, const QString &path, QString *why)
{
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return saveFile(path, patchCsv(slotList), why);
    if (!path.endsWith(QLatin1String(".mvr"), Qt::CaseInsensitive)) {
        *why = QStringLiteral("%1: the name must end in .mvr or .csv").arg(path);
        return false;
    }
    const std::optional<QByteArray> archive = sceneArchive(slotList, why);
    return archive && saveFile(path, *archive, why);
}

bool saveFile(const QString &path, const QByteArray &bytes, QString *why)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *why = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace patch
