#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVector>

// The fixture types (GDTF) of our dimmers, generated from the model catalogue: one per channel
// count, since the models of a count differ only in hardware a console never sees. Each has two
// DMX modes, "8-bit" (a slot per output channel) and "16-bit" (coarse then fine per channel).
namespace gdtf {

struct FixtureType
{
    QString name;      // "Glimmerline 714x": no '.' or ',', which GDTF keeps for its references
    QString shortName; // the family, "714x"
    QString longName;  // the catalogue's name, which may hold them
    QStringList models;
    int channels = 0;
    // Derived from the name and never changed: a console recognises the type by it, across
    // versions of this program and of the file.
    QUuid id;

    QString idText() const;   // upper case, without braces, as GDTF writes a GUID
    QString fileName() const; // "Korvane@Glimmerline_714x.gdtf"
};

QString manufacturer(); // "Korvane"

const QVector<FixtureType> &fixtureTypes();
const FixtureType *forChannels(int channels);
// The type of a catalogue model number (exactly, "7146"); none for a receiver card or an unknown
// number.
const FixtureType *forModel(const QString &model);
const FixtureType *forId(const QUuid &id);

QString modeName(bool sixteenBit); // "8-bit", "16-bit"

// description.xml, and the .gdtf archive that holds it at its root.
QByteArray description(const FixtureType &type);
QByteArray archive(const FixtureType &type);

} // namespace gdtf
