#include "pages/FarcastWidget.h"
#include "support/DeviceFixture.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QtTest>

// The wireless receiver page against a simulated device: entry positions are
// the device's numbers both ways, odd replies land where the page's rules put
// them, and typed values are the device's to judge.
class TestFarcastPage : public QObject
{
    Q_OBJECT

private slots:
    void refresh_sendsQueriesInOrderAndShowsDevice_data();
    void refresh_sendsQueriesInOrderAndShowsDevice();
    void choosingEntry_sendsItsPositionThenReadsBack_data();
    void choosingEntry_sendsItsPositionThenReadsBack();
    void oddReplies_selectByPageRules_data();
    void oddReplies_selectByPageRules();
    void editingField_sendsTextAsTypedThenShowsDevice_data();
    void editingField_sendsTextAsTypedThenShowsDevice();
    void refresh_skipsFocusedKey();
    void hiddenInputMode_leavesOtherFieldsInPlace();
    void wheelOverComboBoxes_changesNothing();
    void closedChannel_resetsBoxesAndKeepsTexts();
};

namespace {

QComboBox *combo(QWidget &page, const char *name)
{
    return page.findChild<QComboBox *>(QString::fromLatin1(name));
}

QLineEdit *lineEdit(QWidget &page, const char *name)
{
    return page.findChild<QLineEdit *>(QString::fromLatin1(name));
}

// As a user picking from the list with the keyboard: the box moves and emits
// activated.
void chooseEntry(QComboBox *box, int index)
{
    box->setCurrentIndex(index == 0 ? 1 : index - 1);
    QTest::keyClick(box, index == 0 ? Qt::Key_Up : Qt::Key_Down);
}

} // namespace

#define CONNECT_DEVICE(device) QVERIFY2((device).connect(), qPrintable((device).lastError()))

const QStringList refreshCommands{"getInputMode", "getVexaId", "getAntenna", "getFCPower",
                                  "getVexaKey"};

void TestFarcastPage::refresh_sendsQueriesInOrderAndShowsDevice_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("wireless");
    QTest::addColumn<int>("antenna");
    QTest::addColumn<int>("power");
    QTest::newRow("dimmer, wireless, Yagi, Max") << "7146" << true << 3 << 3;
    QTest::newRow("receiver card, wired, Omni, Medium") << "7186" << false << 1 << 1;
}

void TestFarcastPage::refresh_sendsQueriesInOrderAndShowsDevice()
{
    QFETCH(QString, model);
    QFETCH(bool, wireless);
    QFETCH(int, antenna);
    QFETCH(int, power);
    DeviceFixture device(model);
    CONNECT_DEVICE(device);
    device.server.modifyState([&](sim::DeviceState &s) {
        s.wirelessInput = wireless;
        s.antenna = antenna;
        s.power = power;
        s.vexaId = 4711;
        s.vexaKey = 321;
    });
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    combo(page, "cb_dmxInputMode")->setCurrentIndex(wireless ? 0 : 1);

    QList<int> commandsAtSignal;
    connect(&page, &BaseWidget::iconUpdateSignal,
            [&] { commandsAtSignal << device.server.commandLog().size(); });
    device.server.clearLog();
    page.refresh();

    QCOMPARE(device.server.commandLog(), refreshCommands);
    QCOMPARE(commandsAtSignal, QList<int>({2, 4})); // after the ID and after the power
    QCOMPARE(combo(page, "cb_dmxInputMode")->currentText(),
             wireless ? QString("Wireless") : QString("Wired"));
    QCOMPARE(combo(page, "cb_antSelect")->currentIndex(), antenna);
    QCOMPARE(combo(page, "cb_outputPower")->currentIndex(), power);
    QCOMPARE(lineEdit(page, "le_vexaId")->text(), QString("4711"));
    QCOMPARE(lineEdit(page, "le_vexaKey")->text(), QString("321"));
}

void TestFarcastPage::choosingEntry_sendsItsPositionThenReadsBack_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("Yagi") << QByteArray("cb_antSelect") << 3
                          << QStringList{"setAntenna 3", "getAntenna"};
    QTest::newRow("Internal") << QByteArray("cb_antSelect") << 0
                              << QStringList{"setAntenna 0", "getAntenna"};
    QTest::newRow("Max") << QByteArray("cb_outputPower") << 3
                         << QStringList{"setFCPower 3", "getFCPower"};
    QTest::newRow("Medium") << QByteArray("cb_outputPower") << 1
                            << QStringList{"setFCPower 1", "getFCPower"};
    QTest::newRow("Wireless") << QByteArray("cb_dmxInputMode") << 1
                              << QStringList{"setInputMode 1", "getInputMode"};
    QTest::newRow("Wired") << QByteArray("cb_dmxInputMode") << 0
                           << QStringList{"setInputMode 0", "getInputMode"};
}

void TestFarcastPage::choosingEntry_sendsItsPositionThenReadsBack()
{
    QFETCH(QByteArray, box);
    QFETCH(int, chosen);
    QFETCH(QStringList, log);
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    // The device starts on a different entry from the one chosen.
    device.server.modifyState([&](sim::DeviceState &s) {
        s.antenna = chosen == 0 ? 2 : 0;
        s.power = chosen == 0 ? 2 : 0;
        s.wirelessInput = chosen == 0;
    });
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    device.server.clearLog();

    chooseEntry(combo(page, box.constData()), chosen);

    QCOMPARE(device.server.commandLog(), log);
    const sim::DeviceState state = device.server.state();
    const int held = box == "cb_antSelect"     ? state.antenna
                     : box == "cb_outputPower" ? state.power
                                               : int(state.wirelessInput);
    QCOMPARE(held, chosen);
    QCOMPARE(combo(page, box.constData())->currentIndex(), chosen);
}

void TestFarcastPage::oddReplies_selectByPageRules_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("index");
    QTest::newRow("antenna 2") << QByteArray("cb_antSelect")
                               << QByteArray("getAntenna\r\nAntenna selection is 2") << 2;
    QTest::newRow("antenna 7 selects nothing")
        << QByteArray("cb_antSelect") << QByteArray("getAntenna\r\nAntenna selection is 7") << -1;
    QTest::newRow("antenna x selects Internal")
        << QByteArray("cb_antSelect") << QByteArray("getAntenna\r\nAntenna selection is x") << 0;
    QTest::newRow("power 7 selects nothing")
        << QByteArray("cb_outputPower") << QByteArray("getFCPower\r\nFarcast output power is 7")
        << -1;
    QTest::newRow("short power reply selects Low")
        << QByteArray("cb_outputPower") << QByteArray("getFCPower\r\nFarcast output") << 0;
    QTest::newRow("any text with ireless is wireless")
        << QByteArray("cb_dmxInputMode")
        << QByteArray("getInputMode\r\nDMX input mode is xirelessy") << 1;
    QTest::newRow("capital W alone is not enough")
        << QByteArray("cb_dmxInputMode") << QByteArray("getInputMode\r\nDMX input mode is W") << 0;
}

void TestFarcastPage::oddReplies_selectByPageRules()
{
    QFETCH(QByteArray, box);
    QFETCH(QByteArray, reply);
    QFETCH(int, index);
    DeviceFixture device("7185");
    CONNECT_DEVICE(device);
    const QByteArray command = reply.left(reply.indexOf('\r'));
    device.server.setReplyOverride([=](const QByteArray &line) -> std::optional<QByteArray> {
        if (line.trimmed() == command)
            return reply + "\r\n718x:";
        return std::nullopt;
    });
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    combo(page, box.constData())->setCurrentIndex(index == 1 ? 0 : 1);

    page.refresh();

    QCOMPARE(combo(page, box.constData())->currentIndex(), index);
    QVERIFY(device.serial.isOpen());
}

void TestFarcastPage::editingField_sendsTextAsTypedThenShowsDevice_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("shown");
    QTest::newRow("key") << QByteArray("le_vexaKey") << "250"
                         << QStringList{"setVexaKey 250", "getVexaKey"} << "250";
    QTest::newRow("key above 500 is sent unchanged; device keeps its own")
        << QByteArray("le_vexaKey") << "750" << QStringList{"setVexaKey 750", "getVexaKey"} << "11";
    QTest::newRow("ID") << QByteArray("le_vexaId") << "60000"
                        << QStringList{"setVexaId 60000", "getVexaId"} << "60000";
    QTest::newRow("key with a blank is sent as typed")
        << QByteArray("le_vexaKey") << " 42" << QStringList{"setVexaKey  42", "getVexaKey"} << "42";
    QTest::newRow("key too long for the device's buffer is not sent")
        << QByteArray("le_vexaKey") << QString(245, QLatin1Char('9')) << QStringList{"getVexaKey"}
        << "11";
}

void TestFarcastPage::editingField_sendsTextAsTypedThenShowsDevice()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, typed);
    QFETCH(QStringList, log);
    QFETCH(QString, shown);
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.vexaKey = 11;
        s.vexaId = 22;
    });
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    device.server.clearLog();

    QLineEdit *edit = lineEdit(page, field.constData());
    edit->setText(typed);
    QTest::keyClick(edit, Qt::Key_Return);

    QCOMPARE(device.server.commandLog(), log);
    QCOMPARE(edit->text(), shown);
    const sim::DeviceState state = device.server.state();
    QCOMPARE(QString::number(field == "le_vexaKey" ? state.vexaKey : state.vexaId), shown);
}

void TestFarcastPage::refresh_skipsFocusedKey()
{
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    // Filled from the device first: moving the focus between fields writes the one it leaves.
    page.refresh();
    page.show();
    QApplication::setActiveWindow(&page);
    QVERIFY(QTest::qWaitForWindowActive(&page));
    QLineEdit *key = lineEdit(page, "le_vexaKey");
    key->setFocus();
    QTRY_VERIFY(key->hasFocus());
    key->setText(QStringLiteral("12"));
    device.server.modifyState([](sim::DeviceState &s) {
        s.vexaKey = 99;
        s.vexaId = 77;
        s.antenna = 2;
    });
    device.server.clearLog();

    page.refresh();

    QStringList expected = refreshCommands;
    expected.removeOne(QStringLiteral("getVexaKey"));
    QCOMPARE(device.server.commandLog(), expected);
    QCOMPARE(key->text(), QString("12"));
    QCOMPARE(lineEdit(page, "le_vexaId")->text(), QString("77"));
    QCOMPARE(combo(page, "cb_antSelect")->currentIndex(), 2);
}

void TestFarcastPage::hiddenInputMode_leavesOtherFieldsInPlace()
{
    FarcastWidget page(nullptr);
    page.show();
    const QStringList others{"gb_vexaId", "gb_antSelect", "gb_outputPower", "gb_vexaKey"};
    QList<QRect> before;
    for (const QString &name : others)
        before << page.findChild<QGroupBox *>(name)->geometry();

    page.setInputModeVisible(false);

    QVERIFY(!page.findChild<QGroupBox *>(QStringLiteral("gb_dmxInputMode"))->isVisible());
    QVERIFY(!combo(page, "cb_dmxInputMode")->isVisible());
    for (int i = 0; i < others.size(); ++i) {
        QGroupBox *group = page.findChild<QGroupBox *>(others.at(i));
        QVERIFY(group->isVisible());
        QCOMPARE(group->geometry(), before.at(i));
    }
    page.setInputModeVisible(true);
    QVERIFY(combo(page, "cb_dmxInputMode")->isVisible());
}

void TestFarcastPage::wheelOverComboBoxes_changesNothing()
{
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    page.show();
    device.server.clearLog();
    for (const char *name : {"cb_dmxInputMode", "cb_antSelect", "cb_outputPower"}) {
        QComboBox *box = combo(page, name);
        box->setCurrentIndex(0);
        QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
        QCOMPARE(box->currentIndex(), 0);
    }
    QCOMPARE(device.server.commandLog(), QStringList());
}

void TestFarcastPage::closedChannel_resetsBoxesAndKeepsTexts()
{
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.wirelessInput = true;
        s.antenna = 3;
        s.power = 2;
        s.vexaKey = 123;
    });
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    page.refresh();
    QCOMPARE(combo(page, "cb_antSelect")->currentIndex(), 3);

    device.serial.close();
    page.refresh();

    QCOMPARE(combo(page, "cb_dmxInputMode")->currentText(), QString("Wired"));
    QCOMPARE(combo(page, "cb_antSelect")->currentText(), QString("Internal"));
    QCOMPARE(combo(page, "cb_outputPower")->currentText(), QString("Low"));
    QCOMPARE(lineEdit(page, "le_vexaKey")->text(), QString("123"));
}

QTEST_MAIN(TestFarcastPage)
#include "tst_page_farcast.moc"
