#include "record/RecordMap.h"

#include "unit/DmxRules.h"

#include <QXmlStreamWriter>

#include <iterator>

namespace record {

namespace {

constexpr int columns = 32;
constexpr int rows = 16;
constexpr int cell = 28;
constexpr int margin = 4;
constexpr int rowNumbers = 28; // the first slot of each row, left of the grid
constexpr int titleHeight = 24;

// Light fills that black text reads on; neighbours in address order never share one.
const char *const palette[] = {"#8ecae6", "#ffb703", "#90be6d", "#f4a6a6", "#cdb4db",
                               "#f9c74f", "#a8dadc", "#e9c46a", "#b5e48c", "#ffcad4"};

QString heldText(const HeldSlot &slot)
{
    return slot.label.isEmpty() ? slot.uid : slot.label;
}

QString leaseLeft(const Reservation &reservation, qint64 nowMs)
{
    return QStringLiteral("%1 s left")
        .arg(qMax<qint64>(0, (reservation.leaseEndMs - nowMs) / 1000));
}

} // namespace

QVector<MapSpan> mapSpans(const UniverseMap &map)
{
    QVector<MapSpan> taken;
    for (int i = 0; i < map.held.size(); ++i) {
        const HeldSlot &slot = map.held.at(i);
        if (slot.footprint > 0)
            taken.append({slot.address, slot.address + slot.footprint - 1, MapSpan::Held, i});
    }
    for (int i = 0; i < map.reservations.size(); ++i) {
        const Reservation &r = map.reservations.at(i);
        taken.append({r.first, r.last, MapSpan::Reserved, i});
    }
    std::sort(taken.begin(), taken.end(),
              [](const MapSpan &a, const MapSpan &b) { return a.first < b.first; });
    QVector<MapSpan> spans;
    int next = 1;
    for (const MapSpan &span : taken) {
        if (span.first > next)
            spans.append({next, span.first - 1, MapSpan::Free, -1});
        spans.append(span);
        next = qMax(next, span.last + 1);
    }
    if (next <= dmx::lastSlot)
        spans.append({next, dmx::lastSlot, MapSpan::Free, -1});
    return spans;
}

QStringList mapText(const UniverseMap &map)
{
    const QVector<MapSpan> spans = mapSpans(map);
    int free = 0;
    for (const MapSpan &span : spans)
        free += span.kind == MapSpan::Free ? span.last - span.first + 1 : 0;
    QStringList lines = {QStringLiteral("universe %1: %2 units, %3 reservations, %4 slots free")
                             .arg(map.universe)
                             .arg(map.held.size())
                             .arg(map.reservations.size())
                             .arg(free)};
    for (const MapSpan &span : spans) {
        const QString range = QStringLiteral("%1-%2").arg(span.first).arg(span.last);
        QString what = QStringLiteral("free");
        if (span.kind == MapSpan::Held) {
            const HeldSlot &slot = map.held.at(span.index);
            what = QStringLiteral("%1  %2  %3").arg(slot.uid, slot.model, slot.label);
        } else if (span.kind == MapSpan::Reserved) {
            const Reservation &r = map.reservations.at(span.index);
            what = QStringLiteral("reserved by %1, %2").arg(r.station, leaseLeft(r, map.nowMs));
        }
        lines.append(range.leftJustified(9) + what.trimmed());
    }
    for (const HeldSlot &slot : map.held) {
        if (slot.footprint == 0) {
            lines.append(QStringLiteral("%1  %2  %3  %4 (takes no slots)")
                             .arg(QString::number(slot.address).leftJustified(7), slot.uid,
                                  slot.model, slot.label)
                             .trimmed());
        }
    }
    return lines;
}

QByteArray mapSvg(const UniverseMap &map)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("svg"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
    const int width = rowNumbers + columns * cell + 2 * margin;
    const int height = rows * cell + 2 * margin + titleHeight;
    xml.writeAttribute(QStringLiteral("width"), QString::number(width));
    xml.writeAttribute(QStringLiteral("height"), QString::number(height));
    xml.writeAttribute(QStringLiteral("viewBox"),
                       QStringLiteral("0 0 %1 %2").arg(width).arg(height));
    xml.writeAttribute(QStringLiteral("font-family"), QStringLiteral("sans-serif"));
    xml.writeStartElement(QStringLiteral("rect"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(width));
    xml.writeAttribute(QStringLiteral("height"), QString::number(height));
    xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#ffffff"));
    xml.writeEndElement();
    const QStringList text = mapText(map);
    xml.writeTextElement(QStringLiteral("title"), text.first());
    xml.writeStartElement(QStringLiteral("text"));
    xml.writeAttribute(QStringLiteral("x"), QString::number(margin));
    xml.writeAttribute(QStringLiteral("y"), QString::number(titleHeight - 8));
    xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("14"));
    xml.writeCharacters(text.first());
    xml.writeEndElement();

    const auto cellX = [](int slot) { return rowNumbers + margin + ((slot - 1) % columns) * cell; };
    const auto cellY = [](int slot) {
        return titleHeight + margin + ((slot - 1) / columns) * cell;
    };
    for (int slot = 1; slot <= dmx::lastSlot; slot += columns) {
        xml.writeStartElement(QStringLiteral("text"));
        xml.writeAttribute(QStringLiteral("x"), QString::number(rowNumbers));
        xml.writeAttribute(QStringLiteral("y"), QString::number(cellY(slot) + cell / 2 + 4));
        xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("10"));
        xml.writeAttribute(QStringLiteral("text-anchor"), QStringLiteral("end"));
        xml.writeCharacters(QString::number(slot));
        xml.writeEndElement();
    }
    for (int slot = 1; slot <= dmx::lastSlot; ++slot) {
        xml.writeStartElement(QStringLiteral("rect"));
        xml.writeAttribute(QStringLiteral("x"), QString::number(cellX(slot)));
        xml.writeAttribute(QStringLiteral("y"), QString::number(cellY(slot)));
        xml.writeAttribute(QStringLiteral("width"), QString::number(cell));
        xml.writeAttribute(QStringLiteral("height"), QString::number(cell));
        xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("#f4f4f4"));
        xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#d0d0d0"));
        xml.writeEndElement();
    }

    const QVector<MapSpan> spans = mapSpans(map);
    for (const MapSpan &span : spans) {
        if (span.kind == MapSpan::Free)
            continue;
        const bool held = span.kind == MapSpan::Held;
        const QString name =
            held ? heldText(map.held.at(span.index))
                 : QStringLiteral("reserved: %1").arg(map.reservations.at(span.index).station);
        const QString fill = held ? QString::fromLatin1(palette[span.index % std::size(palette)])
                                  : QStringLiteral("#bbbbbb");
        xml.writeStartElement(QStringLiteral("g"));
        xml.writeTextElement(
            QStringLiteral("title"),
            QStringLiteral("%1-%2 %3%4")
                .arg(span.first)
                .arg(span.last)
                .arg(held ? map.held.at(span.index).uid + QLatin1Char(' ') : QString(), name));
        // A range wraps over rows: one rectangle per row it touches.
        for (int start = span.first; start <= span.last;) {
            const int rowEnd = qMin(span.last, ((start - 1) / columns + 1) * columns);
            xml.writeStartElement(QStringLiteral("rect"));
            xml.writeAttribute(QStringLiteral("x"), QString::number(cellX(start) + 1));
            xml.writeAttribute(QStringLiteral("y"), QString::number(cellY(start) + 1));
            xml.writeAttribute(QStringLiteral("width"),
                               QString::number((rowEnd - start + 1) * cell - 2));
            xml.writeAttribute(QStringLiteral("height"), QString::number(cell - 2));
            xml.writeAttribute(QStringLiteral("fill"), fill);
            xml.writeAttribute(QStringLiteral("stroke"), QStringLiteral("#404040"));
            if (!held)
                xml.writeAttribute(QStringLiteral("stroke-dasharray"), QStringLiteral("3 2"));
            xml.writeEndElement();
            if (start == span.first) {
                const int chars = qMax(1, ((rowEnd - start + 1) * cell - 6) / 6);
                xml.writeStartElement(QStringLiteral("text"));
                xml.writeAttribute(QStringLiteral("x"), QString::number(cellX(start) + 3));
                xml.writeAttribute(QStringLiteral("y"),
                                   QString::number(cellY(start) + cell / 2 + 4));
                xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("10"));
                xml.writeCharacters(
                    name.size() > chars ? name.left(qMax(1, chars - 1)) + QChar(0x2026) : name);
                xml.writeEndElement();
            }
            start = rowEnd + 1;
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

} // namespace record
