#include "app/SerialPortWidget.h"

#include "link/PortSource.h"
#include "link/Serial.h"
#include "ui/PopupMessage.h"
#include "ui/Theme.h"
#include "ui_SerialPortWidget.h"

#include <QAbstractItemView>

namespace {

QStringList &programShownPorts()
{
    static QStringList names;
    return names;
}

} // namespace

const QList<quint16> SerialPortWidget::supportedProductIds = [] {
    // Receiver card, 2-channel and 5-channel dimmer: the order this list has always had.
    QList<quint16> ids;
    for (const Family family : catalogue::families())
        ids.prepend(catalogue::usbProductId(family));
    return ids;
}();

SerialPortWidget::SerialPortWidget(QWidget *parent) : QWidget(parent), ui(new Ui::SerialPortWidget)
{
    ui->setupUi(this);

    applyPageStyle(this);
    applyFrameGroupStyle(ui->gb_Serial);
    applyComboGroupFocusStyle(ui->gb_Serialports, ui->l_Serialports, ui->cb_Serialports);
    applyButtonStyle(ui->p_SerialportsConnect);
    applyButtonStyle(ui->p_SerialportsCancel);
    applyButtonStyle(ui->p_SerialportsDisconnect);
    applyCheckBoxStyle(ui->cb_showAllPorts);

    lastPortName.clear();
    connect(ui->cb_showAllPorts, &QCheckBox::clicked, this, &SerialPortWidget::refreshPortList);
    connect(&listTimer, &QTimer::timeout, this, &SerialPortWidget::refreshPortList);
    listTimer.start(1000);
}

SerialPortWidget::~SerialPortWidget()
{
    delete ui;
}

void SerialPortWidget::setSerial(Serial *serial)
{
    this->serial = serial;
}

QStringList SerialPortWidget::shownPorts()
{
    return programShownPorts();
}

void SerialPortWidget::resetShownPorts()
{
    programShownPorts().clear();
}

void SerialPortWidget::refreshPortList()
{
    // Rebuilding under an open drop-down would move the entry under the user's pointer.
    if (ui->cb_Serialports->view()->isVisible())
        return;

    const bool showAll = ui->cb_showAllPorts->isChecked();
    QStringList names;
    const QList<PortInfo> ports = PortSource::availablePorts();
    for (const PortInfo &port : ports) {
        if (port.isSupported() || showAll)
            names.append(port.portName);
    }
    if (names.isEmpty())
        names.append(tr(noPortsText));

    // An unchanged list leaves the user's current choice alone.
    if (names == programShownPorts())
        return;

    ui->cb_Serialports->clear();
    programShownPorts() = names;
    ui->cb_Serialports->addItems(names);
    const int last = names.indexOf(lastPortName);
    ui->cb_Serialports->setCurrentIndex(last >= 0 ? last : 0);
}

void SerialPortWidget::setConnectAllowed(bool allowed)
{
    connectAllowed = allowed;
    ui->p_SerialportsConnect->setEnabled(allowed);
}

void SerialPortWidget::autoConnect()
{
    if (!connectAllowed)
        return;
    // A user who asked to see every port chooses one by hand.
    if (ui->cb_Serialports->count() == 0 || ui->cb_showAllPorts->isChecked())
        return;
    emit ui->p_SerialportsConnect->clicked();
}

void SerialPortWidget::on_p_SerialportsConnect_clicked()
{
    const QString portName = ui->cb_Serialports->currentText();
    if (portName.contains(tr(noPortsText)) || !serial || !connectAllowed)
        return;

    serial->close();
    const session::Result result = session::connect(*serial, portName);
    if (result.open != session::OpenResult::Opened) {
        QString text;
        switch (result.open) {
        case session::OpenResult::UnusableName:
            text = portName + tr(" is not a valid serial port");
            break;
        case session::OpenResult::Busy:
            text = portName + tr(" is busy");
            break;
        case session::OpenResult::NoPermission:
            // The serial library calls this "busy" too, which sends the user looking for another
            // program that is not there.
            text = tr("You do not have permission to open %1.\n\nThe device rule installed with "
                      "Vantelo gives the user at this computer access once the unit is unplugged "
                      "and plugged in again. When you are logged in remotely, you need "
                      "membership of the \"dialout\" group; log in again after it has been "
                      "granted.")
                       .arg(portName);
            break;
        default:
            text = tr("Error opening") + QLatin1Char(' ') + portName;
        }
        popupMessage(text, tr("Serial Port Error"), QMessageBox::Critical, parentWidget());
        return;
    }

    lastPortName = portName;
    if (result.ready()) {
        emit unitConnected(result);
        return;
    }

    // The port stays open; the next Connect closes it before opening another.
    popupMessage(ui->cb_Serialports->currentText() + tr(" does not have a valid device attached"),
                 tr("Invalid Serial Port"), QMessageBox::Critical, parentWidget());
    ui->cb_Serialports->setCurrentIndex(0);
}

void SerialPortWidget::on_p_SerialportsDisconnect_clicked()
{
    if (serial && serial->isOpen())
        serial->close();
    emit disconnected();
}

void SerialPortWidget::on_p_SerialportsCancel_clicked()
{
    emit cancelled();
}
