#include "cli/UnitAccess.h"

#include "cli/Options.h"
#include "cli/Output.h"

#include <QFileInfo>

#include <algorithm>

namespace cli {

namespace {

bool startSimulator(const Options &options, Unit &unit, Context &context)
{
    unit.simulator = std::make_unique<sim::PtyServer>(options.simulate);
    if (options.seed)
        unit.simulator->setSeed(*options.seed);
    if (!options.uid.isEmpty())
        unit.simulator->setUid(options.uid.toUpper());
    QString error;
    if (!unit.simulator->start(&error)) {
        context.fail(NoUnit, QStringLiteral("the simulated unit did not start: %1").arg(error));
        return false;
    }
    unit.port = unit.simulator->portPath();
    return true;
}

} // namespace

QList<PortInfo> makerPorts()
{
    QList<PortInfo> ports;
    const QList<PortInfo> all = PortSource::availablePorts();
    for (const PortInfo &port : all) {
        if (!port.hasVendorIdentifier || port.vendorIdentifier != catalogue::usbVendorId)
            continue;
        const bool listed = std::any_of(ports.begin(), ports.end(), [&port](const PortInfo &p) {
            return PortSource::sameUnit(p.path(), port.path());
        });
        if (!listed)
            ports.append(port);
    }
    return ports;
}

bool choosePort(const Options &options, Unit &unit, Context &context)
{
    if (!options.simulate.isEmpty())
        return startSimulator(options, unit, context);
    if (!options.port.isEmpty()) {
        unit.port = PortSource::openablePath(options.port);
        return true;
    }
    QStringList supported;
    for (const PortInfo &port : makerPorts()) {
        if (port.isSupported())
            supported.append(port.path());
    }
    if (supported.size() == 1) {
        unit.port = supported.first();
        return true;
    }
    if (supported.isEmpty()) {
        context.fail(NoUnit, QStringLiteral("no supported unit is attached"));
    } else {
        context.fail(NoUnit, QStringLiteral("%1 supported units are attached (%2); choose one "
                                            "with --port")
                                 .arg(supported.size())
                                 .arg(supported.join(QLatin1String(", "))));
    }
    return false;
}

bool connectUnit(const Options &options, Unit &unit, Context &context)
{
    if (!choosePort(options, unit, context))
        return false;
    unit.session = session::connectPatiently(unit.serial, unit.port);
    if (unit.session.ready()) {
        context.json[QStringLiteral("port")] = unit.port;
        context.json[QStringLiteral("model")] = unit.session.model;
        return true;
    }
    const bool missing = unit.session.open == session::OpenResult::Failed &&
                         unit.port.startsWith(QLatin1Char('/')) && !QFileInfo::exists(unit.port);
    context.fail(
        NoUnit, QStringLiteral("%1: %2").arg(unit.port, missing ? QStringLiteral("no such port")
                                                                : session::describe(unit.session)));
    return false;
}

void unitLost(Context &context, const QString &key)
{
    context.fail(NoUnit, QStringLiteral("the unit stopped answering (at %1)").arg(key));
}

} // namespace cli
