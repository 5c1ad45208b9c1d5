#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>

// What the port page needs to know about one serial port, independent of where the list came from.
struct PortInfo
{
    QString portName;
    // The device node ("/dev/ttyACM0"), or the path given for a port named on the command line.
    QString systemLocation;
    // The USB serial number; empty for ports without one (pseudo-terminals, the simulator).
    QString serialNumber;
    // The node's device number (st_rdev): two paths to one unit (a node and its by-id link)
    // share it. 0 when unknown.
    quint64 deviceNumber = 0;
    bool hasVendorIdentifier = false;
    quint16 vendorIdentifier = 0;
    bool hasProductIdentifier = false;
    quint16 productIdentifier = 0;
};

// The program's view of the system's serial ports. Ports named on the command line (a device on a
// pseudo-terminal, the simulator) carry no USB identifiers of their own, so they are listed as a
// supported dimmer to pass the port page's filter.
class PortSource
{
public:
    using Lister = std::function<QList<PortInfo>()>;

    // The lister's ports (by default the system's) followed by the extra ports.
    static QList<PortInfo> availablePorts();
    // Replaces the system lister, for tests; an empty Lister restores the system's.
    static void setLister(Lister lister);
    static void addExtraPort(const QString &path);
    static void clearExtraPorts();

    static constexpr quint16 extraPortVendorId = 1155;
    static constexpr quint16 extraPortProductId = 7146;
};
