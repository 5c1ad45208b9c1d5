#pragma once

#include "record/Record.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A universe's 512 slots as a person reads them: who holds which range, what is reserved, what
// is free.
namespace record {

struct MapSpan
{
    enum Kind
    {
        Held,
        Reserved,
        Free,
    };
    int first = 0;
    int last = 0;
    Kind kind = Free;
    int index = -1; // into the map's held slots or reservations
};

// Every slot 1-512 in exactly one span, in address order. Units that take no slots have none.
QVector<MapSpan> mapSpans(const UniverseMap &map);
// One line a span, under a line that sums the universe up.
QStringList mapText(const UniverseMap &map);
// The universe as a 32 x 16 grid of slots with each range drawn and labelled.
QByteArray mapSvg(const UniverseMap &map);

} // namespace record
