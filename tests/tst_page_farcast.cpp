#include "pages/FarcastWidget.h"
#include "support/PageTestUtil.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QtTest>

using pagetest::child;

namespace {

const QStringList refreshCommands{"getInputMode", "getVexaId", "getAntenna", "getFCPower",
                                  "getVexaKey"};

int selected(const QWidget &page, const char *box)
{
    return child<QComboBox>(page, box)->currentIndex();
}

QString text(const QWidget &page, const char *field)
{
    return child<QLineEdit>(page, field)->text();
}

} // namespace

// Entry positions are the device's numbers both ways, and typed values are the device's to judge.
class TestFarcastPage : public QObject
{
    Q_OBJECT

private slots:
    void refresh_sendsQueriesInOrderAndShowsDevice_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("wireless");
        QTest::addColumn<int>("antenna");
        QTest::addColumn<int>("power");
        QTest::newRow("dimmer, wireless, Yagi, Max") << "7146" << true << 3 << 3;
        QTest::newRow("receiver card, wired, Omni, Medium") << "7186" << false << 1 << 1;
    }

    void refresh_sendsQueriesInOrderAndShowsDevice()
    {
        QFETCH(QString, model);
        QFETCH(bool, wireless);
        QFETCH(int, antenna);
        QFETCH(int, power);
        DeviceFixture device(model);
        FarcastWidget page(nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState([&](sim::DeviceState &s) {
            s.wirelessInput = wireless;
            s.antenna = antenna;
            s.power = power;
            s.vexaId = 4711;
            s.vexaKey = 321;
        });
        child<QComboBox>(page, "cb_dmxInputMode")->setCurrentIndex(wireless ? 0 : 1);
        QList<int> commandsAtSignal;
        connect(&page, &BaseWidget::iconUpdateSignal,
                [&] { commandsAtSignal << device.server.commandLog().size(); });

        page.refresh();

        QCOMPARE(device.server.commandLog(), refreshCommands);
        QCOMPARE(commandsAtSignal, QList<int>({2, 4})); // after the ID and after the power
        QCOMPARE(child<QComboBox>(page, "cb_dmxInputMode")->currentText(),
                 QString(wireless ? "Wireless" : "Wired"));
        QCOMPARE(selected(page, "cb_antSelect"), antenna);
        QCOMPARE(selected(page, "cb_outputPower"), power);
        QCOMPARE(text(page, "le_vexaId"), QString("4711"));
        QCOMPARE(text(page, "le_vexaKey"), QString("321"));
    }

    void choosingEntry_sendsItsPositionThenReadsBack_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("Yagi") << QByteArray("cb_antSelect") << 3
                              << QStringList{"setAntenna 3", "getAntenna"};
        QTest::newRow("Medium") << QByteArray("cb_outputPower") << 1
                                << QStringList{"setFCPower 1", "getFCPower"};
        QTest::newRow("Wireless") << QByteArray("cb_dmxInputMode") << 1
                                  << QStringList{"setInputMode 1", "getInputMode"};
        QTest::newRow("Wired") << QByteArray("cb_dmxInputMode") << 0
                               << QStringList{"setInputMode 0", "getInputMode"};
    }

    void choosingEntry_sendsItsPositionThenReadsBack()
    {
        QFETCH(QByteArray, box);
        QFETCH(int, chosen);
        QFETCH(QStringList, log);
        DeviceFixture device("7146");
        FarcastWidget page(nullptr);
        CONNECT_PAGE(device, page);
        // The device starts on a different entry from the one chosen.
        device.server.modifyState([&](sim::DeviceState &s) {
            s.antenna = s.power = chosen == 0 ? 2 : 0;
            s.wirelessInput = chosen == 0;
        });

        pagetest::choose(child<QComboBox>(page, box), chosen);

        QCOMPARE(device.server.commandLog(), log);
        const sim::DeviceState held = device.server.state();
        QCOMPARE(box == "cb_antSelect"     ? held.antenna
                 : box == "cb_outputPower" ? held.power
                                           : int(held.wirelessInput),
                 chosen);
        QCOMPARE(selected(page, box), chosen);
    }

    void oddReplies_selectByPageRules_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("index");
        QTest::newRow("antenna 7 selects nothing")
            << QByteArray("cb_antSelect") << QByteArray("getAntenna\r\nAntenna selection is 7")
            << -1;
        QTest::newRow("antenna x selects Internal")
            << QByteArray("cb_antSelect") << QByteArray("getAntenna\r\nAntenna selection is x")
            << 0;
        QTest::newRow("power 7 selects nothing")
            << QByteArray("cb_outputPower") << QByteArray("getFCPower\r\nFarcast output power is 7")
            << -1;
        QTest::newRow("any text with ireless is wireless")
            << QByteArray("cb_dmxInputMode")
            << QByteArray("getInputMode\r\nDMX input mode is xirelessy") << 1;
        QTest::newRow("capital W alone is not enough")
            << QByteArray("cb_dmxInputMode") << QByteArray("getInputMode\r\nDMX input mode is W")
            << 0;
    }

    void oddReplies_selectByPageRules()
    {
        QFETCH(QByteArray, box);
        QFETCH(QByteArray, reply);
        QFETCH(int, index);
        DeviceFixture device("7185");
        FarcastWidget page(nullptr);
        CONNECT_PAGE(device, page);
        const QByteArray command = reply.left(reply.indexOf('\r'));
        device.server.setReplyOverride([=](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.trimmed() == command)
                return reply + "\r\n718x:";
            return std::nullopt;
        });
        child<QComboBox>(page, box)->setCurrentIndex(index == 1 ? 0 : 1);

        page.refresh();

        QCOMPARE(selected(page, box), index);
        QVERIFY(device.serial.isOpen());
    }

    void editingField_sendsTextAsTypedThenShowsDevice_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ID") << QByteArray("le_vexaId") << "60000"
                            << QStringList{"setVexaId 60000", "getVexaId"} << "60000";
        QTest::newRow("key with a blank is sent as typed")
            << QByteArray("le_vexaKey") << " 42" << QStringList{"setVexaKey  42", "getVexaKey"}
            << "42";
        QTest::newRow("key above 500 is sent unchanged; device keeps its own")
            << QByteArray("le_vexaKey") << "750" << QStringList{"setVexaKey 750", "getVexaKey"}
            << "11";
        QTest::newRow("key too long for the device's buffer is not sent")
            << QByteArray("le_vexaKey") << QString(245, '9') << QStringList{"getVexaKey"} << "11";
    }

    void editingField_sendsTextAsTypedThenShowsDevice()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, typed);
        QFETCH(QStringList, log);
        QFETCH(QString, shown);
        DeviceFixture device("7146");
        FarcastWidget page(nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState([](sim::DeviceState &s) {
            s.vexaKey = 11;
            s.vexaId = 22;
        });

        auto *edit = child<QLineEdit>(page, field);
        edit->setText(typed);
        QTest::keyClick(edit, Qt::Key_Return);

        QCOMPARE(device.server.commandLog(), log);
        QCOMPARE(edit->text(), shown);
        const sim::DeviceState held = device.server.state();
        QCOMPARE(QString::number(field == "le_vexaKey" ? held.vexaKey : held.vexaId), shown);
    }

    void refresh_skipsFocusedKey()
    {
        DeviceFixture device("7146");
        FarcastWidget page(nullptr);
        CONNECT_PAGE(device, page);
        // Filled from the device first: moving the focus between fields writes the one it leaves.
        page.refresh();
        QVERIFY(pagetest::activate(page));
        auto *key = child<QLineEdit>(page, "le_vexaKey");
        QVERIFY(pagetest::focus(key));
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
        QCOMPARE(text(page, "le_vexaId"), QString("77"));
        QCOMPARE(selected(page, "cb_antSelect"), 2);
    }

    void hiddenInputMode_leavesOtherFieldsInPlace()
    {
        FarcastWidget page(nullptr);
        page.show();
        QList<QGroupBox *> others;
        for (const char *name : {"gb_vexaId", "gb_antSelect", "gb_outputPower", "gb_vexaKey"})
            others << child<QGroupBox>(page, name);
        QList<QRect> before;
        for (QGroupBox *group : others)
            before << group->geometry();

        page.setInputModeVisible(false);

        QVERIFY(!child<QGroupBox>(page, "gb_dmxInputMode")->isVisible());
        QVERIFY(!child<QComboBox>(page, "cb_dmxInputMode")->isVisible());
        for (int i = 0; i < others.size(); ++i) {
            QVERIFY(others.at(i)->isVisible());
            QCOMPARE(others.at(i)->geometry(), before.at(i));
        }
        page.setInputModeVisible(true);
        QVERIFY(child<QComboBox>(page, "cb_dmxInputMode")->isVisible());
    }

    void wheelOverComboBoxes_changesNothing()
    {
        DeviceFixture device("7146");
        FarcastWidget page(nullptr);
        CONNECT_PAGE(device, page);
        page.show();
        for (const char *name : {"cb_dmxInputMode", "cb_antSelect", "cb_outputPower"}) {
            auto *box = child<QComboBox>(page, name);
            box->setCurrentIndex(0);
            pagetest::wheelDown(box);
            QCOMPARE(box->currentIndex(), 0);
        }
        QCOMPARE(device.server.commandLog(), QStringList());
    }

    void closedChannel_resetsBoxesAndKeepsTexts()
    {
        DeviceFixture device("7146");
        FarcastWidget page(nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState([](sim::DeviceState &s) {
            s.wirelessInput = true;
            s.antenna = 3;
            s.power = 2;
            s.vexaKey = 123;
        });
        page.refresh();
        QCOMPARE(selected(page, "cb_antSelect"), 3);

        device.serial.close();
        page.refresh();

        QCOMPARE(child<QComboBox>(page, "cb_dmxInputMode")->currentText(), QString("Wired"));
        QCOMPARE(child<QComboBox>(page, "cb_antSelect")->currentText(), QString("Internal"));
        QCOMPARE(child<QComboBox>(page, "cb_outputPower")->currentText(), QString("Low"));
        QCOMPARE(text(page, "le_vexaKey"), QString("123"));
    }
};

QTEST_MAIN(TestFarcastPage)
#include "tst_page_farcast.moc"
