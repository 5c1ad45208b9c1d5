#pragma once

#include "link/DeviceSession.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "server/PtyServer.h"

#include <memory>

namespace cli {

class Context;
struct Options;

struct Unit
{
    // Declared before the channel so that it outlives it.
    std::unique_ptr<sim::PtyServer> simulator;
    Serial serial;
    QString port;
    session::Result session;

    ~Unit() { serial.close(); }
    Family family() const { return session.info->family; }
};

// The system's ports of the maker, each unit once (a node and its by-id link are one unit).
QList<PortInfo> makerPorts();

// The port the options name (starting the simulated unit), else the one attached supported
// unit's; false, with the error in the context, when there is none to choose.
bool choosePort(const Options &options, Unit &unit, Context &context);
// Chooses the port and identifies the unit on it; false, with the error in the context, when it
// is no supported unit that answers.
bool connectUnit(const Options &options, Unit &unit, Context &context);
void unitLost(Context &context, const QString &key);

} // namespace cli
