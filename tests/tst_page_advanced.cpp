#include "pages/AdvancedWidget.h"
#include "pages/DmxWidget.h"
#include "support/DeviceFixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <QtTest>

// The output switches against a simulated receiver card: the flag word rule,
// the write-then-read flow, and the announcements that the DMX port page
// listens to.
class TestAdvancedPage : public QObject
{
    Q_OBJECT

private slots:
    void refresh_readsBothSwitchesAndAnnouncesTwice_data();
    void refresh_readsBothSwitchesAndAnnouncesTwice();
    void flagWord_checksWhenItHoldsAOne_data();
    void flagWord_checksWhenItHoldsAOne();
    void click_writesThenReadsBackAndAnnouncesOnce_data();
    void click_writesThenReadsBackAndAnnouncesOnce();
    void deviceRefusingChange_putsBoxBack();
    void closedChannel_leavesBoxesAndStillAnnounces();
    void announcement_hidesAddressOnReceiverDmxPage();
};

namespace {

QCheckBox *pwmBox(QWidget &page)
{
    return page.findChild<QCheckBox *>(QStringLiteral("c_PwmOutput"));
}

QCheckBox *zeroTenBox(QWidget &page)
{
    return page.findChild<QCheckBox *>(QStringLiteral("c_ZeroTenOutput"));
}

} // namespace

#define CONNECT_DEVICE(device) QVERIFY2((device).connect(), qPrintable((device).lastError()))

void TestAdvancedPage::refresh_readsBothSwitchesAndAnnouncesTwice_data()
{
    QTest::addColumn<bool>("pwm");
    QTest::addColumn<bool>("zeroTen");
    QTest::newRow("PWM only") << true << false;
    QTest::newRow("0-10V only") << false << true;
}

void TestAdvancedPage::refresh_readsBothSwitchesAndAnnouncesTwice()
{
    QFETCH(bool, pwm);
    QFETCH(bool, zeroTen);
    DeviceFixture device("7186");
    CONNECT_DEVICE(device);
    device.server.modifyState([&](sim::DeviceState &s) {
        s.pwmOutput = pwm;
        s.zeroTenOutput = zeroTen;
    });
    AdvancedWidget page(nullptr);
    page.setSerial(&device.serial);
    pwmBox(page)->setChecked(!pwm);
    zeroTenBox(page)->setChecked(!zeroTen);
    QSignalSpy icon(&page, &BaseWidget::iconUpdateSignal);
    QSignalSpy announced(&page, &AdvancedWidget::PwmZeroTenOutputChanged);
    QVERIFY(icon.isValid());
    QVERIFY(announced.isValid());
    device.server.clearLog();

    page.refresh();

    QCOMPARE(device.server.commandLog(), QStringList({"getPwmConfig", "get0-10Config"}));
    QCOMPARE(icon.count(), 2);
    QCOMPARE(announced.count(), 2);
    // The first announcement comes before the 0-10V read, the second carries both
    // fresh states.
    QCOMPARE(announced.at(0), QVariantList({pwm, !zeroTen}));
    QCOMPARE(announced.at(1), QVariantList({pwm, zeroTen}));
    QCOMPARE(pwmBox(page)->text(),
             pwm ? QString("PWM Output Enabled") : QString("PWM Output Disabled"));
    QCOMPARE(zeroTenBox(page)->text(),
             zeroTen ? QString("0-10V Output Enabled") : QString("0-10V Output Disabled"));
}

void TestAdvancedPage::flagWord_checksWhenItHoldsAOne_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("checked");
    const QByteArray caption("PWM output switch state: ");
    QTest::newRow("1") << caption + "1" << true;
    QTest::newRow("10") << caption + "10" << true;
    QTest::newRow("ON1") << caption + "ON1" << true;
    QTest::newRow("0") << caption + "0" << false;
    QTest::newRow("ON") << caption + "ON" << false;
    QTest::newRow("answer cut short") << QByteArray("PWM") << false;
}

void TestAdvancedPage::flagWord_checksWhenItHoldsAOne()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, checked);
    DeviceFixture device("7185");
    CONNECT_DEVICE(device);
    device.server.setReplyOverride([=](const QByteArray &line) -> std::optional<QByteArray> {
        if (line.trimmed() == "getPwmConfig")
            return "getPwmConfig\r\n" + answer + "\r\n718x:";
        return std::nullopt;
    });
    AdvancedWidget page(nullptr);
    page.setSerial(&device.serial);
    pwmBox(page)->setChecked(!checked);

    page.refresh();

    QCOMPARE(pwmBox(page)->isChecked(), checked);
    QCOMPARE(pwmBox(page)->text(),
             checked ? QString("PWM Output Enabled") : QString("PWM Output Disabled"));
}

void TestAdvancedPage::click_writesThenReadsBackAndAnnouncesOnce_data()
{
    QTest::addColumn<bool>("clickPwm");
    QTest::addColumn<bool>("before");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("PWM on") << true << false << QStringList{"setPwmConfig 1", "getPwmConfig"};
    QTest::newRow("PWM off") << true << true << QStringList{"setPwmConfig 0", "getPwmConfig"};
    QTest::newRow("0-10V on") << false << false << QStringList{"set0-10Config 1", "get0-10Config"};
    QTest::newRow("0-10V off") << false << true << QStringList{"set0-10Config 0", "get0-10Config"};
}

void TestAdvancedPage::click_writesThenReadsBackAndAnnouncesOnce()
{
    QFETCH(bool, clickPwm);
    QFETCH(bool, before);
    QFETCH(QStringList, log);
    DeviceFixture device("7185");
    CONNECT_DEVICE(device);
    // The other output is on, so the announcement's other argument is visibly
    // carried along.
    device.server.modifyState([&](sim::DeviceState &s) {
        s.pwmOutput = clickPwm ? before : true;
        s.zeroTenOutput = clickPwm ? true : before;
    });
    AdvancedWidget page(nullptr);
    page.setSerial(&device.serial);
    page.refresh();
    QSignalSpy announced(&page, &AdvancedWidget::PwmZeroTenOutputChanged);
    QVERIFY(announced.isValid());
    device.server.clearLog();

    (clickPwm ? pwmBox(page) : zeroTenBox(page))->click();

    QCOMPARE(device.server.commandLog(), log);
    const sim::DeviceState state = device.server.state();
    QCOMPARE(clickPwm ? state.pwmOutput : state.zeroTenOutput, !before);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.at(0), QVariantList({clickPwm ? !before : true, clickPwm ? true : !before}));
}

void TestAdvancedPage::deviceRefusingChange_putsBoxBack()
{
    DeviceFixture device("7185");
    CONNECT_DEVICE(device);
    // A device that keeps its output off whatever it is told.
    device.server.setReplyOverride([](const QByteArray &line) -> std::optional<QByteArray> {
        if (line.trimmed() == "get0-10Config")
            return QByteArray("get0-10Config\r\nAnalog voltage output state: 0\r\n718x:");
        return std::nullopt;
    });
    AdvancedWidget page(nullptr);
    page.setSerial(&device.serial);
    page.refresh();
    QSignalSpy announced(&page, &AdvancedWidget::PwmZeroTenOutputChanged);
    QVERIFY(announced.isValid());

    zeroTenBox(page)->click();

    QVERIFY(!zeroTenBox(page)->isChecked());
    QCOMPARE(zeroTenBox(page)->text(), QString("0-10V Output Disabled"));
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.at(0).at(1).toBool(), false);
}

void TestAdvancedPage::closedChannel_leavesBoxesAndStillAnnounces()
{
    DeviceFixture device("7185");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.pwmOutput = true;
        s.zeroTenOutput = true;
    });
    AdvancedWidget page(nullptr);
    page.setSerial(&device.serial);
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

void TestAdvancedPage::announcement_hidesAddressOnReceiverDmxPage()
{
    DeviceFixture device("7185");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.pwmOutput = false;
        s.zeroTenOutput = false;
    });
    AdvancedWidget page(nullptr);
    page.setSerial(&device.serial);
    DmxWidget2 dmx(nullptr);
    connect(&page, &AdvancedWidget::PwmZeroTenOutputChanged, &dmx,
            &DmxWidget2::onPwmZeroTenChanged);
    QGroupBox *address = dmx.findChild<QGroupBox *>(QStringLiteral("gb_DMXAddress"));

    page.refresh();
    QVERIFY(address->isHidden());

    pwmBox(page)->click();
    QVERIFY(!address->isHidden());
    QVERIFY(device.server.state().pwmOutput);

    pwmBox(page)->click();
    QVERIFY(address->isHidden());
}

QTEST_MAIN(TestAdvancedPage)
#include "tst_page_advanced.moc"
