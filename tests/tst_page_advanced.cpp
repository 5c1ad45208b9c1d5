#include "pages/AdvancedWidget.h"
#include "pages/DmxWidget.h"
#include "support/PageTestUtil.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <QtTest>

using pagetest::child;

namespace {

QCheckBox *pwmBox(const QWidget &page)
{
    return child<QCheckBox>(page, "c_PwmOutput");
}

QCheckBox *zeroTenBox(const QWidget &page)
{
    return child<QCheckBox>(page, "c_ZeroTenOutput");
}

} // namespace

// The output switches against a simulated receiver card, and the announcements that the DMX port
// page listens to.
class TestAdvancedPage : public QObject
{
    Q_OBJECT

private slots:
    void refresh_readsBothSwitchesAndAnnouncesTwice_data()
    {
        QTest::addColumn<bool>("pwm");
        QTest::addColumn<bool>("zeroTen");
        QTest::newRow("PWM only") << true << false;
        QTest::newRow("0-10V only") << false << true;
    }

    void refresh_readsBothSwitchesAndAnnouncesTwice()
    {
        QFETCH(bool, pwm);
        QFETCH(bool, zeroTen);
        DeviceFixture device("7186");
        AdvancedWidget page(nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState([&](sim::DeviceState &s) {
            s.pwmOutput = pwm;
            s.zeroTenOutput = zeroTen;
        });
        pwmBox(page)->setChecked(!pwm);
        zeroTenBox(page)->setChecked(!zeroTen);
        QSignalSpy icon(&page, &BaseWidget::iconUpdateSignal);
        QSignalSpy announced(&page, &AdvancedWidget::PwmZeroTenOutputChanged);
        QVERIFY(icon.isValid());
        QVERIFY(announced.isValid());

        page.refresh();

        QCOMPARE(device.server.commandLog(), QStringList({"getPwmConfig", "get0-10Config"}));
        QCOMPARE(icon.count(), 2);
        // The first announcement comes before the 0-10V read, the second carries both fresh states.
        QCOMPARE(announced, QList<QVariantList>({{pwm, !zeroTen}, {pwm, zeroTen}}));
        QCOMPARE(pwmBox(page)->text(), QString(pwm ? "PWM Output Enabled" : "PWM Output Disabled"));
        QCOMPARE(zeroTenBox(page)->text(),
                 QString(zeroTen ? "0-10V Output Enabled" : "0-10V Output Disabled"));
    }

    void flagWord_checksWhenItHoldsAOne_data()
    {
        QTest::addColumn<QByteArray>("word");
        QTest::addColumn<bool>("checked");
        QTest::newRow("ON1") << QByteArray("ON1") << true;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("ON") << QByteArray("ON") << false;
    }

    void flagWord_checksWhenItHoldsAOne()
    {
        QFETCH(QByteArray, word);
        QFETCH(bool, checked);
        DeviceFixture device("7185");
        AdvancedWidget page(nullptr);
        CONNECT_PAGE(device, page);
        device.server.setReplyOverride([=](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.trimmed() == "getPwmConfig")
                return "getPwmConfig\r\nPWM output switch state: " + word + "\r\n718x:";
            return std::nullopt;
        });
        pwmBox(page)->setChecked(!checked);

        page.refresh();

        QCOMPARE(pwmBox(page)->isChecked(), checked);
    }

    void click_writesThenReadsBackAndAnnouncesOnce_data()
    {
        QTest::addColumn<bool>("clickPwm");
        QTest::addColumn<bool>("before");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("PWM on") << true << false << QStringList{"setPwmConfig 1", "getPwmConfig"};
        QTest::newRow("PWM off") << true << true << QStringList{"setPwmConfig 0", "getPwmConfig"};
        QTest::newRow("0-10V on") << false << false
                                  << QStringList{"set0-10Config 1", "get0-10Config"};
        QTest::newRow("0-10V off")
            << false << true << QStringList{"set0-10Config 0", "get0-10Config"};
    }

    void click_writesThenReadsBackAndAnnouncesOnce()
    {
        QFETCH(bool, clickPwm);
        QFETCH(bool, before);
        QFETCH(QStringList, log);
        DeviceFixture device("7185");
        AdvancedWidget page(nullptr);
        CONNECT_PAGE(device, page);
        // The other output is on, so the announcement visibly carries it along.
        device.server.modifyState([&](sim::DeviceState &s) {
            s.pwmOutput = clickPwm ? before : true;
            s.zeroTenOutput = clickPwm ? true : before;
        });
        page.refresh();
        QSignalSpy announced(&page, &AdvancedWidget::PwmZeroTenOutputChanged);
        QVERIFY(announced.isValid());
        device.server.clearLog();

        (clickPwm ? pwmBox(page) : zeroTenBox(page))->click();

        QCOMPARE(device.server.commandLog(), log);
        const sim::DeviceState held = device.server.state();
        QCOMPARE(clickPwm ? held.pwmOutput : held.zeroTenOutput, !before);
        QCOMPARE(announced,
                 QList<QVariantList>({{clickPwm ? !before : true, clickPwm ? true : !before}}));
    }

    void deviceRefusingChange_putsBoxBack()
    {
        DeviceFixture device("7185");
        AdvancedWidget page(nullptr);
        CONNECT_PAGE(device, page);
        // A device that keeps its output off whatever it is told.
        device.server.setReplyOverride([](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.trimmed() == "get0-10Config")
                return QByteArray("get0-10Config\r\nAnalog voltage output state: 0\r\n718x:");
            return std::nullopt;
        });
        page.refresh();
        QSignalSpy announced(&page, &AdvancedWidget::PwmZeroTenOutputChanged);
        QVERIFY(announced.isValid());

        zeroTenBox(page)->click();

        QVERIFY(!zeroTenBox(page)->isChecked());
        QCOMPARE(zeroTenBox(page)->text(), QString("0-10V Output Disabled"));
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced.at(0).at(1).toBool(), false);
    }

    void closedChannel_leavesBoxesAndStillAnnounces()
    {
        DeviceFixture device("7185");
        AdvancedWidget page(nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState(
            [](sim::DeviceState &s) { s.pwmOutput = s.zeroTenOutput = true; });
        page.refresh();
        device.serial.close();
        QSignalSpy announced(&page, &AdvancedWidget::PwmZeroTenOutputChanged);
        QVERIFY(announced.isValid());

        page.refresh();
        QCOMPARE(announced.count(), 2);
        QCOMPARE(announced.at(1), QVariantList({true, true}));

        zeroTenBox(page)->click();
        QVERIFY(!zeroTenBox(page)->isChecked());
        QCOMPARE(zeroTenBox(page)->text(), QString("0-10V Output Disabled"));
        QCOMPARE(announced.count(), 3);
        QCOMPARE(announced.at(2), QVariantList({true, false}));
        QVERIFY(device.server.state().zeroTenOutput);
    }

    void announcement_hidesAddressOnReceiverDmxPage()
    {
        DeviceFixture device("7185");
        AdvancedWidget page(nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState(
            [](sim::DeviceState &s) { s.pwmOutput = s.zeroTenOutput = false; });
        DmxWidget2 dmx(nullptr);
        connect(&page, &AdvancedWidget::PwmZeroTenOutputChanged, &dmx,
                &DmxWidget2::onPwmZeroTenChanged);
        auto *address = child<QGroupBox>(dmx, "gb_DMXAddress");

        page.refresh();
        QVERIFY(address->isHidden());
        pwmBox(page)->click();
        QVERIFY(!address->isHidden());
        QVERIFY(device.server.state().pwmOutput);
        pwmBox(page)->click();
        QVERIFY(address->isHidden());
    }
};

QTEST_MAIN(TestAdvancedPage)
#include "tst_page_advanced.moc"
