#include "pages/DmxWidget.h"
#include "support/DeviceFixture.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

// The DMX port pages against a simulated device on a pseudo-terminal: what each
// refresh and each edit sends, what the device ends up holding, and what the
// page then shows.
class TestDmxPage : public QObject
{
    Q_OBJECT

private slots:
    void refresh_sendsQueriesInOrderAndShowsDevice_data();
    void refresh_sendsQueriesInOrderAndShowsDevice();
    void personalityEntries_followModelChannelCount_data();
    void personalityEntries_followModelChannelCount();
    void choosingPersonality_sendsDeviceValueThenReadsBack_data();
    void choosingPersonality_sendsDeviceValueThenReadsBack();
    void editingField_sendsSetThenGetAndShowsDevice_data();
    void editingField_sendsSetThenGetAndShowsDevice();
    void refresh_skipsFocusedField_data();
    void refresh_skipsFocusedField();
    void focus_highlightsOnlyTheFocusedGroup();
    void wheelOverPersonality_changesNothing();
    void closedChannel_keepsFieldsAndFallsBackToEightBit();
    void receiverCard_readsSlotOneAndHasNoPersonality();
    void receiverCard_addressHiddenOnlyWhileBothOutputsOff_data();
    void receiverCard_addressHiddenOnlyWhileBothOutputsOff();
};

namespace {

QLineEdit *lineEdit(QWidget &page, const char *name)
{
    return page.findChild<QLineEdit *>(QString::fromLatin1(name));
}

QComboBox *personalityBox(QWidget &page)
{
    return page.findChild<QComboBox *>(QStringLiteral("cb_DMXPersonality"));
}

// As a user picking from the list with the keyboard: the box moves and emits
// activated.
void chooseEntry(QComboBox *box, int index)
{
    box->setCurrentIndex(index == 0 ? 1 : index - 1);
    QTest::keyClick(box, index == 0 ? Qt::Key_Up : Qt::Key_Down);
}

void activate(QWidget &page)
{
    page.show();
    QApplication::setActiveWindow(&page);
    QVERIFY(QTest::qWaitForWindowActive(&page));
}

} // namespace

#define CONNECT_DEVICE(device) QVERIFY2((device).connect(), qPrintable((device).lastError()))

void TestDmxPage::refresh_sendsQueriesInOrderAndShowsDevice_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("traffic");
    QTest::addColumn<bool>("sixteenBit");
    QTest::newRow("5-channel, traffic on, 16-bit") << "7146" << true << true;
    QTest::newRow("2-channel, traffic off, 8-bit") << "7127" << false << false;
}

void TestDmxPage::refresh_sendsQueriesInOrderAndShowsDevice()
{
    QFETCH(QString, model);
    QFETCH(bool, traffic);
    QFETCH(bool, sixteenBit);
    DeviceFixture device(model);
    CONNECT_DEVICE(device);
    device.server.modifyState([&](sim::DeviceState &s) {
        s.rdmTraffic = traffic;
        s.sixteenBit = sixteenBit;
        s.portLabel = QStringLiteral("Truss 'A' left");
        s.universe = 17;
        s.dmxAddress = 301;
    });
    DmxWidget page(model, nullptr);
    page.setSerial(&device.serial);
    // Start every widget in the state the device is not in, so each read has to
    // change it.
    page.findChild<QCheckBox *>()->setChecked(!traffic);
    personalityBox(page)->setCurrentIndex(sixteenBit ? 0 : 1);

    QList<int> commandsAtSignal;
    connect(&page, &BaseWidget::iconUpdateSignal,
            [&] { commandsAtSignal << device.server.commandLog().size(); });
    device.server.clearLog();
    page.refresh();

    QCOMPARE(device.server.commandLog(),
             QStringList({"getRdmTraffic", "getRdmLabel p", "getUniverse", "getDmxAddress",
                          "getDmxPersonality"}));
    QCOMPARE(commandsAtSignal, QList<int>({0, 2, 4}));
    QCheckBox *box = page.findChild<QCheckBox *>(QStringLiteral("c_RDMTrafficEnable"));
    QCOMPARE(box->isChecked(), traffic);
    QCOMPARE(box->text(),
             traffic ? QString("RDM Traffic Enabled") : QString("RDM Traffic Disabled"));
    QCOMPARE(lineEdit(page, "le_DMXPortLabel")->text(), QString("Truss 'A' left"));
    QCOMPARE(lineEdit(page, "le_Universe")->text(), QString("17"));
    QCOMPARE(lineEdit(page, "le_DMXAddress")->text(), QString("301"));
    QCOMPARE(personalityBox(page)->currentIndex(), sixteenBit ? 1 : 0);
}

void TestDmxPage::personalityEntries_followModelChannelCount_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("7146") << "7146" << QStringList{"1 - 8-bit (5ch)", "2 - 16-bit (10ch)"};
    QTest::newRow("7147") << "7147" << QStringList{"1 - 8-bit (5ch)", "2 - 16-bit (10ch)"};
    QTest::newRow("7126") << "7126" << QStringList{"1 - 8-bit (2ch)", "2 - 16-bit (4ch)"};
    QTest::newRow("7127") << "7127" << QStringList{"1 - 8-bit (2ch)", "2 - 16-bit (4ch)"};
}

void TestDmxPage::personalityEntries_followModelChannelCount()
{
    QFETCH(QString, model);
    QFETCH(QStringList, entries);
    DmxWidget page(model, nullptr);
    QComboBox *box = personalityBox(page);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i)
        shown << box->itemText(i);
    QCOMPARE(shown, entries);
}

void TestDmxPage::choosingPersonality_sendsDeviceValueThenReadsBack_data()
{
    QTest::addColumn<bool>("startSixteenBit");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("sent");
    QTest::newRow("16-bit entry is sent as 1") << false << 1 << "setDmxPersonality 1";
    QTest::newRow("8-bit entry is sent as 0") << true << 0 << "setDmxPersonality 0";
}

void TestDmxPage::choosingPersonality_sendsDeviceValueThenReadsBack()
{
    QFETCH(bool, startSixteenBit);
    QFETCH(int, chosen);
    QFETCH(QString, sent);
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    device.server.modifyState([&](sim::DeviceState &s) { s.sixteenBit = startSixteenBit; });
    DmxWidget page("7146", nullptr);
    page.setSerial(&device.serial);
    device.server.clearLog();

    chooseEntry(personalityBox(page), chosen);

    QCOMPARE(device.server.commandLog(), QStringList({sent, "getDmxPersonality"}));
    QCOMPARE(device.server.state().sixteenBit, chosen == 1);
    QCOMPARE(personalityBox(page)->currentIndex(), chosen);
}

void TestDmxPage::editingField_sendsSetThenGetAndShowsDevice_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("shown");

    const QString longest(238, QLatin1Char('x')); // the longest label whose command fits
    QTest::newRow("universe") << QByteArray("le_Universe") << "12"
                              << QStringList{"setUniverse 12", "getUniverse"} << "12";
    QTest::newRow("address") << QByteArray("le_DMXAddress") << "300"
                             << QStringList{"setDmxAddress 300", "getDmxAddress"} << "300";
    QTest::newRow("label with blanks and quotes")
        << QByteArray("le_DMXPortLabel") << "Front 'wash' 2"
        << QStringList{"setRdmLabel p \"Front 'wash' 2\"", "getRdmLabel p"} << "Front 'wash' 2";
    QTest::newRow("letters in universe are sent and revert")
        << QByteArray("le_Universe") << "abc" << QStringList{"setUniverse abc", "getUniverse"}
        << "7";
    QTest::newRow("address out of the device's range reverts")
        << QByteArray("le_DMXAddress") << "513" << QStringList{"setDmxAddress 513", "getDmxAddress"}
        << "9";
    QTest::newRow("label that just fits is sent; device refuses it")
        << QByteArray("le_DMXPortLabel") << longest
        << QStringList{"setRdmLabel p \"" + longest + "\"", "getRdmLabel p"} << "Old";
    QTest::newRow("label one byte too long is not sent")
        << QByteArray("le_DMXPortLabel") << longest + "x" << QStringList{"getRdmLabel p"} << "Old";
    QTest::newRow("label too long only in UTF-8 is not sent")
        << QByteArray("le_DMXPortLabel") << QString(120, QChar(0x00e9))
        << QStringList{"getRdmLabel p"} << "Old";
    QTest::newRow("universe too long is not sent")
        << QByteArray("le_Universe") << QString(243, QLatin1Char('1')) << QStringList{"getUniverse"}
        << "7";
}

void TestDmxPage::editingField_sendsSetThenGetAndShowsDevice()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, typed);
    QFETCH(QStringList, log);
    QFETCH(QString, shown);
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.universe = 7;
        s.dmxAddress = 9;
        s.portLabel = QStringLiteral("Old");
    });
    DmxWidget page("7146", nullptr);
    page.setSerial(&device.serial);
    const sim::DeviceState before = device.server.state();
    device.server.clearLog();

    QLineEdit *edit = lineEdit(page, field.constData());
    edit->setText(typed);
    QTest::keyClick(edit, Qt::Key_Return);

    QCOMPARE(device.server.commandLog(), log);
    QCOMPARE(edit->text(), shown);
    const sim::DeviceState after = device.server.state();
    const bool changed =
        shown != QLatin1String("7") && shown != QLatin1String("9") && shown != QLatin1String("Old");
    QCOMPARE(after != before, changed);
    if (field == "le_Universe")
        QCOMPARE(QString::number(after.universe), shown);
    else if (field == "le_DMXAddress")
        QCOMPARE(QString::number(after.dmxAddress), shown);
    else
        QCOMPARE(after.portLabel, shown);
}

void TestDmxPage::refresh_skipsFocusedField_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("skipped");
    QTest::newRow("label") << QByteArray("le_DMXPortLabel") << "getRdmLabel p";
    QTest::newRow("universe") << QByteArray("le_Universe") << "getUniverse";
    QTest::newRow("address") << QByteArray("le_DMXAddress") << "getDmxAddress";
}

void TestDmxPage::refresh_skipsFocusedField()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, skipped);
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.universe = 44;
        s.dmxAddress = 55;
        s.portLabel = QStringLiteral("Device");
    });
    DmxWidget page("7146", nullptr);
    page.setSerial(&device.serial);
    activate(page);
    QLineEdit *typing = lineEdit(page, field.constData());
    typing->setFocus();
    QTRY_VERIFY(typing->hasFocus());
    typing->setText(QStringLiteral("half-typed"));
    device.server.clearLog();

    page.refresh();

    QStringList expected{"getRdmTraffic", "getRdmLabel p", "getUniverse", "getDmxAddress",
                         "getDmxPersonality"};
    expected.removeOne(skipped);
    QCOMPARE(device.server.commandLog(), expected);
    QCOMPARE(typing->text(), QString("half-typed"));
    const QStringList others{"le_DMXPortLabel", "le_Universe", "le_DMXAddress"};
    const QStringList values{"Device", "44", "55"};
    for (int i = 0; i < others.size(); ++i) {
        if (others.at(i) != QLatin1String(field))
            QCOMPARE(lineEdit(page, qPrintable(others.at(i)))->text(), values.at(i));
    }
}

void TestDmxPage::focus_highlightsOnlyTheFocusedGroup()
{
    DmxWidget page("7146", nullptr);
    activate(page);
    // The expected sheets come from the theme itself, applied to widgets of the
    // same kinds.
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

    auto groupSheet = [&](const char *name) {
        return page.findChild<QGroupBox *>(QString::fromLatin1(name))->styleSheet();
    };
    lineEdit(page, "le_Universe")->setFocus();
    QTRY_COMPARE(groupSheet("gb_Universe"), editFocused);
    QCOMPARE(groupSheet("gb_DMXAddress"), editNormal);

    lineEdit(page, "le_DMXAddress")->setFocus();
    QTRY_COMPARE(groupSheet("gb_DMXAddress"), editFocused);
    QCOMPARE(groupSheet("gb_Universe"), editNormal);

    personalityBox(page)->setFocus();
    QTRY_COMPARE(groupSheet("gb_DMXPersonality"), comboFocused);
    QCOMPARE(groupSheet("gb_DMXAddress"), editNormal);
}

void TestDmxPage::wheelOverPersonality_changesNothing()
{
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    DmxWidget page("7146", nullptr);
    page.setSerial(&device.serial);
    activate(page);
    QComboBox *box = personalityBox(page);
    box->setCurrentIndex(0);
    device.server.clearLog();

    auto wheelDown = [](QWidget *target) {
        QWheelEvent wheel(QPointF(5, 5), target->mapToGlobal(QPoint(5, 5)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    };
    // The same wheel turn does move an ordinary box, so the event itself is
    // effective.
    QComboBox plain;
    plain.addItems({"a", "b"});
    wheelDown(&plain);
    QCOMPARE(plain.currentIndex(), 1);

    wheelDown(box);
    wheelDown(box->lineEdit()); // the editable box's text part passes the wheel
                                // on to the box
    QCOMPARE(box->currentIndex(), 0);
    QCOMPARE(device.server.commandLog(), QStringList());
}

void TestDmxPage::closedChannel_keepsFieldsAndFallsBackToEightBit()
{
    DeviceFixture device("7146");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.rdmTraffic = true;
        s.sixteenBit = true;
        s.universe = 5;
    });
    DmxWidget page("7146", nullptr);
    page.setSerial(&device.serial);
    page.refresh();
    QCOMPARE(personalityBox(page)->currentIndex(), 1);

    device.serial.close();
    QSignalSpy spy(&page, &BaseWidget::iconUpdateSignal);
    QVERIFY(spy.isValid());
    page.refresh();

    QCOMPARE(spy.count(), 3);
    QVERIFY(page.findChild<QCheckBox *>()->isChecked());
    QCOMPARE(lineEdit(page, "le_Universe")->text(), QString("5"));
    QCOMPARE(personalityBox(page)->currentIndex(), 0);
}

void TestDmxPage::receiverCard_readsSlotOneAndHasNoPersonality()
{
    DeviceFixture device("7185");
    CONNECT_DEVICE(device);
    device.server.modifyState([](sim::DeviceState &s) {
        s.portLabel = QStringLiteral("Rack two");
        s.rdmTraffic = true;
        s.dmxAddress = 120;
    });
    DmxWidget2 page(nullptr);
    page.setSerial(&device.serial);
    QCOMPARE(page.objectName(), QString("DmxWidget2"));
    QVERIFY(!personalityBox(page));
    QVERIFY(!page.findChild<QGroupBox *>(QStringLiteral("gb_DMXPersonality")));

    QList<int> commandsAtSignal;
    connect(&page, &BaseWidget::iconUpdateSignal,
            [&] { commandsAtSignal << device.server.commandLog().size(); });
    device.server.clearLog();
    page.refresh();
    QCOMPARE(device.server.commandLog(),
             QStringList({"getRdmTraffic", "getRdmLabel 1", "getUniverse", "getDmxAddress"}));
    QCOMPARE(commandsAtSignal, QList<int>({0, 2, 4}));
    QCOMPARE(lineEdit(page, "le_DMXPortLabel")->text(), QString("Rack two"));
    QCOMPARE(lineEdit(page, "le_DMXAddress")->text(), QString("120"));
    QCOMPARE(page.findChild<QCheckBox *>()->text(), QString("RDM Traffic Enabled"));

    device.server.clearLog();
    QLineEdit *label = lineEdit(page, "le_DMXPortLabel");
    label->setText(QStringLiteral("Rack three"));
    QTest::keyClick(label, Qt::Key_Return);
    QCOMPARE(device.server.commandLog(),
             QStringList({"setRdmLabel 1 \"Rack three\"", "getRdmLabel 1"}));
    QCOMPARE(device.server.state().portLabel, QString("Rack three"));
    QCOMPARE(label->text(), QString("Rack three"));
}

void TestDmxPage::receiverCard_addressHiddenOnlyWhileBothOutputsOff_data()
{
    QTest::addColumn<bool>("pwm");
    QTest::addColumn<bool>("zeroTen");
    QTest::newRow("both off") << false << false;
    QTest::newRow("PWM on") << true << false;
    QTest::newRow("0-10V on") << false << true;
    QTest::newRow("both on") << true << true;
}

void TestDmxPage::receiverCard_addressHiddenOnlyWhileBothOutputsOff()
{
    QFETCH(bool, pwm);
    QFETCH(bool, zeroTen);
    DmxWidget2 page(nullptr);
    QGroupBox *address = page.findChild<QGroupBox *>(QStringLiteral("gb_DMXAddress"));
    const bool hidden = !pwm && !zeroTen;
    // Start from the opposite state so the call has to change it.
    page.onPwmZeroTenChanged(hidden, hidden);
    QCOMPARE(address->isHidden(), !hidden);
    page.onPwmZeroTenChanged(pwm, zeroTen);
    QCOMPARE(address->isHidden(), hidden);
    QVERIFY(!page.findChild<QGroupBox *>(QStringLiteral("gb_Universe"))->isHidden());
}

QTEST_MAIN(TestDmxPage)
#include "tst_page_dmx.moc"
