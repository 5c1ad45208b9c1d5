#include "patch/FixtureTypes.h"

#include "unit/ModelCatalogue.h"
#include "patch/Zip.h"

#include "Version.h"

#include <QXmlStreamWriter>

#include <map>

namespace gdtf {

namespace {

// Fixed for good: every FixtureTypeID is derived from it and the type's name.
const QUuid typeNamespace(QStringLiteral("{8d2f6c1e-4b7a-5e39-a0d4-7c15f3b9e260}"));

// When what description() writes last changed; move it with every change to the writer, so a
// console's library sees a new revision.
const char descriptionRevised[] = "2026-12-07T04:00:00";

const char attributeName[] = "Dimmer";
const char identity[] = "{1,0,0,0}{0,1,0,0}{0,0,1,0}{0,0,0,1}";
// Body and output sizes in metres, for a visualiser's box; no drawing of the unit is shipped.
const double bodyLength = 0.25, bodyWidth = 0.12, bodyHeight = 0.05, outputSize = 0.02;

QVector<FixtureType> buildTypes()
{
    std::map<int, FixtureType> byChannels;
    for (const ModelInfo &model : catalogue::models()) {
        if (model.channels <= 0)
            continue;
        FixtureType &type = byChannels[model.channels];
        if (type.models.isEmpty()) {
            const QString family = catalogue::familyName(model.family);
            type.name = model.name.section(QLatin1Char(' '), 0, 0) + QLatin1Char(' ') + family;
            type.shortName = family;
            type.longName = model.name;
            type.channels = model.channels;
            type.id =
                QUuid::createUuidV5(typeNamespace, manufacturer() + QLatin1Char(' ') + type.name);
        }
        type.models.append(model.number);
    }
    QVector<FixtureType> types;
    for (auto it = byChannels.rbegin(); it != byChannels.rend(); ++it)
        types.append(it->second);
    return types;
}

QString outputName(int channel)
{
    return QStringLiteral("Output %1").arg(channel);
}

QString dmxValue(int value, int bytes)
{
    return QStringLiteral("%1/%2").arg(value).arg(bytes);
}

void writeModel(QXmlStreamWriter &xml, const QString &name, double length, double width,
                double height)
{
    xml.writeEmptyElement(QStringLiteral("Model"));
    xml.writeAttribute(QStringLiteral("Name"), name);
    xml.writeAttribute(QStringLiteral("Length"), QString::number(length));
    xml.writeAttribute(QStringLiteral("Width"), QString::number(width));
    xml.writeAttribute(QStringLiteral("Height"), QString::number(height));
    xml.writeAttribute(QStringLiteral("PrimitiveType"), QStringLiteral("Cube"));
}

void writeAttributeDefinitions(QXmlStreamWriter &xml)
{
    xml.writeStartElement(QStringLiteral("AttributeDefinitions"));
    xml.writeEmptyElement(QStringLiteral("ActivationGroups"));
    xml.writeStartElement(QStringLiteral("FeatureGroups"));
    xml.writeStartElement(QStringLiteral("FeatureGroup"));
    xml.writeAttribute(QStringLiteral("Name"), QLatin1String(attributeName));
    xml.writeAttribute(QStringLiteral("Pretty"), QLatin1String(attributeName));
    xml.writeEmptyElement(QStringLiteral("Feature"));
    xml.writeAttribute(QStringLiteral("Name"), QLatin1String(attributeName));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("Attributes"));
    xml.writeEmptyElement(QStringLiteral("Attribute"));
    xml.writeAttribute(QStringLiteral("Name"), QLatin1String(attributeName));
    xml.writeAttribute(QStringLiteral("Pretty"), QStringLiteral("Dim"));
    xml.writeAttribute(QStringLiteral("Feature"), QStringLiteral("Dimmer.Dimmer"));
    xml.writeAttribute(QStringLiteral("PhysicalUnit"), QStringLiteral("LuminousIntensity"));
    xml.writeEndElement();
    xml.writeEndElement();
}

void writeGeometries(QXmlStreamWriter &xml, const FixtureType &type)
{
    xml.writeStartElement(QStringLiteral("Geometries"));
    xml.writeStartElement(QStringLiteral("Geometry"));
    xml.writeAttribute(QStringLiteral("Name"), QStringLiteral("Body"));
    xml.writeAttribute(QStringLiteral("Model"), QStringLiteral("Body"));
    xml.writeAttribute(QStringLiteral("Position"), QLatin1String(identity));
    for (int channel = 1; channel <= type.channels; ++channel) {
        // The outputs sit in a row along the front of the body.
        const double x = bodyLength * (channel - 0.5) / type.channels - bodyLength / 2;
        xml.writeEmptyElement(QStringLiteral("Geometry"));
        xml.writeAttribute(QStringLiteral("Name"), outputName(channel));
        xml.writeAttribute(QStringLiteral("Model"), QStringLiteral("Output"));
        xml.writeAttribute(
            QStringLiteral("Position"),
            QStringLiteral("{1,0,0,%1}{0,1,0,%2}{0,0,1,0}{0,0,0,1}").arg(x).arg(bodyWidth / 2));
    }
    xml.writeEndElement();
    xml.writeEndElement();
}

// One DMX channel per output: its name, which GDTF derives as "geometry_attribute", is what the
// InitialFunction refers to, so each output has a geometry of its own.
void writeMode(QXmlStreamWriter &xml, const FixtureType &type, bool sixteenBit)
{
    const int bytes = sixteenBit ? 2 : 1;
    xml.writeStartElement(QStringLiteral("DMXMode"));
    xml.writeAttribute(QStringLiteral("Name"), modeName(sixteenBit));
    xml.writeAttribute(QStringLiteral("Description"),
                       sixteenBit ? QStringLiteral("Two slots per output, coarse then fine")
                                  : QStringLiteral("One slot per output"));
    xml.writeAttribute(QStringLiteral("Geometry"), QStringLiteral("Body"));
    xml.writeStartElement(QStringLiteral("DMXChannels"));
    for (int channel = 1; channel <= type.channels; ++channel) {
        QStringList offsets;
        for (int byte = 0; byte < bytes; ++byte)
            offsets.append(QString::number((channel - 1) * bytes + byte + 1));
        const QString geometry = outputName(channel);
        xml.writeStartElement(QStringLiteral("DMXChannel"));
        xml.writeAttribute(QStringLiteral("DMXBreak"), QStringLiteral("1"));
        xml.writeAttribute(QStringLiteral("Offset"), offsets.join(QLatin1Char(',')));
        xml.writeAttribute(QStringLiteral("InitialFunction"),
                           QStringLiteral("%1_%2.%2.%2").arg(geometry, attributeName));
        xml.writeAttribute(QStringLiteral("Highlight"), QStringLiteral("None"));
        xml.writeAttribute(QStringLiteral("Geometry"), geometry);
        xml.writeStartElement(QStringLiteral("LogicalChannel"));
        xml.writeAttribute(QStringLiteral("Attribute"), QLatin1String(attributeName));
        xml.writeAttribute(QStringLiteral("Snap"), QStringLiteral("No"));
        xml.writeAttribute(QStringLiteral("Master"), QStringLiteral("Grand"));
        xml.writeAttribute(QStringLiteral("MibFade"), QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("DMXChangeTimeLimit"), QStringLiteral("0"));
        xml.writeEmptyElement(QStringLiteral("ChannelFunction"));
        xml.writeAttribute(QStringLiteral("Name"), QLatin1String(attributeName));
        xml.writeAttribute(QStringLiteral("Attribute"), QLatin1String(attributeName));
        xml.writeAttribute(QStringLiteral("OriginalAttribute"), QString());
        xml.writeAttribute(QStringLiteral("DMXFrom"), dmxValue(0, bytes));
        xml.writeAttribute(QStringLiteral("Default"), dmxValue(0, bytes));
        xml.writeAttribute(QStringLiteral("PhysicalFrom"), QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("PhysicalTo"), QStringLiteral("1"));
        xml.writeAttribute(QStringLiteral("RealFade"), QStringLiteral("0"));
        xml.writeAttribute(QStringLiteral("RealAcceleration"), QStringLiteral("0"));
        xml.writeEndElement(); // LogicalChannel
        xml.writeEndElement(); // DMXChannel
    }
    xml.writeEndElement(); // DMXChannels
    xml.writeEmptyElement(QStringLiteral("Relations"));
    xml.writeEmptyElement(QStringLiteral("FTMacros"));
    xml.writeEndElement();
}

} // namespace

QString FixtureType::idText() const
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QString FixtureType::fileName() const
{
    QString file = manufacturer() + QLatin1Char('@') + name + QStringLiteral(".gdtf");
    return file.replace(QLatin1Char(' '), QLatin1Char('_'));
}

QString manufacturer()
{
    return QStringLiteral("Korvane");
}

const QVector<FixtureType> &fixtureTypes()
{
    static const QVector<FixtureType> types = buildTypes();
    return types;
}

const FixtureType *forChannels(int channels)
{
    for (const FixtureType &type : fixtureTypes()) {
        if (type.channels == channels)
            return &type;
    }
    return nullptr;
}

const FixtureType *forModel(const QString &model)
{
    for (const FixtureType &type : fixtureTypes()) {
        if (type.models.contains(model))
            return &type;
    }
    return nullptr;
}

const FixtureType *forId(const QUuid &id)
{
    for (const FixtureType &type : fixtureTypes()) {
        if (type.id == id)
            return &type;
    }
    return nullptr;
}

QString modeName(bool sixteenBit)
{
    return sixteenBit ? QStringLiteral("16-bit") : QStringLiteral("8-bit");
}

QByteArray description(const FixtureType &type)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("GDTF"));
    xml.writeAttribute(QStringLiteral("DataVersion"), QStringLiteral("1.2"));
    xml.writeStartElement(QStringLiteral("FixtureType"));
    xml.writeAttribute(QStringLiteral("Name"), type.name);
    xml.writeAttribute(QStringLiteral("ShortName"), type.shortName);
    xml.writeAttribute(QStringLiteral("LongName"), type.longName);
    xml.writeAttribute(QStringLiteral("Manufacturer"), manufacturer());
    xml.writeAttribute(QStringLiteral("Description"),
                       QStringLiteral("%1-channel LED dimmer, models %2")
                           .arg(type.channels)
                           .arg(type.models.join(QStringLiteral(" and "))));
    xml.writeAttribute(QStringLiteral("FixtureTypeID"), type.idText());
    xml.writeAttribute(QStringLiteral("CanHaveChildren"), QStringLiteral("No"));

    writeAttributeDefinitions(xml);
    xml.writeEmptyElement(QStringLiteral("Wheels"));
    xml.writeEmptyElement(QStringLiteral("PhysicalDescriptions"));
    xml.writeStartElement(QStringLiteral("Models"));
    writeModel(xml, QStringLiteral("Body"), bodyLength, bodyWidth, bodyHeight);
    writeModel(xml, QStringLiteral("Output"), outputSize, outputSize, outputSize);
    xml.writeEndElement();
    writeGeometries(xml, type);
    xml.writeStartElement(QStringLiteral("DMXModes"));
    writeMode(xml, type, false);
    writeMode(xml, type, true);
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("Revisions"));
    xml.writeEmptyElement(QStringLiteral("Revision"));
    xml.writeAttribute(QStringLiteral("Text"),
                       QStringLiteral("Generated from the model catalogue"));
    xml.writeAttribute(QStringLiteral("Date"), QLatin1String(descriptionRevised));
    xml.writeAttribute(QStringLiteral("UserID"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("ModifiedBy"),
                       QStringLiteral("Vantelo %1").arg(QLatin1String(VANTELO_VERSION_TEXT)));
    xml.writeEndElement();
    xml.writeEmptyElement(QStringLiteral("FTPresets"));
    xml.writeEmptyElement(QStringLiteral("Protocols"));
    xml.writeEndElement(); // FixtureType
    xml.writeEndElement(); // GDTF
    xml.writeEndDocument();
    return out;
}

QByteArray archive(const FixtureType &type)
{
    return zip::write({{QStringLiteral("description.xml"), description(type)}},
                      QDateTime::fromString(QLatin1String(descriptionRevised), Qt::ISODate));
}

} // namespace gdtf
