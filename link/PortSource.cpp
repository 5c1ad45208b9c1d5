#include "link/PortSource.h"

#include <QSerialPortInfo>

namespace {

QList<PortInfo> systemPorts()
{
    QList<PortInfo> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        PortInfo port;
        port.portName = info.portName();
        port.hasVendorIdentifier = info.hasVendorIdentifier();
        port.vendorIdentifier = info.vendorIdentifier();
        port.hasProductIdentifier = info.hasProductIdentifier();
        port.productIdentifier = info.productIdentifier();
        ports.append(port);
    }
    return ports;
}

PortSource::Lister &currentLister()
{
    static PortSource::Lister lister;
    return lister;
}

QStringList &extraPorts()
{
    static QStringList paths;
    return paths;
}

} // namespace

QList<PortInfo> PortSource::availablePorts()
{
    QList<PortInfo> ports = currentLister() ? currentLister()() : systemPorts();
    for (const QString &path : qAsConst(extraPorts())) {
        PortInfo port;
        port.portName = path;
        port.hasVendorIdentifier = true;
        port.vendorIdentifier = extraPortVendorId;
        port.hasProductIdentifier = true;
        port.productIdentifier = extraPortProductId;
        ports.append(port);
    }
    return ports;
}

void PortSource::setLister(Lister lister)
{
    currentLister() = std::move(lister);
}

void PortSource::addExtraPort(const QString &path)
{
    if (!extraPorts().contains(path))
        extraPorts().append(path);
}

void PortSource::clearExtraPorts()
{
    extraPorts().clear();
}
