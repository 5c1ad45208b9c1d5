#include "pages/DmxWidget.h"
#include "support/PageTestUtil.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using pagetest::child;

namespace {

std::unique_ptr<BaseWidget> dmxPage(const QString &model)
{
    if (model.startsWith("718"))
        return std::make_unique<DmxWidget2>(nullptr);
    return std::make_unique<DmxWidget>(model, nullptr);
}

QString text(const QWidget &page, const char *field)
{
    return child<QLineEdit>(page, field)->text();
}

QComboBox *personalityBox(const QWidget &page)
{
    return child<QComboBox>(page, "cb_DMXPersonality");
}

} // namespace

class TestDmxPage : public QObject
{
    Q_OBJECT

private slots:
    void refresh_sendsQueriesInOrderAndShowsDevice_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("traffic");
        QTest::addColumn<bool>("sixteenBit");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("personalities");
        const QStringList reads{"getRdmTraffic", "getRdmLabel p", "getUniverse", "getDmxAddress",
                                "getDmxPersonality"};
        QTest::newRow("5-channel, traffic on, 16-bit")
            << "7146" << true << true << reads
            << QStringList{"1 - 8-bit (5ch)", "2 - 16-bit (10ch)"};
        QTest::newRow("2-channel, traffic off, 8-bit")
            << "7127" << false << false << reads
            << QStringList{"1 - 8-bit (2ch)", "2 - 16-bit (4ch)"};
        QTest::newRow("receiver card: port 1, no personality")
            << "7185" << true << false
            << QStringList{"getRdmTraffic", "getRdmLabel 1", "getUniverse", "getDmxAddress"}
            << QStringList();
    }

    void refresh_sendsQueriesInOrderAndShowsDevice()
    {
        QFETCH(QString, model);
        QFETCH(bool, traffic);
        QFETCH(bool, sixteenBit);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, personalities);
        DeviceFixture device(model);
        std::unique_ptr<BaseWidget> page = dmxPage(model);
        CONNECT_PAGE(device, *page);
        device.server.modifyState([&](sim::DeviceState &s) {
            s.rdmTraffic = traffic;
            s.sixteenBit = sixteenBit;
            s.portLabel = QStringLiteral("Truss 'A' left");
            s.universe = 17;
            s.dmxAddress = 301;
        });
        // Every widget starts where the device is not, so each read has to change it.
        auto *trafficBox = child<QCheckBox>(*page, "c_RDMTrafficEnable");
        trafficBox->setChecked(!traffic);
        QComboBox *personality = personalityBox(*page);
        if (personality)
            personality->setCurrentIndex(sixteenBit ? 0 : 1);
        QList<int> commandsAtSignal;
        connect(page.get(), &BaseWidget::iconUpdateSignal,
                [&] { commandsAtSignal << device.server.commandLog().size(); });

        page->refresh();

        QCOMPARE(device.server.commandLog(), commands);
        QCOMPARE(commandsAtSignal, QList<int>({0, 2, 4}));
        QCOMPARE(trafficBox->isChecked(), traffic);
        QCOMPARE(trafficBox->text(),
                 QString(traffic ? "RDM Traffic Enabled" : "RDM Traffic Disabled"));
        QCOMPARE(text(*page, "le_DMXPortLabel"), QString("Truss 'A' left"));
        QCOMPARE(text(*page, "le_Universe"), QString("17"));
        QCOMPARE(text(*page, "le_DMXAddress"), QString("301"));
        QCOMPARE(bool(personality), !personalities.isEmpty());
        QCOMPARE(bool(child<QGroupBox>(*page, "gb_DMXPersonality")), !personalities.isEmpty());
        if (personality) {
            QCOMPARE(personality->currentIndex(), sixteenBit ? 1 : 0);
            QCOMPARE(QStringList({personality->itemText(0), personality->itemText(1)}),
                     personalities);
            QCOMPARE(personality->count(), 2);
        }
    }

    void choosingPersonality_sendsDeviceValueThenReadsBack()
    {
        DeviceFixture device("7146");
        DmxWidget page("7146", nullptr);
        CONNECT_PAGE(device, page);
        QComboBox *box = personalityBox(page);

        for (int chosen : {1, 0}) {
            device.server.clearLog();
            pagetest::choose(box, chosen);
            QCOMPARE(device.server.commandLog(),
                     QStringList({QStringLiteral("setDmxPersonality %1").arg(chosen),
                                  "getDmxPersonality"}));
            QCOMPARE(device.server.state().sixteenBit, chosen == 1);
            QCOMPARE(box->currentIndex(), chosen);
        }
    }

    void editingField_sendsSetThenGetAndShowsDevice_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QString>("shown");
        const QString longest(238, 'x'); // the longest label whose command fits
        QTest::newRow("universe") << "7146" << QByteArray("le_Universe") << "12"
                                  << QStringList{"setUniverse 12", "getUniverse"} << "12";
        QTest::newRow("address") << "7146" << QByteArray("le_DMXAddress") << "300"
                                 << QStringList{"setDmxAddress 300", "getDmxAddress"} << "300";
        QTest::newRow("label with blanks and quotes")
            << "7146" << QByteArray("le_DMXPortLabel") << "Front 'wash' 2"
            << QStringList{"setRdmLabel p \"Front 'wash' 2\"", "getRdmLabel p"} << "Front 'wash' 2";
        QTest::newRow("receiver card label, port 1")
            << "7185" << QByteArray("le_DMXPortLabel") << "Rack three"
            << QStringList{"setRdmLabel 1 \"Rack three\"", "getRdmLabel 1"} << "Rack three";
        QTest::newRow("letters in universe are sent and revert")
            << "7146" << QByteArray("le_Universe") << "abc"
            << QStringList{"setUniverse abc", "getUniverse"} << "7";
        QTest::newRow("label that just fits is sent; device refuses it")
            << "7146" << QByteArray("le_DMXPortLabel") << longest
            << QStringList{"setRdmLabel p \"" + longest + "\"", "getRdmLabel p"} << "Old";
        QTest::newRow("label too long only in UTF-8 is not sent")
            << "7146" << QByteArray("le_DMXPortLabel") << QString(120, QChar(0x00e9))
            << QStringList{"getRdmLabel p"} << "Old";
    }

    void editingField_sendsSetThenGetAndShowsDevice()
    {
        QFETCH(QString, model);
        QFETCH(QByteArray, field);
        QFETCH(QString, typed);
        QFETCH(QStringList, log);
        QFETCH(QString, shown);
        DeviceFixture device(model);
        std::unique_ptr<BaseWidget> page = dmxPage(model);
        CONNECT_PAGE(device, *page);
        device.server.modifyState([](sim::DeviceState &s) {
            s.universe = 7;
            s.dmxAddress = 9;
            s.portLabel = QStringLiteral("Old");
        });

        auto *edit = child<QLineEdit>(*page, field);
        edit->setText(typed);
        QTest::keyClick(edit, Qt::Key_Return);

        QCOMPARE(device.server.commandLog(), log);
        QCOMPARE(edit->text(), shown);
        const sim::DeviceState held = device.server.state();
        QCOMPARE(field == "le_Universe"     ? QString::number(held.universe)
                 : field == "le_DMXAddress" ? QString::number(held.dmxAddress)
                                            : held.portLabel,
                 shown);
    }

    void refresh_skipsFocusedField_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("skipped");
        QTest::newRow("label") << QByteArray("le_DMXPortLabel") << "getRdmLabel p";
        QTest::newRow("universe") << QByteArray("le_Universe") << "getUniverse";
        QTest::newRow("address") << QByteArray("le_DMXAddress") << "getDmxAddress";
    }

    void refresh_skipsFocusedField()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, skipped);
        DeviceFixture device("7146");
        DmxWidget page("7146", nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState([](sim::DeviceState &s) {
            s.universe = 44;
            s.dmxAddress = 55;
            s.portLabel = QStringLiteral("Device");
        });
        QVERIFY(pagetest::activate(page));
        auto *typing = child<QLineEdit>(page, field);
        QVERIFY(pagetest::focus(typing));
        typing->setText(QStringLiteral("half-typed"));
        device.server.clearLog();

        page.refresh();

        QStringList expected{"getRdmTraffic", "getRdmLabel p", "getUniverse", "getDmxAddress",
                             "getDmxPersonality"};
        expected.removeOne(skipped);
        QCOMPARE(device.server.commandLog(), expected);
        const QList<std::pair<const char *, QString>> shown{
            {"le_DMXPortLabel", "Device"}, {"le_Universe", "44"}, {"le_DMXAddress", "55"}};
        for (const auto &[name, value] : shown)
            QCOMPARE(text(page, name), field == name ? QString("half-typed") : value);
    }

    void focus_highlightsOnlyTheFocusedGroup()
    {
        DmxWidget page("7146", nullptr);
        QVERIFY(pagetest::activate(page));
        // The expected sheets come from the theme itself, applied to widgets of the same kinds.
        QGroupBox group;
        QLabel caption;
        QLineEdit edit;
        QComboBox combo;
        applyEditGroupFocusStyle(&group, &caption, &edit);
        const QString editFocused = group.styleSheet();
        applyEditGroupStyle(&group, &caption, &edit);
        const QString editNormal = group.styleSheet();
        applyComboGroupFocusStyle(&group, &caption, &combo);
        const QString comboFocused = group.styleSheet();
        QVERIFY(editFocused != editNormal);
        auto sheet = [&](const char *name) { return child<QGroupBox>(page, name)->styleSheet(); };

        child<QLineEdit>(page, "le_Universe")->setFocus();
        QTRY_COMPARE(sheet("gb_Universe"), editFocused);
        QCOMPARE(sheet("gb_DMXAddress"), editNormal);
        child<QLineEdit>(page, "le_DMXAddress")->setFocus();
        QTRY_COMPARE(sheet("gb_DMXAddress"), editFocused);
        QCOMPARE(sheet("gb_Universe"), editNormal);
        personalityBox(page)->setFocus();
        QTRY_COMPARE(sheet("gb_DMXPersonality"), comboFocused);
        QCOMPARE(sheet("gb_DMXAddress"), editNormal);
    }

    void wheelOverPersonality_changesNothing()
    {
        DeviceFixture device("7146");
        DmxWidget page("7146", nullptr);
        CONNECT_PAGE(device, page);
        QVERIFY(pagetest::activate(page));
        QComboBox *box = personalityBox(page);
        box->setCurrentIndex(0);

        pagetest::wheelDown(box);
        pagetest::wheelDown(box->lineEdit()); // the text part passes the wheel on to the box

        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(device.server.commandLog(), QStringList());
    }

    void closedChannel_keepsFieldsAndFallsBackToEightBit()
    {
        DeviceFixture device("7146");
        DmxWidget page("7146", nullptr);
        CONNECT_PAGE(device, page);
        device.server.modifyState([](sim::DeviceState &s) {
            s.rdmTraffic = true;
            s.sixteenBit = true;
            s.universe = 5;
        });
        page.refresh();
        QCOMPARE(personalityBox(page)->currentIndex(), 1);
        device.serial.close();
        QSignalSpy spy(&page, &BaseWidget::iconUpdateSignal);
        QVERIFY(spy.isValid());

        page.refresh();

        QCOMPARE(spy.count(), 3);
        QVERIFY(child<QCheckBox>(page, "c_RDMTrafficEnable")->isChecked());
        QCOMPARE(text(page, "le_Universe"), QString("5"));
        QCOMPARE(personalityBox(page)->currentIndex(), 0);
    }

    void receiverCard_addressHiddenOnlyWhileBothOutputsOff_data()
    {
        QTest::addColumn<bool>("pwm");
        QTest::addColumn<bool>("zeroTen");
        QTest::newRow("both off") << false << false;
        QTest::newRow("PWM on") << true << false;
        QTest::newRow("0-10V on") << false << true;
        QTest::newRow("both on") << true << true;
    }

    void receiverCard_addressHiddenOnlyWhileBothOutputsOff()
    {
        QFETCH(bool, pwm);
        QFETCH(bool, zeroTen);
        DmxWidget2 page(nullptr);
        auto *address = child<QGroupBox>(page, "gb_DMXAddress");
        const bool hidden = !pwm && !zeroTen;
        // From the opposite state, so the call has to change it.
        page.onPwmZeroTenChanged(hidden, hidden);
        QCOMPARE(address->isHidden(), !hidden);
        page.onPwmZeroTenChanged(pwm, zeroTen);
        QCOMPARE(address->isHidden(), hidden);
        QVERIFY(!child<QGroupBox>(page, "gb_Universe")->isHidden());
    }
};

QTEST_MAIN(TestDmxPage)
#include "tst_page_dmx.moc"
