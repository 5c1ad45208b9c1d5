#pragma once

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
// list current every second, and opens and identifies the chosen port. Everything the main window
// must react to is announced through serialPortChange: a model string, "disconnected", or the
// empty text for Cancel.
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
    void serialPortChange(QString s);

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
