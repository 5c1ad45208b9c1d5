#pragma once

#include "patch/Slot.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The rig as the console and the plotting tools take it: an MVR scene with our fixture types
// inside, or the CSV patch for a paper list or a spreadsheet.
namespace patch {

// The scene's GeneralSceneDescription.xml: a layer per universe (in ascending order), in each a
// fixture per slot (in the given order), addressed absolutely. None, with why, when a slot cannot
// be written: a model without a fixture type, a nil or repeated UUID, an address off the line.
std::optional<QByteArray> sceneDescription(const QVector<Slot> &slotList, QString *why);
// The .mvr archive: the description and the .gdtf of every type it uses, all at the root.
std::optional<QByteArray> sceneArchive(const QVector<Slot> &slotList, QString *why);

// The CSV patch's first line; a plan reads the same columns back.
QStringList patchColumns();
QByteArray patchCsv(const QVector<Slot> &slotList);

// Writes the slots to path as its extension says (.mvr or .csv, in any case); the previous file
// stays whole until the new one is complete. False, with why, otherwise.
bool exportPatch(const QVector<Slot> &slotList, const QString &path, QString *why);

// The bytes to path through QSaveFile; false, with why ("cannot write PATH: ...").
bool saveFile(const QString &path, const QByteArray &bytes, QString *why);

} // namespace patch
