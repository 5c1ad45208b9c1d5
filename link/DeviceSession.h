#pragma once

#include "link/Serial.h"
#include "unit/ModelCatalogue.h"

#include <QString>

#include <functional>

// Getting from a port name to a unit that answers in its family's terms: open the port (which
// drains what the device said before), ask for the model, check it against the catalogue and
// set the family prompt; then whether it is still there. The port page and every tool that talks
// to a unit without the window start here.
namespace session {

// Busy from the channel becomes NoPermission here when this user may not open the node.
using OpenResult = Serial::OpenResult;

enum class Outcome
{
    Ready,       // a supported model answered; the prompt is set
    NotOpened,   // see the open result
    Silent,      // nothing came back
    NoModel,     // an answer without a model in it
    Unsupported, // a model the catalogue does not hold
};

struct Result
{
    OpenResult open = OpenResult::Failed;
    Outcome outcome = Outcome::NotOpened;
    // As the unit reported it; empty when it named none.
    QString model;
    // The catalogue's row; null unless Ready.
    const ModelInfo *info = nullptr;

    bool ready() const { return outcome == Outcome::Ready; }
};

OpenResult open(Serial &serial, const QString &portName);
// Asks the open channel's unit for its model (the settings table's identity.model query) and
// looks it up in the catalogue; a supported model sets the family prompt. silentReads: how many
// 100 ms silences end the wait for the answer. The result's open is Opened unless the channel
// was closed.
Result identify(Serial &serial, int silentReads = 1);
// Opens and identifies. On failure the port is left as it stands (the port page reopens it on
// the next Connect; tools close it).
Result connect(Serial &serial, const QString &portName);
// As connect(), for the tools that open a unit once: identification gives up after 100 ms
// without a byte, so a unit still busy (just plugged in, or its host under load) or slow to
// answer is asked again and waited for as long as any command before it counts as silent.
Result connectPatiently(Serial &serial, const QString &portName);

// Whether the identified unit still answers with its prompt; one that does not is closed, so
// that the caller sees it gone.
bool ping(Serial &serial);
// The unit was lost: the channel closed under a command (no answer, a flood, a failed write) or
// was already closed when one was to be sent. Apply, the station and the command line stop there.
bool unitLost(const Serial &serial);

// One line for people: "busy", "silent", "not a supported model (7999)", ...
QString describe(const Result &result);

// Whether this user may read and write the device node; the system's access(2) unless a test
// puts something else in its place (an empty function restores it). Tests run as root, where
// access(2) always says yes.
using AccessCheck = std::function<bool(const QString &path)>;
void setAccessCheck(AccessCheck check);
bool mayAccess(const QString &path);

} // namespace session
