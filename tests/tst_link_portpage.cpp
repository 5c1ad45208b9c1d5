#include "link/PortSource.h"
#include "link/Serial.h"
#include "link/SerialPortWidget.h"
#include "server/PtyServer.h"
#include "support/ModalCatcher.h"
#include "ui/PopupMessage.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(PortInfo)

namespace {

PortInfo usbPort(const QString &name, quint16 vendor, quint16 product)
{
    PortInfo port;
    port.portName = name;
    port.hasVendorIdentifier = true;
    port.vendorIdentifier = vendor;
    port.hasProductIdentifier = true;
    port.productIdentifier = product;
    return port;
}

// A built-in serial port: no USB identifiers at all.
PortInfo plainPort(const QString &name)
{
    PortInfo port;
    port.portName = name;
    return port;
}

QStringList entries(QComboBox *combo)
{
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names.append(combo->itemText(i));
    return names;
}

const QString kNoPorts = QStringLiteral("No available ports");

} // namespace

class PortPageTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void portFilter_data();
    void portFilter();
    void showAllClick_rebuildsAtOnceBothWays();
    void identicalRebuild_keepsUserSelection();
    void changedList_withoutLastPort_selectsFirst();
    void openDropDown_blocksTimerAndCheckBox();

    void connect_supportedModel_emitsModelString_data();
    void connect_supportedModel_emitsModelString();
    void changedList_afterConnect_returnsToLastPort();
    void connectTwice_closesFirstAndReconnects();
    void autoConnect_data();
    void autoConnect();
    void connect_onNoAvailablePorts_doesNothing();
    void connectFailure_showsMessageAndEmitsNothing_data();
    void connectFailure_showsMessageAndEmitsNothing();
    void disconnect_emitsDisconnected_data();
    void disconnect_emitsDisconnected();
    void cancel_emitsEmptyText();

private:
    void makePage();
    QComboBox *combo() const { return page->findChild<QComboBox *>("cb_Serialports"); }
    QCheckBox *showAll() const { return page->findChild<QCheckBox *>("cb_showAllPorts"); }
    QPushButton *button(const char *name) const { return page->findChild<QPushButton *>(name); }
    std::unique_ptr<sim::PtyServer> startDevice(const QString &model);

    QList<PortInfo> systemPorts;
    std::unique_ptr<QWidget> anchor;
    SerialPortWidget *page = nullptr;
    std::unique_ptr<Serial> serial;
};

void PortPageTest::init()
{
    systemPorts.clear();
    PortSource::setLister([this] { return systemPorts; });
    PortSource::clearExtraPorts();
    SerialPortWidget::resetShownPorts();
    makePage();
}

void PortPageTest::cleanup()
{
    anchor.reset(); // deletes the page
    page = nullptr;
    serial.reset();
    PortSource::setLister({});
    PortSource::clearExtraPorts();
}

void PortPageTest::makePage()
{
    anchor = std::make_unique<QWidget>();
    anchor->setGeometry(100, 50, 390, 765);
    serial = std::make_unique<Serial>();
    page = new SerialPortWidget(anchor.get());
    page->setSerial(serial.get());
}

std::unique_ptr<sim::PtyServer> PortPageTest::startDevice(const QString &model)
{
    auto server = std::make_unique<sim::PtyServer>(model);
    QString error;
    if (!server->start(&error)) {
        qWarning("simulator did not start: %s", qPrintable(error));
        return nullptr;
    }
    return server;
}

void PortPageTest::portFilter_data()
{
    QTest::addColumn<QList<PortInfo>>("ports");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QStringList>("expected");

    const PortInfo dimmer5 = usbPort("ttyACM0", 1155, 7146);
    const PortInfo dimmer2 = usbPort("ttyACM1", 1155, 7126);
    const PortInfo receiver = usbPort("ttyACM2", 1155, 7185);
    const PortInfo sameVendorOther = usbPort("ttyACM3", 1155, 7147);
    const PortInfo otherVendor = usbPort("ttyUSB0", 0x0403, 7146);
    const PortInfo builtIn = plainPort("ttyS0");

    QTest::newRow("supported products listed in system order")
        << QList<PortInfo>{receiver, otherVendor, dimmer5, dimmer2} << QStringList() << false
        << QStringList{"ttyACM2", "ttyACM0", "ttyACM1"};
    QTest::newRow("maker's vendor with an unsupported product is hidden")
        << QList<PortInfo>{sameVendorOther, dimmer5} << QStringList() << false
        << QStringList{"ttyACM0"};
    QTest::newRow("supported product under another vendor is hidden")
        << QList<PortInfo>{otherVendor} << QStringList() << false << QStringList{kNoPorts};
    QTest::newRow("port without USB identifiers is hidden")
        << QList<PortInfo>{builtIn} << QStringList() << false << QStringList{kNoPorts};
    QTest::newRow("no ports at all")
        << QList<PortInfo>() << QStringList() << false << QStringList{kNoPorts};
    QTest::newRow("show all lists every port in system order")
        << QList<PortInfo>{builtIn, sameVendorOther, dimmer5, otherVendor} << QStringList() << true
        << QStringList{"ttyS0", "ttyACM3", "ttyACM0", "ttyUSB0"};
    QTest::newRow("show all with no ports at all")
        << QList<PortInfo>() << QStringList() << true << QStringList{kNoPorts};
    QTest::newRow("ports named on the command line follow the system's")
        << QList<PortInfo>{otherVendor, dimmer2} << QStringList{"/tmp/sim/ttySIM7146"} << false
        << QStringList{"ttyACM1", "/tmp/sim/ttySIM7146"};
}

void PortPageTest::portFilter()
{
    QFETCH(QList<PortInfo>, ports);
    QFETCH(QStringList, extra);
    QFETCH(bool, all);
    QFETCH(QStringList, expected);

    systemPorts = ports;
    for (const QString &path : extra)
        PortSource::addExtraPort(path);
    showAll()->setChecked(all);
    page->refreshPortList();

    QCOMPARE(entries(combo()), expected);
    QCOMPARE(SerialPortWidget::shownPorts(), expected);
    QCOMPARE(combo()->currentIndex(), 0);
}

void PortPageTest::showAllClick_rebuildsAtOnceBothWays()
{
    systemPorts = {usbPort("ttyUSB0", 0x10c4, 0xea60), plainPort("ttyS0")};
    page->refreshPortList();
    QCOMPARE(entries(combo()), QStringList{kNoPorts});

    // A click, not a timer tick, must bring the other ports in.
    showAll()->click();
    QCOMPARE(entries(combo()), (QStringList{"ttyUSB0", "ttyS0"}));

    showAll()->click();
    QCOMPARE(entries(combo()), QStringList{kNoPorts});
}

void PortPageTest::identicalRebuild_keepsUserSelection()
{
    systemPorts = {usbPort("ttyACM0", 1155, 7146), usbPort("ttyACM1", 1155, 7126)};
    page->refreshPortList();
    combo()->setCurrentIndex(1);

    page->refreshPortList();
    QCOMPARE(combo()->currentText(), QStringLiteral("ttyACM1"));

    // The list timer does the same every second.
    QTest::qWait(1200);
    QCOMPARE(combo()->currentText(), QStringLiteral("ttyACM1"));
    QCOMPARE(combo()->count(), 2);
}

void PortPageTest::changedList_withoutLastPort_selectsFirst()
{
    systemPorts = {usbPort("ttyACM0", 1155, 7146), usbPort("ttyACM1", 1155, 7126)};
    page->refreshPortList();
    combo()->setCurrentIndex(1);

    systemPorts.prepend(usbPort("ttyACM5", 1155, 7185));
    page->refreshPortList();
    QCOMPARE(entries(combo()), (QStringList{"ttyACM5", "ttyACM0", "ttyACM1"}));
    QCOMPARE(combo()->currentIndex(), 0);
}

void PortPageTest::openDropDown_blocksTimerAndCheckBox()
{
    systemPorts = {usbPort("ttyACM0", 1155, 7146), plainPort("ttyS0")};
    anchor->show();
    QVERIFY(QTest::qWaitForWindowExposed(anchor.get()));
    page->refreshPortList();
    QCOMPARE(entries(combo()), QStringList{"ttyACM0"});

    combo()->showPopup();
    if (!combo()->view()->isVisible())
        QSKIP("this platform does not show a combo box's drop-down list");

    systemPorts.append(usbPort("ttyACM1", 1155, 7126));
    QTest::qWait(1200); // one list-timer tick
    showAll()->click();
    QCOMPARE(entries(combo()), QStringList{"ttyACM0"});

    combo()->hidePopup();
    QTRY_VERIFY(!combo()->view()->isVisible());
    page->refreshPortList();
    QCOMPARE(entries(combo()), (QStringList{"ttyACM0", "ttyS0", "ttyACM1"}));
}

void PortPageTest::connect_supportedModel_emitsModelString_data()
{
    QTest::addColumn<QString>("model");
    QTest::newRow("five-channel dimmer") << "7146";
    QTest::newRow("two-channel dimmer") << "7126";
    QTest::newRow("receiver card") << "7185";
}

void PortPageTest::connect_supportedModel_emitsModelString()
{
    QFETCH(QString, model);
    auto device = startDevice(model);
    QVERIFY(device);
    PortSource::addExtraPort(device->portPath());
    page->refreshPortList();
    QCOMPARE(combo()->currentText(), device->portPath());

    ModalCatcher catcher;
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    QTest::mouseClick(button("p_SerialportsConnect"), Qt::LeftButton);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), model);
    QVERIFY(serial->isOpen());
    QCOMPARE(serial->portName(), device->portPath());
    QCOMPARE(device->commandLog(), QStringList{"getFWInfo"});
    QCOMPARE(catcher.count(), 0);
}

void PortPageTest::changedList_afterConnect_returnsToLastPort()
{
    auto device = startDevice("7146");
    QVERIFY(device);
    systemPorts = {usbPort("ttyACM0", 1155, 7126)};
    PortSource::addExtraPort(device->portPath());
    page->refreshPortList();
    combo()->setCurrentIndex(1);
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    button("p_SerialportsConnect")->click();
    QCOMPARE(spy.count(), 1);

    // Another device appears ahead of ours: the rebuilt list must still point at ours.
    systemPorts.prepend(usbPort("ttyACM7", 1155, 7185));
    page->refreshPortList();
    QCOMPARE(entries(combo()), (QStringList{"ttyACM7", "ttyACM0", device->portPath()}));
    QCOMPARE(combo()->currentText(), device->portPath());
}

void PortPageTest::connectTwice_closesFirstAndReconnects()
{
    auto device = startDevice("7146");
    QVERIFY(device);
    PortSource::addExtraPort(device->portPath());
    page->refreshPortList();
    ModalCatcher catcher;
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());

    button("p_SerialportsConnect")->click();
    button("p_SerialportsConnect")->click();

    QCOMPARE(catcher.count(), 0);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("7146"));
    QCOMPARE(device->commandLog(), (QStringList{"getFWInfo", "getFWInfo"}));
}

void PortPageTest::autoConnect_data()
{
    QTest::addColumn<bool>("all");
    QTest::addColumn<int>("emitted");
    QTest::newRow("supported ports only: connects by itself") << false << 1;
    QTest::newRow("all ports shown: waits for the user") << true << 0;
}

void PortPageTest::autoConnect()
{
    QFETCH(bool, all);
    QFETCH(int, emitted);
    auto device = startDevice("7146");
    QVERIFY(device);
    PortSource::addExtraPort(device->portPath());
    showAll()->setChecked(all);
    page->refreshPortList();
    QCOMPARE(combo()->currentText(), device->portPath());

    ModalCatcher catcher;
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    page->autoConnect();

    QCOMPARE(spy.count(), emitted);
    QCOMPARE(serial->isOpen(), emitted == 1);
    QCOMPARE(device->commandLog().size(), emitted);
    QCOMPARE(catcher.count(), 0);
}

void PortPageTest::connect_onNoAvailablePorts_doesNothing()
{
    page->refreshPortList();
    QCOMPARE(combo()->currentText(), kNoPorts);
    serial->setPortName(QStringLiteral("untouched"));

    ModalCatcher catcher;
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    page->autoConnect();
    button("p_SerialportsConnect")->click();
    QTest::qWait(100); // a message box would be up by now

    QCOMPARE(spy.count(), 0);
    QCOMPARE(catcher.count(), 0);
    QCOMPARE(serial->portName(), QStringLiteral("untouched"));
    QVERIFY(!serial->isOpen());
}

enum class Failure
{
    NamedNone,
    MissingPath,
    Busy,
    NoModelWord,
    UnknownModel
};
Q_DECLARE_METATYPE(Failure)

void PortPageTest::connectFailure_showsMessageAndEmitsNothing_data()
{
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("suffix"); // the message after the port name, or its whole text
    QTest::addColumn<QString>("title");

    QTest::newRow("port named None") << Failure::NamedNone << " is not a valid serial port"
                                     << "Serial Port Error";
    QTest::newRow("path that does not exist")
        << Failure::MissingPath << "Error opening /nonexistent-vantelo-dir/ttyX"
        << "Serial Port Error";
    QTest::newRow("port held by another channel") << Failure::Busy << " is busy"
                                                  << "Serial Port Error";
    QTest::newRow("device answers without a model")
        << Failure::NoModelWord << " does not have a valid device attached"
        << "Invalid Serial Port";
    QTest::newRow("device reports a model outside the catalogue")
        << Failure::UnknownModel << " does not have a valid device attached"
        << "Invalid Serial Port";
}

void PortPageTest::connectFailure_showsMessageAndEmitsNothing()
{
    QFETCH(Failure, failure);
    QFETCH(QString, suffix);
    QFETCH(QString, title);

    std::unique_ptr<sim::PtyServer> device;
    Serial otherProgram;
    QString portName;
    switch (failure) {
    case Failure::NamedNone:
        portName = QStringLiteral("None");
        break;
    case Failure::MissingPath:
        portName = QStringLiteral("/nonexistent-vantelo-dir/ttyX");
        break;
    case Failure::Busy:
    case Failure::NoModelWord:
    case Failure::UnknownModel:
        device = startDevice("7146");
        QVERIFY(device);
        portName = device->portPath();
        break;
    }
    if (failure == Failure::Busy) {
        otherProgram.setPortName(portName);
        QCOMPARE(otherProgram.open(), 0);
    }
    if (failure == Failure::NoModelWord || failure == Failure::UnknownModel) {
        const QByteArray answer = failure == Failure::NoModelWord
                                      ? QByteArray("getFWInfo\r\nFirmware 2.4 Boot 1.1\r\n714x:")
                                      : QByteArray("getFWInfo\r\nKorvane Model: 9999\r\n714x:");
        device->setReplyOverride([answer](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.startsWith("getFWInfo"))
                return answer;
            return std::nullopt;
        });
    }

    // Our port second, selected; a failed identification must put the first entry back.
    systemPorts = {usbPort("ttyACM9", 1155, 7126), usbPort(portName, 1155, 7146)};
    page->refreshPortList();
    combo()->setCurrentIndex(1);

    ModalCatcher catcher;
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    button("p_SerialportsConnect")->click();

    QVERIFY(catcher.waitForCount(1, 3000));
    const ModalCatcher::Message message = catcher.last();
    const QString expectedText = suffix.startsWith(QLatin1Char(' ')) ? portName + suffix : suffix;
    QCOMPARE(message.text, expectedText);
    QCOMPARE(message.title, title);
    QCOMPARE(message.icon, QMessageBox::Critical);
    QCOMPARE(message.position, popupMessagePosition(anchor.get(), message.size.width()));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(catcher.count(), 1);

    const bool identifyFailed = title == QLatin1String("Invalid Serial Port");
    // A device that failed identification keeps its port open until the next Connect.
    QCOMPARE(serial->isOpen(), identifyFailed);
    QCOMPARE(combo()->currentIndex(), identifyFailed ? 0 : 1);
    if (identifyFailed)
        QCOMPARE(device->commandLog(), QStringList{"getFWInfo"});
}

void PortPageTest::disconnect_emitsDisconnected_data()
{
    QTest::addColumn<bool>("connected");
    QTest::newRow("open channel is closed") << true;
    QTest::newRow("closed channel") << false;
}

void PortPageTest::disconnect_emitsDisconnected()
{
    QFETCH(bool, connected);
    auto device = startDevice("7146");
    QVERIFY(device);
    if (connected) {
        serial->setPortName(device->portPath());
        QCOMPARE(serial->open(), 0);
    }

    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    button("p_SerialportsDisconnect")->click();

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("disconnected"));
    QVERIFY(!serial->isOpen());
    // Closed for real: another program can now take the port.
    Serial other;
    other.setPortName(device->portPath());
    QCOMPARE(other.open(), 0);
}

void PortPageTest::cancel_emitsEmptyText()
{
    QSignalSpy spy(page, SIGNAL(serialPortChange(QString)));
    QVERIFY(spy.isValid());
    button("p_SerialportsCancel")->click();
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(0).toString().isEmpty());
}

QTEST_MAIN(PortPageTest)
#include "tst_link_portpage.moc"
