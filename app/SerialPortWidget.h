#pragma once

#include "link/DeviceSession.h"
#include "unit/ModelCatalogue.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class Serial;

namespace Ui {
class SerialPortWidget;
}

// The first page of the main window: lists the ports a supported device may sit on, keeps that
// list current every second, and opens and identifies the chosen port. The main window hears of a
// unit found (the session's result: its catalogue row, and the channel set to its prompt), of
// Disconnect and of Cancel through a signal each.
class SerialPortWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SerialPortWidget(QWidget *parent = nullptr);
    ~SerialPortWidget() override;

    void setSerial(Serial *serial);
    // Off while something else owns the units (the provisioning station): Connect and
    // autoConnect do nothing.
    void setConnectAllowed(bool allowed);
    void refreshPortList();

    // The catalogue's USB product identifiers, one per family, accepted together with its vendor
    // identifier.
    static const QList<quint16> supportedProductIds;
    static constexpr quint16 supportedVendorId = catalogue::usbVendorId;
    static constexpr const char *noPortsText = "No available ports";

    // The names last put into a port list; one list for the whole program.
    static QStringList shownPorts();
    // Forgets the names last shown, so the next rebuild fills the combo box afresh. For tests
    // that create several pages in one process.
    static void resetShownPorts();

signals:
    // Only for a ready result: a supported unit answered on the channel.
    void unitConnected(const session::Result &unit);
    void disconnected();
    void cancelled();

public slots:
    void autoConnect();

private slots:
    void on_p_SerialportsConnect_clicked();
    void on_p_SerialportsCancel_clicked();
    void on_p_SerialportsDisconnect_clicked();

private:
    Ui::SerialPortWidget *ui;
    Serial *serial = nullptr;
    QTimer listTimer;
    QString lastPortName;
    bool connectAllowed = true;
};
