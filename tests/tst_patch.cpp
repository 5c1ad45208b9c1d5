// GDTF fixture types, MVR and CSV patches, and plans: the files parse, hold the rules importers
// rely on that no schema checks, and plans give the station the slots the designer drew.
#include "cli/Cli.h"
#include "patch/FixtureTypes.h"
#include "patch/Plan.h"
#include "patch/SceneExport.h"
#include "patch/Zip.h"
#include "support/HeldRecord.h"
#include "unit/ModelCatalogue.h"

#include "Version.h"

#include <QDomDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using patch::Slot;

namespace {

Slot slot(const char *label, const char *model, bool sixteenBit, int universe, int address,
          const char *uuid)
{
    Slot s;
    s.label = QLatin1String(label);
    s.model = QLatin1String(model);
    s.channels = getModelChannels(s.model);
    s.sixteenBit = sixteenBit;
    s.universe = universe;
    s.address = address;
    s.uuid = QUuid(QLatin1String(uuid));
    s.fixtureId = QString::number(100 + address);
    s.unitNumber = address;
    return s;
}

// Mixed models and personalities over two universes.
QVector<Slot> rig()
{
    return {slot("Truss 1", "7146", true, 1, 1, "6f1d2b7a-0c4e-4b8a-9d3e-1a2b3c4d5e01"),
            slot("Truss 2", "7126", false, 1, 11, "6f1d2b7a-0c4e-4b8a-9d3e-1a2b3c4d5e02"),
            slot("Truss 4, left", "7147", false, 3, 15, "6f1d2b7a-0c4e-4b8a-9d3e-1a2b3c4d5e03"),
            slot("Floor \"A\"", "7127", true, 3, 20, "6f1d2b7a-0c4e-4b8a-9d3e-1a2b3c4d5e04")};
}

QDomDocument parsed(const QByteArray &xml)
{
    QDomDocument document;
    QString error;
    int line = 0;
    if (!document.setContent(xml, &error, &line))
        qWarning("XML does not parse, line %d: %s", line, qPrintable(error));
    return document;
}

QVector<QDomElement> elements(const QDomDocument &document, const QString &tag)
{
    QVector<QDomElement> found;
    const QDomNodeList list = document.elementsByTagName(tag);
    for (int i = 0; i < list.size(); ++i)
        found.append(list.at(i).toElement());
    return found;
}

QVector<QDomElement> everyElement(const QDomDocument &document)
{
    QVector<QDomElement> found;
    QVector<QDomElement> open = {document.documentElement()};
    while (!open.isEmpty()) {
        found.append(open.takeLast());
        for (QDomElement child = found.last().firstChildElement(); !child.isNull();
             child = child.nextSiblingElement())
            open.append(child);
    }
    return found;
}

QMap<QString, QByteArray> archiveFiles(const QByteArray &archive)
{
    QString why;
    QMap<QString, QByteArray> files;
    const auto entries = zip::read(archive, &why);
    if (!entries)
        qWarning("archive unreadable: %s", qPrintable(why));
    for (const zip::Entry &entry : entries.value_or(QVector<zip::Entry>()))
        files.insert(entry.name, entry.data);
    return files;
}

// The rules importers rely on that a schema cannot say. Each returns the first breach, or "".
enum Rule
{
    ChannelPerGeometryAndAttribute,
    NamesWithoutDotOrComma,
    DmxValuesWithBytes,
    DefaultOnChannelFunction,
    DateTimeWithTime,
    UuidsUniqueNotNil,
    FilesAtRoot,
};

QString breach(Rule rule, const QDomDocument &document, const QStringList &archiveNames)
{
    switch (rule) {
    case ChannelPerGeometryAndAttribute:
        for (const QDomElement &mode : elements(document, QStringLiteral("DMXMode"))) {
            QSet<QString> seen;
            const QDomNodeList channels = mode.elementsByTagName(QStringLiteral("DMXChannel"));
            for (int i = 0; i < channels.size(); ++i) {
                const QDomElement channel = channels.at(i).toElement();
                const QString key = channel.attribute(QStringLiteral("Geometry")) +
                                    QLatin1Char('_') +
                                    channel.firstChildElement(QStringLiteral("LogicalChannel"))
                                        .attribute(QStringLiteral("Attribute"));
                if (seen.contains(key))
                    return mode.attribute(QStringLiteral("Name")) + QStringLiteral(": ") + key;
                seen.insert(key);
            }
        }
        return QString();
    case NamesWithoutDotOrComma:
        for (const QDomElement &element : everyElement(document)) {
            const QString name = element.attribute(QStringLiteral("Name"));
            if (name.contains(QLatin1Char('.')) || name.contains(QLatin1Char(',')))
                return name;
        }
        return QString();
    case DmxValuesWithBytes: {
        static const QRegularExpression value(QStringLiteral("^\\d+/[1-4]$"));
        for (const QDomElement &element : everyElement(document)) {
            for (const char *name : {"DMXFrom", "Default", "Highlight"}) {
                const QString text = element.attribute(QLatin1String(name), QStringLiteral("0/1"));
                if (text != QLatin1String("None") && !value.match(text).hasMatch())
                    return QStringLiteral("%1=\"%2\"").arg(name, text);
            }
        }
        return QString();
    }
    case DefaultOnChannelFunction:
        for (const QDomElement &element : elements(document, QStringLiteral("DMXChannel"))) {
            if (element.hasAttribute(QStringLiteral("Default")))
                return QStringLiteral("a DMXChannel has Default");
        }
        for (const QDomElement &element : elements(document, QStringLiteral("ChannelFunction"))) {
            if (!element.hasAttribute(QStringLiteral("Default")))
                return QStringLiteral("a ChannelFunction has no Default");
        }
        return QString();
    case DateTimeWithTime:
        for (const QDomElement &element : elements(document, QStringLiteral("Revision"))) {
            const QString date = element.attribute(QStringLiteral("Date"));
            if (!QDateTime::fromString(date, Qt::ISODate).isValid() ||
                !date.contains(QRegularExpression(QStringLiteral("T\\d\\d:\\d\\d:\\d\\d"))))
                return date;
        }
        return QString();
    case UuidsUniqueNotNil: {
        QSet<QUuid> seen;
        for (const QDomElement &element : everyElement(document)) {
            for (const char *name : {"uuid", "FixtureTypeID"}) {
                if (!element.hasAttribute(QLatin1String(name)))
                    continue;
                const QUuid uuid(element.attribute(QLatin1String(name)));
                if (uuid.isNull() || seen.contains(uuid))
                    return element.attribute(QLatin1String(name));
                seen.insert(uuid);
            }
        }
        return QString();
    }
    case FilesAtRoot:
        for (const QString &name : archiveNames) {
            if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
                return name;
        }
        for (const QDomElement &typeRef : elements(document, QStringLiteral("GDTFSpec"))) {
            if (!archiveNames.contains(typeRef.text()))
                return typeRef.text();
        }
        return QString();
    }
    return QStringLiteral("unknown rule");
}

QByteArray firstReplaced(QByteArray text, const QString &pattern, const QString &replacement)
{
    const QRegularExpressionMatch match =
        QRegularExpression(pattern).match(QString::fromUtf8(text));
    if (!match.hasMatch())
        return text;
    const QByteArray before = QString::fromUtf8(text).left(match.capturedStart()).toUtf8();
    return text.replace(before.size(), match.captured().toUtf8().size(), replacement.toUtf8());
}

// A scene from another tool: a foreign 2-channel type in two modes, and a moving light no map
// names.
QByteArray foreignScene()
{
    const QByteArray dimmer = R"(<GDTF DataVersion="1.2"><FixtureType Name="Generic Dimmer 2ch"
        FixtureTypeID="11111111-2222-4333-8444-555555555555"><DMXModes>
        <DMXMode Name="Standard"><DMXChannels><DMXChannel Offset="1"/><DMXChannel Offset="2"/>
        </DMXChannels></DMXMode><DMXMode Name="Fine"><DMXChannels><DMXChannel Offset="1,2"/>
        <DMXChannel Offset="3,4"/></DMXChannels></DMXMode></DMXModes></FixtureType></GDTF>)";
    const QByteArray spot = R"(<GDTF DataVersion="1.2"><FixtureType Name="Spot 300"
        FixtureTypeID="99999999-2222-4333-8444-555555555555"/></GDTF>)";
    const QByteArray scene = R"(<GeneralSceneDescription verMajor="1" verMinor="6"><Scene>
        <Layers><Layer name="L" uuid="0a000000-0000-4000-8000-000000000001"><ChildList>
        <Fixture name="Spot" uuid="0a000000-0000-4000-8000-000000000002">
          <GDTFSpec>Spot</GDTFSpec><GDTFMode>Basic</GDTFMode>
          <Addresses><Address break="0">1</Address></Addresses></Fixture>
        <Fixture name="Side 1" uuid="0a000000-0000-4000-8000-000000000003">
          <GDTFSpec>Dim.gdtf</GDTFSpec><GDTFMode>Fine</GDTFMode><FixtureID>7</FixtureID>
          <Addresses><Address break="0">2.100</Address></Addresses></Fixture>
        <Fixture name="Side 2" uuid="0a000000-0000-4000-8000-000000000004">
          <GDTFSpec>Dim.gdtf</GDTFSpec><GDTFMode>Standard</GDTFMode>
          <Addresses><Address break="0">1025</Address></Addresses></Fixture>
        </ChildList></Layer></Layers></Scene></GeneralSceneDescription>)";
    const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 6));
    return zip::write({{QStringLiteral("GeneralSceneDescription.xml"), scene},
                       {QStringLiteral("Dim.gdtf"),
                        zip::write({{QStringLiteral("description.xml"), dimmer}}, when)},
                       {QStringLiteral("Spot.gdtf"),
                        zip::write({{QStringLiteral("description.xml"), spot}}, when)}},
                      when, zip::Method::Deflated);
}

} // namespace

class TestPatch : public QObject
{
    Q_OBJECT

private slots:
    void fixtureType_data();
    void fixtureType();
    void exchangeRule_data();
    void exchangeRule();
    void scene_describesEverySlot();
    void writerRefuses_data();
    void writerRefuses();
    void planRefused_data();
    void planRefused();
    void slotFor_data();
    void slotFor();
    void roundTrip_data();
    void roundTrip();
    void archiveDamage_data();
    void archiveDamage();
    void gdtfCommand_data();
    void gdtfCommand();
    void exportCommand_data();
    void exportCommand();
};

void TestPatch::fixtureType_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("channels");
    // The ids are pinned: consoles know our types by them, so they may never change.
    QTest::newRow("5-channel dimmer -> 714x type, pinned id")
        << "7147"
        << "38EDBE15-C331-5B31-A04F-0022B8A84A99" << 5;
    QTest::newRow("2-channel dimmer -> 712x type, pinned id")
        << "7126"
        << "DE9BCB42-E5EF-59E5-A937-B089CBA055E9" << 2;
}

void TestPatch::fixtureType()
{
    QFETCH(QString, model);
    QFETCH(QString, id);
    QFETCH(int, channels);
    const gdtf::FixtureType *type = gdtf::forModel(model);
    QVERIFY(type);
    QCOMPARE(archiveFiles(gdtf::archive(*type)).keys(), QStringList{"description.xml"});
    const QDomDocument document =
        parsed(archiveFiles(gdtf::archive(*type)).value("description.xml"));
    const QDomElement fixtureType = elements(document, "FixtureType").value(0);
    QCOMPARE(fixtureType.attribute("Manufacturer"), QStringLiteral("Korvane"));
    QCOMPARE(fixtureType.attribute("FixtureTypeID"), id);
    QCOMPARE(elements(document, "Geometry").value(0).childNodes().size(), channels);

    const QVector<QDomElement> modes = elements(document, "DMXMode");
    QCOMPARE(modes.size(), 2);
    for (const QDomElement &mode : modes) {
        const int bytes = mode.attribute("Name") == QLatin1String("16-bit") ? 2 : 1;
        QStringList offsets, expected;
        const QDomNodeList list = mode.elementsByTagName("DMXChannel");
        for (int i = 0; i < list.size(); ++i) {
            offsets.append(list.at(i).toElement().attribute("Offset"));
            expected.append(bytes == 1 ? QString::number(i + 1)
                                       : QStringLiteral("%1,%2").arg(2 * i + 1).arg(2 * i + 2));
            QCOMPARE(list.at(i).firstChildElement().attribute("Attribute"),
                     QStringLiteral("Dimmer"));
        }
        QCOMPARE(offsets, expected);
        QCOMPARE(offsets.size(), channels);
    }
    QVERIFY(!gdtf::forModel(QStringLiteral("7185")));
}

void TestPatch::exchangeRule_data()
{
    QTest::addColumn<int>("rule");
    QTest::addColumn<bool>("scene");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("replacement");
    // Each row: the rule holds on what we write, and a copy broken the way a slip in the writer
    // would break it is caught.
    QTest::newRow("no two channels of a mode on one geometry and attribute")
        << int(ChannelPerGeometryAndAttribute) << false << "Geometry=\"Output 2\""
        << "Geometry=\"Output 1\"";
    QTest::newRow("names hold no dot or comma")
        << int(NamesWithoutDotOrComma) << false << "Name=\"Output 1\""
        << "Name=\"Output.1\"";
    QTest::newRow("DMX values are n/bytes") << int(DmxValuesWithBytes) << false << "DMXFrom=\"0/1\""
                                            << "DMXFrom=\"0\"";
    QTest::newRow("Default on the channel function, not the DMX channel")
        << int(DefaultOnChannelFunction) << false << "<DMXChannel "
        << "<DMXChannel Default=\"0/1\" ";
    QTest::newRow("revision date has a time part")
        << int(DateTimeWithTime) << false << "(Date=\"[0-9-]+)T[0-9:]+"
        << "Date=\"2026-12-07";
    QTest::newRow("fixture type id is not nil")
        << int(UuidsUniqueNotNil) << false << "FixtureTypeID=\"[^\"]+\""
        << "FixtureTypeID=\"00000000-0000-0000-0000-000000000000\"";
    QTest::newRow("scene uuids never nil") << int(UuidsUniqueNotNil) << true << "uuid=\"[^\"]+\""
                                           << "uuid=\"00000000-0000-0000-0000-000000000000\"";
    QTest::newRow("scene uuids unique")
        << int(UuidsUniqueNotNil) << true << "6F1D2B7A-0C4E-4B8A-9D3E-1A2B3C4D5E02"
        << "6F1D2B7A-0C4E-4B8A-9D3E-1A2B3C4D5E01";
    QTest::newRow("every file at the root, every type inside")
        << int(FilesAtRoot) << true << "<GDTFSpec>"
        << "<GDTFSpec>types/";
}

void TestPatch::exchangeRule()
{
    QFETCH(int, rule);
    QFETCH(bool, scene);
    QFETCH(QString, pattern);
    QFETCH(QString, replacement);
    QString why;
    const QByteArray archive = scene ? patch::sceneArchive(rig(), &why).value_or(QByteArray())
                                     : gdtf::archive(*gdtf::forChannels(5));
    QVERIFY2(!archive.isEmpty(), qPrintable(why));
    const QMap<QString, QByteArray> files = archiveFiles(archive);
    const QByteArray xml = files.value(scene ? "GeneralSceneDescription.xml" : "description.xml");
    const QDomDocument document = parsed(xml);
    QVERIFY(!document.isNull());
    QCOMPARE(breach(Rule(rule), document, files.keys()), QString());
    if (!scene) {
        // The other type holds the rule as well.
        const QByteArray other = gdtf::description(*gdtf::forChannels(2));
        QCOMPARE(breach(Rule(rule), parsed(other), {}), QString());
    }

    const QByteArray broken = firstReplaced(xml, pattern, replacement);
    QVERIFY(broken != xml);
    QVERIFY(!breach(Rule(rule), parsed(broken), files.keys()).isEmpty());
}

void TestPatch::scene_describesEverySlot()
{
    QString why;
    const QMap<QString, QByteArray> files =
        archiveFiles(patch::sceneArchive(rig(), &why).value_or(QByteArray()));
    const QDomDocument document = parsed(files.value("GeneralSceneDescription.xml"));
    const QDomElement root = document.documentElement();
    QCOMPARE(root.attribute("verMajor") + "." + root.attribute("verMinor"), QStringLiteral("1.6"));
    QCOMPARE(root.attribute("provider"), QStringLiteral("Vantelo"));
    QCOMPARE(root.attribute("providerVersion"), QStringLiteral(VANTELO_VERSION_TEXT));
    QCOMPARE(elements(document, "Layer").size(), 2);
    // Only the types the rig uses travel with it: both here.
    QCOMPARE(files.size(), 3);

    const QVector<QDomElement> fixtures = elements(document, "Fixture");
    QCOMPARE(fixtures.size(), rig().size());
    for (const Slot &s : rig()) {
        const auto it = std::find_if(fixtures.begin(), fixtures.end(), [&](const QDomElement &f) {
            return QUuid(f.attribute("uuid")) == s.uuid;
        });
        QVERIFY(it != fixtures.end());
        const QDomElement &f = *it;
        QCOMPARE(f.attribute("name"), s.label);
        QCOMPARE(f.firstChildElement("FixtureID").text(), s.fixtureId);
        QCOMPARE(f.firstChildElement("UnitNumber").text().toInt(), s.unitNumber);
        QCOMPARE(f.firstChildElement("GDTFSpec").text(), gdtf::forModel(s.model)->fileName());
        QCOMPARE(f.firstChildElement("GDTFMode").text(), s.personality());
        const QDomElement address = f.firstChildElement("Addresses").firstChildElement("Address");
        QCOMPARE(address.attribute("break"), QStringLiteral("0"));
        QCOMPARE(address.text().toInt(), (s.universe - 1) * 512 + s.address);
        QCOMPARE(f.parentNode().parentNode().toElement().attribute("name"),
                 QStringLiteral("Universe %1").arg(s.universe));
    }
}

void TestPatch::writerRefuses_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("reason");
    QTest::newRow("nil UUID -> refused") << 1 << "7126"
                                         << "" << 11 << "no UUID";
    QTest::newRow("repeated UUID -> refused")
        << 1 << "7126"
        << "6f1d2b7a-0c4e-4b8a-9d3e-1a2b3c4d5e01" << 11 << "used twice";
    QTest::newRow("receiver card -> refused") << 0 << "7185"
                                              << "" << 1 << "no fixture type";
    QTest::newRow("past 512 -> refused") << 0 << "7146"
                                         << "" << 504 << "does not fit";
}

void TestPatch::writerRefuses()
{
    QFETCH(int, index);
    QFETCH(QString, model);
    QFETCH(QString, uuid);
    QFETCH(int, address);
    QFETCH(QString, reason);
    QVector<Slot> list = rig();
    list[index].model = model;
    list[index].address = address;
    if (index == 1)
        list[index].uuid = QUuid(uuid);
    QTemporaryDir dir;
    const QString path = dir.filePath("rig.mvr");
    QString why;
    QVERIFY(!patch::exportPatch(list, path, &why));
    QVERIFY2(why.contains(reason), qPrintable(why));
    QVERIFY(!QFile::exists(path));
}

void TestPatch::planRefused_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QString>("reason");
    const QByteArray header = "label,model,universe,address,personality\n";
    QTest::newRow("overlap -> both fixtures named")
        << header + "A,7146,1,1,16-bit\nB,7126,2,1,8-bit\nC,7126,1,10,8-bit\n"
        << "row 2 \"A\" (universe 1, 1-10) and row 4 \"C\" (universe 1, 10-11) overlap";
    QTest::newRow("past 512 -> fixture named")
        << header + "A,7146,1,1,8-bit\n\"Far, end\",7146,1,505,16-bit\n"
        << "row 3 \"Far, end\" (universe 1, 505-514) runs past 512";
    QTest::newRow("a model we do not make -> row named")
        << header + "A,7146,1,1,8-bit\nB,7199,1,20,8-bit\n"
        << "row 3: model '7199' is not one";
    QTest::newRow("a receiver card -> row named") << header + "A,7185,1,1,8-bit\n"
                                                  << "row 2: model 7185 takes no DMX slots";
    QTest::newRow("personality not in the settings words") << header + "A,7146,1,1,16bit\n"
                                                           << "personality '16bit'";
    QTest::newRow("a column missing")
        << QByteArray("label,model,universe,address\n") << "no column 'personality'";
    QTest::newRow("a quote left open") << header + "\"A,7146,1,1,8-bit\n"
                                       << "not closed";
    QTest::newRow("one UUID twice")
        << QByteArray("label,model,universe,address,personality,uuid\n"
                      "A,7146,1,1,8-bit,0a000000-0000-4000-8000-000000000009\n"
                      "B,7146,1,6,8-bit,0a000000-0000-4000-8000-000000000009\n")
        << "have the same UUID";
}

void TestPatch::planRefused()
{
    QFETCH(QByteArray, csv);
    QFETCH(QString, reason);
    QString why;
    QVERIFY(!patch::readCsvPlan(csv, &why));
    QVERIFY2(why.contains(reason), qPrintable(why));
}

void TestPatch::slotFor_data()
{
    QTest::addColumn<QByteArray>("plan"); // CSV, or "foreign" for the foreign scene
    QTest::addColumn<QStringList>("arrivals");
    QTest::addColumn<QStringList>("taken"); // label, or the failure
    const QByteArray mixed = "fixture_id,label,model,universe,address,personality\n"
                             "1,A,7146,1,1,16-bit\n2,B,7126,1,11,8-bit\n"
                             "3,C,7146,2,1,8-bit\n4,D,7127,2,6,16-bit\n";
    QTest::newRow("mixed models: each takes its own model's slots in plan order")
        << mixed << QStringList{"7126", "7146", "7127", "7146"} << QStringList{"B", "A", "D", "C"};
    QTest::newRow("a unit with no slot left fails")
        << mixed << QStringList{"7146", "7146", "7146", "7147"}
        << QStringList{"A", "C", "no planned slot left for 7146", "no planned slot left for 7147"};
    QTest::newRow("mapped foreign type: by channel count, the mode's slots say 16-bit")
        << QByteArray("foreign") << QStringList{"7127", "7126", "7146", "7127"}
        << QStringList{"Side 1 16-bit 2/100", "Side 2 8-bit 3/1", "no planned slot left for 7146",
                       "no planned slot left for 7127"};
}

void TestPatch::slotFor()
{
    QFETCH(QByteArray, plan);
    QFETCH(QStringList, arrivals);
    QFETCH(QStringList, taken);
    QString why;
    patch::TypeMap map;
    QCOMPARE(patch::addMapping(QStringLiteral("Generic Dimmer 2ch=7126"), map), QString());
    const std::optional<patch::Plan> read = plan == "foreign"
                                                ? patch::readMvrPlan(foreignScene(), map, &why)
                                                : patch::readCsvPlan(plan, &why);
    QVERIFY2(read, qPrintable(why));
    if (plan == "foreign") {
        QCOMPARE(read->ignored, 1);
        QCOMPARE(read->ignoredTypes, QStringList{"Spot 300"});
    }
    QSet<QUuid> held;
    QStringList got;
    for (const QString &model : arrivals) {
        const int at = read->slotFor(model, held);
        if (at < 0) {
            got.append(patch::noSlotLeft(model));
            continue;
        }
        const Slot &s = read->slotList.at(at);
        held.insert(s.uuid);
        got.append(plan == "foreign" ? QStringLiteral("%1 %2 %3/%4")
                                           .arg(s.label, s.personality())
                                           .arg(s.universe)
                                           .arg(s.address)
                                     : s.label);
    }
    QCOMPARE(got, taken);
}

void TestPatch::roundTrip_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("MVR export read as a plan -> same slots") << "rig.mvr";
    QTest::newRow("CSV export read as a plan -> same slots") << "rig.csv";
}

void TestPatch::roundTrip()
{
    QFETCH(QString, file);
    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    QString why;
    QVERIFY2(patch::exportPatch(rig(), path, &why), qPrintable(why));
    const std::optional<patch::Plan> plan = patch::readPlan(path, {}, &why);
    QVERIFY2(plan, qPrintable(why));
    QCOMPARE(plan->slotList.size(), rig().size());
    const bool mvr = file.endsWith(".mvr");
    for (const Slot &s : rig()) {
        const auto it = std::find_if(plan->slotList.begin(), plan->slotList.end(),
                                     [&](const Slot &p) { return p.uuid == s.uuid; });
        QVERIFY(it != plan->slotList.end());
        const QStringList expected = {s.label,
                                      s.fixtureId,
                                      mvr ? QString() : s.model,
                                      QString::number(s.channels),
                                      s.personality(),
                                      QString::number(s.universe),
                                      QString::number(s.address)};
        QCOMPARE((QStringList{it->label, it->fixtureId, it->model, QString::number(it->channels),
                              it->personality(), QString::number(it->universe),
                              QString::number(it->address)}),
                 expected);
    }
}

void TestPatch::archiveDamage_data()
{
    QTest::addColumn<int>("offset"); // from the end; 0: cut in half
    QTest::addColumn<QString>("reason");
    QTest::newRow("a flipped byte in a member -> checksum refused") << 200 << "checksum";
    QTest::newRow("cut short -> no archive") << 0 << "not a zip archive";
}

void TestPatch::archiveDamage()
{
    QFETCH(int, offset);
    QFETCH(QString, reason);
    QByteArray archive = zip::write({{"a.xml", QByteArray(400, 'a')}, {"b.xml", "<b/>"}},
                                    QDateTime::currentDateTime(), zip::Method::Stored);
    QString why;
    QVERIFY(zip::read(archive, &why));
    if (offset > 0)
        archive[archive.size() - offset] = 'b';
    else
        archive.truncate(archive.size() / 2);
    QVERIFY(!zip::read(archive, &why));
    QVERIFY2(why.contains(reason), qPrintable(why));
}

void TestPatch::gdtfCommand_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("code");
    QTest::newRow("dimmer model -> its type written") << QStringList{"gdtf", "7127"} << 0;
    QTest::newRow("receiver card -> usage error") << QStringList{"gdtf", "7186"} << 2;
    QTest::newRow("unwritable file -> exit 4")
        << QStringList{"gdtf", "7146", "--out", "/nonexistent/x.gdtf"} << 4;
}

void TestPatch::gdtfCommand()
{
    QFETCH(QStringList, words);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString path = dir.filePath("type.gdtf");
    if (!words.contains("--out"))
        words << "--out" << path;
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    QCOMPARE(cli::run(words, out, err), code);
    QFile file(path);
    QCOMPARE(file.open(QIODevice::ReadOnly), code == 0);
    if (code == 0) {
        const QDomDocument document = parsed(archiveFiles(file.readAll()).value("description.xml"));
        QCOMPARE(elements(document, "FixtureType").value(0).attribute("FixtureTypeID"),
                 gdtf::forModel(words.at(1))->idText());
    }
}

void TestPatch::exportCommand_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("code");
    // "label #fixture id @absolute address mode", in the file's order.
    QTest::addColumn<QStringList>("fixtures");
    const QStringList all = {"Truss 1 #1 @1 16-bit", "Truss 2 #2 @11 8-bit",
                             "Floor #3 @1044 16-bit"};
    QTest::newRow("MVR: record's UUIDs, absolute addresses, modes; no card")
        << QStringList() << "rig.mvr" << 0 << all;
    QTest::newRow("CSV read back as a plan -> the same slots")
        << QStringList() << "rig.csv" << 0 << all;
    QTest::newRow("--universe -> only its slots")
        << QStringList{"--universe", "3"} << "rig.CSV" << 0 << QStringList{"Floor #1 @1044 16-bit"};
    QTest::newRow("--universe twice -> both, the card left out")
        << QStringList{"--universe", "1", "--universe", "2"} << "rig.mvr" << 0
        << QStringList(all.mid(0, 2));
    QTest::newRow("only a receiver card -> exit 3, no file")
        << QStringList{"--universe", "2"} << "rig.mvr" << 3 << QStringList();
    QTest::newRow("neither .mvr nor .csv -> exit 2")
        << QStringList() << "rig.txt" << 2 << QStringList();
    QTest::newRow("a record without tables -> exit 4")
        << QStringList{"--record", "empty.db"} << "rig.csv" << 4 << QStringList();
}

void TestPatch::exportCommand()
{
    QFETCH(QStringList, words);
    QFETCH(QString, file);
    QFETCH(int, code);
    QFETCH(QStringList, fixtures);
    QTemporaryDir dir;
    QHash<QString, QString> uuids;
    const QString url = heldRecord(dir, uuids);
    if (words.contains("--record"))
        words.last() = dir.filePath(words.last());
    QVector<QStringList> uuidLists;
    for (const QString &name : {file, "again-" + file}) {
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        QCOMPARE(
            cli::run(QStringList{"export", "--record", url, "--out", dir.filePath(name)} + words,
                     out, err),
            code);
        QString why;
        const auto plan = patch::readPlan(dir.filePath(name), {}, &why);
        QCOMPARE(bool(plan), code == 0);
        if (!plan)
            return;
        QStringList seen, uuidList;
        for (const Slot &s : plan->slotList) {
            seen << QStringLiteral("%1 #%2 @%3 %4")
                        .arg(s.label, s.fixtureId)
                        .arg(s.absoluteAddress())
                        .arg(s.personality());
            uuidList << s.uuid.toString(QUuid::WithoutBraces).toUpper();
            QCOMPARE(uuidList.last(), uuids.value(s.label));
        }
        QCOMPARE(seen, fixtures);
        uuidLists << uuidList;
        if (!file.endsWith(".mvr"))
            continue;
        // Absolute, as the strictest importers want it, not universe.address.
        QFile archive(dir.filePath(name));
        QVERIFY(archive.open(QIODevice::ReadOnly));
        const QDomDocument scene =
            parsed(archiveFiles(archive.readAll()).value("GeneralSceneDescription.xml"));
        QStringList addresses;
        for (const QDomElement &address : elements(scene, "Address"))
            addresses << address.text();
        QStringList absolute = fixtures;
        absolute.replaceInStrings(QRegularExpression(".*@(\\d+) .*"), "\\1");
        QCOMPARE(addresses, absolute);
    }
    QCOMPARE(uuidLists.first(), uuidLists.last());
}

QTEST_GUILESS_MAIN(TestPatch)
#include "tst_patch.moc"
