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

// Without vendor, the port has no USB identifiers at all, like a built-in serial port.
PortInfo port(const QString &name, quint16 vendor = 0, quint16 product = 0)
{
    PortInfo info;
    info.portName = name;
    info.hasVendorIdentifier = info.hasProductIdentifier = vendor != 0;
    info.vendorIdentifier = vendor;
    info.productIdentifier = product;
    return info;
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
    void rebuild_keepsSelectionUntilThePortIsGone();
    void openDropDown_blocksTimerAndCheckBox();

    void connect_supportedModel_emitsModelStringEachTime_data();
    void connect_supportedModel_emitsModelStringEachTime();
    void changedList_afterConnect_returnsToLastPort();
    void autoConnect_data();
    void autoConnect();
    void connectFailure_showsMessageAndEmitsNothing_data();
    void connectFailure_showsMessageAndEmitsNothing();
    void disconnectAndCancel_data();
    void disconnectAndCancel();

private:
    QStringList entries() const;
    QComboBox *combo() const { return page->findChild<QComboBox *>("cb_Serialports"); }
    QCheckBox *showAll() const { return page->findChild<QCheckBox *>("cb_showAllPorts"); }
    QPushButton *button(const char *name) const { return page->findChild<QPushButton *>(name); }
    // Starts a simulated device and names its port on the command line.
    bool plugIn(const QString &model);

    QList<PortInfo> systemPorts;
    std::unique_ptr<QWidget> anchor;
    SerialPortWidget *page = nullptr;
    std::unique_ptr<Serial> serial;
    std::unique_ptr<sim::PtyServer> device;
};

void PortPageTest::init()
{
    systemPorts.clear();
    PortSource::setLister([this] { return systemPorts; });
    PortSource::clearExtraPorts();
    SerialPortWidget::resetShownPorts();
    anchor = std::make_unique<QWidget>();
    anchor->setGeometry(100, 50, 390, 765);
    serial = std::make_unique<Serial>();
    page = new SerialPortWidget(anchor.get());
    page->setSerial(serial.get());
}

void PortPageTest::cleanup()
{
    anchor.reset(); // deletes the page
    serial.reset();
    device.reset();
    PortSource::setLister({});
    PortSource::clearExtraPorts();
}

QStringList PortPageTest::entries() const
{
    QStringList names;
    for (int i = 0; i < combo()->count(); ++i)
        names.append(combo()->itemText(i));
    return names;
}

bool PortPageTest::plugIn(const QString &model)
{
    device = std::make_unique<sim::PtyServer>(model);
    QString error;
    if (!device->start(&error)) {
        qWarning("simulator did not start: %s", qPrintable(error));
        return false;
    }
    PortSource::addExtraPort(device->portPath());
    return true;
}

void PortPageTest::portFilter_data()
{
    QTest::addColumn<QList<PortInfo>>("ports");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QStringList>("expected");

    const PortInfo dimmer5 = port("ttyACM0", 1155, 7146);
    const PortInfo dimmer2 = port("ttyACM1", 1155, 7126);
    const PortInfo receiver = port("ttyACM2", 1155, 7185);
    const PortInfo sameVendorOther = port("ttyACM3", 1155, 7147);
    const PortInfo otherVendor = port("ttyUSB0", 0x0403, 7146);
    const PortInfo builtIn = port("ttyS0");

    QTest::newRow("supported products only, in system order")
        << QList<PortInfo>{receiver, otherVendor, sameVendorOther, dimmer5, builtIn, dimmer2}
        << false << QStringList{"ttyACM2", "ttyACM0", "ttyACM1"};
    QTest::newRow("nothing supported")
        << QList<PortInfo>{otherVendor, builtIn} << false << QStringList{kNoPorts};
    QTest::newRow("show all lists every port in system order")
        << QList<PortInfo>{builtIn, sameVendorOther, dimmer5, otherVendor} << true
        << QStringList{"ttyS0", "ttyACM3", "ttyACM0", "ttyUSB0"};
    QTest::newRow("show all with no ports at all")
        << QList<PortInfo>() << true << QStringList{kNoPorts};
}

void PortPageTest::portFilter()
{
    QFETCH(QList<PortInfo>, ports);
    QFETCH(bool, all);
    QFETCH(QStringList, expected);

    systemPorts = ports;
    showAll()->setChecked(all);
    page->refreshPortList();

    QCOMPARE(entries(), expected);
    QCOMPARE(SerialPortWidget::shownPorts(), expected);
    QCOMPARE(combo()->currentIndex(), 0);
}

void PortPageTest::showAllClick_rebuildsAtOnceBothWays()
{
    systemPorts = {port("ttyUSB0", 0x10c4, 0xea60), port("ttyS0")};
    page->refreshPortList();
    QCOMPARE(entries(), QStringList{kNoPorts});

    // A click, not a timer tick, must bring the other ports in.
    showAll()->click();
    QCOMPARE(entries(), (QStringList{"ttyUSB0", "ttyS0"}));
    showAll()->click();
    QCOMPARE(entries(), QStringList{kNoPorts});
}

void PortPageTest::rebuild_keepsSelectionUntilThePortIsGone()
{
    systemPorts = {port("ttyACM0", 1155, 7146), port("ttyACM1", 1155, 7126)};
    page->refreshPortList();
    combo()->setCurrentIndex(1);
    page->refreshPortList();
    QCOMPARE(combo()->currentText(), QStringLiteral("ttyACM1"));
    QTest::qWait(1200); // the list timer rebuilds every second
    QCOMPARE(entries(), (QStringList{"ttyACM0", "ttyACM1"}));
    QCOMPARE(combo()->currentText(), QStringLiteral("ttyACM1"));

    // A changed list starts again from the first entry.
    systemPorts.prepend(port("ttyACM5", 1155, 7185));
    page->refreshPortList();
    QCOMPARE(entries(), (QStringList{"ttyACM5", "ttyACM0", "ttyACM1"}));
    QCOMPARE(combo()->currentIndex(), 0);
}

void PortPageTest::openDropDown_blocksTimerAndCheckBox()
{
    systemPorts = {port("ttyACM0", 1155, 7146), port("ttyS0")};
    anchor->show();
    QVERIFY(QTest::qWaitForWindowExposed(anchor.get()));
    page->refreshPortList();
    QCOMPARE(entries(), QStringList{"ttyACM0"});

    combo()->showPopup();
    if (!combo()->view()->isVisible())
        QSKIP("this platform does not show a combo box's drop-down list");
    systemPorts.append(port("ttyACM1", 1155, 7126));
    QTest::qWait(1200); // one list-timer tick
    showAll()->click();
    QCOMPARE(entries(), QStringList{"ttyACM0"});

    combo()->hidePopup();
    QTRY_VERIFY(!combo()->view()->isVisible());
    page->refreshPortList();
    QCOMPARE(entries(), (QStringList{"ttyACM0", "ttyS0", "ttyACM1"}));
}

void PortPageTest::connect_supportedModel_emitsModelStringEachTime_data()
{
    QTest::addColumn<QString>("model");
    QTest::newRow("five-channel dimmer") << "7146";
    QTest::newRow("two-channel dimmer") << "7126";
    QTest::newRow("receiver card") << "7185";
}

void PortPageTest::connect_supportedModel_emitsModelStringEachTime()
{
    QFETCH(QString, model);
    QVERIFY(plugIn(model));
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

    // A second Connect closes the open port and identifies the device again.
    button("p_SerialportsConnect")->click();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toString(), model);
    QCOMPARE(device->commandLog(), (QStringList{"getFWInfo", "getFWInfo"}));
    QCOMPARE(catcher.count(), 0);
}

void PortPageTest::changedList_afterConnect_returnsToLastPort()
{
    QVERIFY(plugIn("7146"));
    systemPorts = {port("ttyACM0", 1155, 7126)};
    page->refreshPortList();
    combo()->setCurrentIndex(1);
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    button("p_SerialportsConnect")->click();
    QCOMPARE(spy.count(), 1);

    // Another device appears ahead of ours: the rebuilt list must still point at ours.
    systemPorts.prepend(port("ttyACM7", 1155, 7185));
    page->refreshPortList();
    QCOMPARE(entries(), (QStringList{"ttyACM7", "ttyACM0", device->portPath()}));
    QCOMPARE(combo()->currentText(), device->portPath());
}

void PortPageTest::autoConnect_data()
{
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<bool>("all");
    QTest::newRow("supported ports only: connects by itself") << true << false;
    QTest::newRow("all ports shown: waits for the user") << true << true;
    QTest::newRow("no available ports: not even Connect does anything") << false << false;
}

void PortPageTest::autoConnect()
{
    QFETCH(bool, plugged);
    QFETCH(bool, all);
    if (plugged)
        QVERIFY(plugIn("7146"));
    showAll()->setChecked(all);
    page->refreshPortList();
    QCOMPARE(combo()->currentText(), plugged ? device->portPath() : kNoPorts);

    ModalCatcher catcher;
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    page->autoConnect();
    if (!plugged) {
        serial->setPortName(QStringLiteral("untouched"));
        button("p_SerialportsConnect")->click();
        QTest::qWait(100); // a message box would be up by now
        QCOMPARE(serial->portName(), QStringLiteral("untouched"));
    }
    const bool connects = plugged && !all;
    QCOMPARE(spy.count(), int(connects));
    QCOMPARE(serial->isOpen(), connects);
    if (plugged)
        QCOMPARE(device->commandLog().size(), int(connects));
    QCOMPARE(catcher.count(), 0);
}

void PortPageTest::connectFailure_showsMessageAndEmitsNothing_data()
{
    QTest::addColumn<QString>("portName"); // empty: the simulated device's port
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QByteArray>("answer"); // the device's reply to getFWInfo, if not its own
    QTest::addColumn<QString>("text");      // leading blank: follows the port name
    QTest::addColumn<QString>("title");

    QTest::newRow("port named None")
        << "None" << false << QByteArray() << " is not a valid serial port"
        << "Serial Port Error";
    QTest::newRow("path that does not exist")
        << "/nonexistent-vantelo-dir/ttyX" << false << QByteArray()
        << "Error opening /nonexistent-vantelo-dir/ttyX"
        << "Serial Port Error";
    QTest::newRow("port held by another channel") << "" << true << QByteArray() << " is busy"
                                                  << "Serial Port Error";
    QTest::newRow("device answers without a model")
        << "" << false << QByteArray("getFWInfo\r\nFirmware 2.4 Boot 1.1\r\n714x:")
        << " does not have a valid device attached"
        << "Invalid Serial Port";
    QTest::newRow("device reports a model outside the catalogue")
        << "" << false << QByteArray("getFWInfo\r\nKorvane Model: 9999\r\n714x:")
        << " does not have a valid device attached"
        << "Invalid Serial Port";
}

void PortPageTest::connectFailure_showsMessageAndEmitsNothing()
{
    QFETCH(QString, portName);
    QFETCH(bool, busy);
    QFETCH(QByteArray, answer);
    QFETCH(QString, text);
    QFETCH(QString, title);

    QVERIFY(plugIn("7146"));
    PortSource::clearExtraPorts();
    if (portName.isEmpty())
        portName = device->portPath();
    Serial otherProgram;
    if (busy) {
        otherProgram.setPortName(portName);
        QCOMPARE(otherProgram.open(), 0);
    }
    if (!answer.isEmpty()) {
        device->setReplyOverride([answer](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.startsWith("getFWInfo"))
                return answer;
            return std::nullopt;
        });
    }
    // Our port second, selected; a failed identification must put the first entry back.
    systemPorts = {port("ttyACM9", 1155, 7126), port(portName, 1155, 7146)};
    page->refreshPortList();
    combo()->setCurrentIndex(1);

    ModalCatcher catcher;
    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    button("p_SerialportsConnect")->click();

    QVERIFY(catcher.waitForCount(1, 3000));
    const ModalCatcher::Message message = catcher.last();
    QCOMPARE(message.text, text.startsWith(QLatin1Char(' ')) ? portName + text : text);
    QCOMPARE(message.title, title);
    QCOMPARE(message.icon, QMessageBox::Critical);
    QCOMPARE(message.position, popupMessagePosition(anchor.get(), message.size.width()));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(catcher.count(), 1);

    // A device that failed identification keeps its port open until the next Connect.
    const bool identifyFailed = !answer.isEmpty();
    QCOMPARE(serial->isOpen(), identifyFailed);
    QCOMPARE(combo()->currentIndex(), identifyFailed ? 0 : 1);
    if (identifyFailed)
        QCOMPARE(device->commandLog(), QStringList{"getFWInfo"});
}

void PortPageTest::disconnectAndCancel_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("emitted");
    QTest::newRow("Disconnect closes the open channel")
        << QByteArray("p_SerialportsDisconnect") << true << "disconnected";
    QTest::newRow("Disconnect with a closed channel")
        << QByteArray("p_SerialportsDisconnect") << false << "disconnected";
    QTest::newRow("Cancel") << QByteArray("p_SerialportsCancel") << false << "";
}

void PortPageTest::disconnectAndCancel()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, connected);
    QFETCH(QString, emitted);
    QVERIFY(plugIn("7146"));
    if (connected) {
        serial->setPortName(device->portPath());
        QCOMPARE(serial->open(), 0);
    }

    QSignalSpy spy(page, &SerialPortWidget::serialPortChange);
    QVERIFY(spy.isValid());
    this->button(button.constData())->click();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), emitted);
    QVERIFY(!serial->isOpen());
    // Closed for real: another program can now take the port.
    Serial other;
    other.setPortName(device->portPath());
    QCOMPARE(other.open(), 0);
}

QTEST_MAIN(PortPageTest)
#include "tst_link_portpage.moc"
