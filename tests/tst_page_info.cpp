#include "link/ModelCatalogue.h"
#include "pages/FailModeTime.h"
#include "pages/InfoWidget.h"
#include "support/DeviceFixture.h"
#include "ui/Theme.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <memory>

// The information page against the simulated device on a real pseudo-terminal: what it sends,
// what it shows, and what reaches the device when the user edits a field.
class TestInfoPage : public QObject
{
    Q_OBJECT

private slots:
    void refresh_sendsTenCommandsAndShowsTheDevice_data();
    void refresh_sendsTenCommandsAndShowsTheDevice();
    void refresh_leavesTheFocusedFieldAlone_data();
    void refresh_leavesTheFocusedFieldAlone();
    void labelEdit_reachesDeviceAndIsReadBack_data();
    void labelEdit_reachesDeviceAndIsReadBack();
    void labelTooLongForTheDeviceBuffer_isNotSent_data();
    void labelTooLongForTheDeviceBuffer_isNotSent();
    void timeEntry_sendsTenthsAndShowsTheDeviceValue_data();
    void timeEntry_sendsTenthsAndShowsTheDeviceValue();
    void untouchedTimeField_restoresAndSendsNothing();
    void returnOnUntouchedTimeField_keepsFocusAndSendsNothing();
    void infiniteButton_sendsInfiniteAndShowsIt_data();
    void infiniteButton_sendsInfiniteAndShowsIt();
    void infiniteButtonWhileEditing_commitsTheEditedFieldFirst();
    void levelEdit_showsWhatTheDeviceKept_data();
    void levelEdit_showsWhatTheDeviceKept();
    void restoreDefaults_resetsDeviceAndRereadsPage();
    void focus_highlightsOnlyTheFocusedFieldGroup_data();
    void focus_highlightsOnlyTheFocusedFieldGroup();
    void closedChannel_leavesInitialTexts();
    void silentDeviceDuringVersionRead_showsOnlyWhatWasRead();
};

namespace {

// A page of the right class for the model, wired to a connected simulator.
struct Rig
{
    explicit Rig(const QString &model) : device(model), model(model) {}

    bool start()
    {
        if (!device.connect())
            return false;
        if (getModelPrefix(model) == QLatin1String("718x:"))
            page.reset(new InfoWidget2(nullptr));
        else
            page.reset(new InfoWidget(nullptr));
        page->setSerial(&device.serial);
        return true;
    }

    template <typename T> T *child(const char *name)
    {
        return page->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *edit(const char *name) { return child<QLineEdit>(name); }
    QString text(const char *name)
    {
        if (QLineEdit *line = page->findChild<QLineEdit *>(QLatin1String(name)))
            return line->text();
        return child<QLabel>(name)->text();
    }

    // Focus changes need a shown, active window.
    bool showActive()
    {
        page->show();
        QApplication::setActiveWindow(page.get());
        return QTest::qWaitForWindowActive(page.get());
    }

    DeviceFixture device;
    QString model;
    std::unique_ptr<InfoWidget> page;
};

#define START_RIG(rig) QVERIFY2((rig).start(), qPrintable((rig).device.lastError()));

} // namespace

void TestInfoPage::refresh_sendsTenCommandsAndShowsTheDevice_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("labelCommand");
    QTest::addColumn<QString>("software");
    QTest::addColumn<QString>("boot");
    QTest::addColumn<QString>("uid");
    QTest::addColumn<int>("delay");
    QTest::addColumn<QString>("delayText");
    QTest::addColumn<int>("hold");
    QTest::addColumn<QString>("holdText");

    QTest::newRow("dimmer page") << "7146"
                                 << "InfoWidget"
                                 << "getRdmLabel r"
                                 << "2.4.1, 1.7.3"
                                 << "1.3.0, 1.0.4"
                                 << "4B56000012A4" << 905 << "0:01:30:5" << 65535 << "Infinte";
    QTest::newRow("two-channel dimmer page")
        << "7127"
        << "InfoWidget"
        << "getRdmLabel r"
        << "2.4.1, 1.7.3"
        << "1.3.0, 1.0.4"
        << "4B5600000C32" << 65534 << "1:49:13:4" << 0 << "0:00:00:0";
    QTest::newRow("receiver card page")
        << "7186"
        << "InfoWidget2"
        << "getRdmLabel 0"
        << "3.1.0, 1.7.3"
        << "1.2.2, 1.0.4"
        << "4B560000F01B" << 65535 << "Infinte" << 36000 << "1:00:00:0";
}

void TestInfoPage::refresh_sendsTenCommandsAndShowsTheDevice()
{
    QFETCH(QString, model);
    QFETCH(QString, className);
    QFETCH(QString, labelCommand);
    QFETCH(QString, software);
    QFETCH(QString, boot);
    QFETCH(QString, uid);
    QFETCH(int, delay);
    QFETCH(QString, delayText);
    QFETCH(int, hold);
    QFETCH(QString, holdText);

    Rig rig(model);
    START_RIG(rig);
    QCOMPARE(QString(rig.page->metaObject()->className()), className);
    QCOMPARE(rig.page->objectName(), className);
    rig.device.server.modifyState([&](sim::DeviceState &s) {
        s.rootLabel = QStringLiteral("Stage left 'A' rack");
        s.failDelay = delay;
        s.failHold = hold;
        s.failLevel = 128;
    });
    rig.device.server.clearLog();

    // Where in the sequence the wait animation advances: after the label, after the versions and
    // after the delay.
    QVector<int> commandsAtSignal;
    QSignalSpy spy(rig.page.get(), &BaseWidget::iconUpdateSignal);
    QVERIFY(spy.isValid());
    connect(rig.page.get(), &BaseWidget::iconUpdateSignal, this,
            [&] { commandsAtSignal << rig.device.server.commandLog().size(); });

    rig.page->refresh();

    const QStringList expected = {
        "getFWInfo",   labelCommand,  "getFWInfo",        "getFCConfig",     "getFWInfo",
        "getFCConfig", "getFCConfig", "getDataLossDelay", "getDataLossHold", "getDataLossLevel"};
    QCOMPARE(rig.device.server.commandLog(), expected);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(commandsAtSignal, QVector<int>({2, 6, 8}));

    QVERIFY(getModelName(model) != QLatin1String("Unknown"));
    QCOMPARE(rig.text("lc_modelDesc"), getModelName(model));
    QCOMPARE(rig.text("lc_manufacture"), QStringLiteral("Korvane, Inc."));
    QCOMPARE(rig.text("le_deviceLabel"), QStringLiteral("Stage left 'A' rack"));
    QCOMPARE(rig.text("lc_software"), software);
    QCOMPARE(rig.text("lc_bootSoftware"), boot);
    QCOMPARE(rig.text("lc_rdmUid"), uid);
    QCOMPARE(rig.text("le_DMXFailModeDelay"), delayText);
    QCOMPARE(rig.text("le_DMXFailModeHold"), holdText);
    QCOMPARE(rig.text("le_level"), QStringLiteral("128"));
}

void TestInfoPage::refresh_leavesTheFocusedFieldAlone_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("skippedCommand");
    QTest::newRow("device label") << "le_deviceLabel"
                                  << "Tru"
                                  << "Tru"
                                  << "getRdmLabel r";
    QTest::newRow("delay") << "le_DMXFailModeDelay"
                           << "12"
                           << " :  : 1:2"
                           << "getDataLossDelay";
    QTest::newRow("hold") << "le_DMXFailModeHold"
                          << "3"
                          << " :  :  :3"
                          << "getDataLossHold";
    QTest::newRow("level") << "le_level"
                           << "42"
                           << "42"
                           << "getDataLossLevel";
}

void TestInfoPage::refresh_leavesTheFocusedFieldAlone()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, skippedCommand);

    Rig rig("7146");
    START_RIG(rig);
    rig.page->refresh();
    QVERIFY(rig.showActive());
    QLineEdit *edit = rig.edit(qPrintable(field));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);

    rig.device.server.modifyState([](sim::DeviceState &s) {
        s.rootLabel = QStringLiteral("From device");
        s.failDelay = 600;
        s.failHold = 600;
        s.failLevel = 7;
    });
    rig.device.server.clearLog();
    rig.page->refresh();

    const QStringList log = rig.device.server.commandLog();
    QCOMPARE(log.size(), 9);
    QVERIFY(!log.contains(skippedCommand));
    QVERIFY(edit->hasFocus());
    QCOMPARE(edit->text(), shown);
    // The other fields did take the device's new values.
    const char *others[] = {"le_deviceLabel", "le_DMXFailModeDelay", "le_DMXFailModeHold",
                            "le_level"};
    const QStringList fresh = {"From device", "0:01:00:0", "0:01:00:0", "7"};
    for (int i = 0; i < 4; ++i) {
        if (field != QLatin1String(others[i]))
            QCOMPARE(rig.text(others[i]), fresh.at(i));
    }
}

void TestInfoPage::labelEdit_reachesDeviceAndIsReadBack_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("setCommand");
    QTest::addColumn<QString>("getCommand");
    QTest::newRow("dimmer") << "7146"
                            << "Truss 2 left"
                            << "setRdmLabel r \"Truss 2 left\""
                            << "getRdmLabel r";
    QTest::newRow("receiver card") << "7185"
                                   << "Truss 2 left"
                                   << "setRdmLabel 0 \"Truss 2 left\""
                                   << "getRdmLabel 0";
    QTest::newRow("apostrophes survive the quoting") << "7146"
                                                     << "Bob's 'rig'"
                                                     << "setRdmLabel r \"Bob's 'rig'\""
                                                     << "getRdmLabel r";
}

void TestInfoPage::labelEdit_reachesDeviceAndIsReadBack()
{
    QFETCH(QString, model);
    QFETCH(QString, label);
    QFETCH(QString, setCommand);
    QFETCH(QString, getCommand);

    Rig rig(model);
    START_RIG(rig);
    rig.page->refresh();
    QVERIFY(rig.showActive());
    QLineEdit *edit = rig.edit("le_deviceLabel");
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    rig.device.server.clearLog();
    edit->selectAll();
    QTest::keyClicks(edit, label);
    QTest::keyClick(edit, Qt::Key_Return);

    QCOMPARE(rig.device.server.state().rootLabel, label);
    const QStringList log = rig.device.server.commandLog();
    QVERIFY(log.size() >= 2);
    QCOMPARE(log.first(), setCommand);
    QCOMPARE(log.last(), getCommand);
    QVERIFY(!edit->hasFocus());
    QCOMPARE(edit->text(), label);
}

void TestInfoPage::labelTooLongForTheDeviceBuffer_isNotSent_data()
{
    // "setRdmLabel r \"" + label + "\"\n" and the terminating zero must fit 256 bytes.
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("sent");
    QTest::newRow("238 bytes fit exactly") << QString(238, QLatin1Char('x')) << true;
    QTest::newRow("239 bytes do not fit") << QString(239, QLatin1Char('x')) << false;
    QTest::newRow("119 two-byte characters fit") << QString(119, QChar(0xe9)) << true;
    QTest::newRow("120 two-byte characters do not") << QString(120, QChar(0xe9)) << false;
}

void TestInfoPage::labelTooLongForTheDeviceBuffer_isNotSent()
{
    QFETCH(QString, label);
    QFETCH(bool, sent);

    Rig rig("7146");
    START_RIG(rig);
    rig.device.server.modifyState(
        [](sim::DeviceState &s) { s.rootLabel = QStringLiteral("Kept"); });
    rig.page->refresh();
    QVERIFY(rig.showActive());
    QLineEdit *edit = rig.edit("le_deviceLabel");
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->setText(label);
    rig.device.server.clearLog();
    QTest::keyClick(edit, Qt::Key_Return);

    const QStringList log = rig.device.server.commandLog();
    bool anySet = false;
    for (const QString &line : log)
        anySet = anySet || line.startsWith(QLatin1String("setRdmLabel"));
    QCOMPARE(anySet, sent);
    if (sent)
        QCOMPARE(log.first(), QStringLiteral("setRdmLabel r \"%1\"").arg(label));
    // Either way the field ends up showing what the device holds (it keeps labels short).
    QCOMPARE(log.last(), QStringLiteral("getRdmLabel r"));
    QVERIFY(!edit->hasFocus());
    QCOMPARE(edit->text(), QStringLiteral("Kept"));
}

void TestInfoPage::timeEntry_sendsTenthsAndShowsTheDeviceValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");

    QTest::newRow("ninety seconds typed as 9 0 5") << "le_DMXFailModeDelay" << 0 << "905"
                                                   << " :  :90:5"
                                                   << "setDataLossDelay 905" << 905 << "0:01:30:5";
    QTest::newRow("one tenth over infinite") << "le_DMXFailModeDelay" << 65535 << "1"
                                             << " :  :  :1"
                                             << "setDataLossDelay 1" << 1 << "0:00:00:1";
    QTest::newRow("two hours becomes infinite") << "le_DMXFailModeHold" << 600 << "200000"
                                                << "2:00:00:0"
                                                << "setDataLossHold 65535" << 65535 << "Infinte";
    QTest::newRow("seven digits keep the last six")
        << "le_DMXFailModeHold" << 0 << "9012345"
        << "0:12:34:5"
        << "setDataLossHold 7545" << 7545 << "0:12:34:5";
}

void TestInfoPage::timeEntry_sendsTenthsAndShowsTheDeviceValue()
{
    QFETCH(QString, field);
    QFETCH(int, before);
    QFETCH(QString, keys);
    QFETCH(QString, entered);
    QFETCH(QString, command);
    QFETCH(int, stored);
    QFETCH(QString, shown);

    Rig rig("7146");
    START_RIG(rig);
    const bool delay = field == QLatin1String("le_DMXFailModeDelay");
    rig.device.server.modifyState(
        [&](sim::DeviceState &s) { (delay ? s.failDelay : s.failHold) = before; });
    rig.page->refresh();
    QCOMPARE(rig.text(qPrintable(field)), failmode::timeText(before));
    QVERIFY(rig.showActive());
    QLineEdit *edit = rig.edit(qPrintable(field));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QCOMPARE(edit->text(), failmode::entryTemplate());
    rig.device.server.clearLog();

    QTest::keyClicks(edit, keys);
    QCOMPARE(edit->text(), entered);
    QVERIFY(rig.device.server.commandLog().isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);

    const sim::DeviceState state = rig.device.server.state();
    QCOMPARE(delay ? state.failDelay : state.failHold, stored);
    const QStringList log = rig.device.server.commandLog();
    QCOMPARE(log.first(), command);
    // Return and the focus change it causes may both commit; every write carries the same value.
    for (const QString &line : log) {
        if (line.startsWith(QLatin1String("set")))
            QCOMPARE(line, command);
    }
    QVERIFY(!edit->hasFocus());
    QCOMPARE(edit->text(), shown);
}

void TestInfoPage::untouchedTimeField_restoresAndSendsNothing()
{
    Rig rig("7146");
    START_RIG(rig);
    rig.device.server.modifyState([](sim::DeviceState &s) { s.failDelay = 65535; });
    rig.page->refresh();
    QVERIFY(rig.showActive());
    QLineEdit *delay = rig.edit("le_DMXFailModeDelay");
    delay->setFocus();
    QTRY_VERIFY(delay->hasFocus());
    QCOMPARE(delay->text(), failmode::entryTemplate());
    rig.device.server.clearLog();

    rig.edit("le_level")->setFocus();
    QTRY_VERIFY(!delay->hasFocus());

    QCOMPARE(delay->text(), QStringLiteral("Infinte"));
    for (const QString &line : rig.device.server.commandLog())
        QVERIFY2(!line.startsWith(QLatin1String("set")), qPrintable(line));
    QVERIFY(rig.device.server.commandLog().contains(QStringLiteral("getDataLossDelay")));
    QCOMPARE(rig.device.server.state().failDelay, 65535);
}

void TestInfoPage::returnOnUntouchedTimeField_keepsFocusAndSendsNothing()
{
    Rig rig("7146");
    START_RIG(rig);
    rig.device.server.modifyState([](sim::DeviceState &s) { s.failHold = 905; });
    rig.page->refresh();
    QVERIFY(rig.showActive());
    QLineEdit *hold = rig.edit("le_DMXFailModeHold");
    hold->setFocus();
    QTRY_VERIFY(hold->hasFocus());
    rig.device.server.clearLog();

    QTest::keyClick(hold, Qt::Key_Return);

    QVERIFY(hold->hasFocus());
    QCOMPARE(hold->text(), QStringLiteral("0:01:30:5"));
    QVERIFY(rig.device.server.commandLog().isEmpty());
}

void TestInfoPage::infiniteButton_sendsInfiniteAndShowsIt_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("setCommand");
    QTest::addColumn<QString>("getCommand");
    QTest::newRow("delay") << "pb_DMXFailModeDelayInf"
                           << "le_DMXFailModeDelay"
                           << "setDataLossDelay 65535"
                           << "getDataLossDelay";
    QTest::newRow("hold") << "pb_DMXFailModeHoldInf"
                          << "le_DMXFailModeHold"
                          << "setDataLossHold 65535"
                          << "getDataLossHold";
}

void TestInfoPage::infiniteButton_sendsInfiniteAndShowsIt()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, setCommand);
    QFETCH(QString, getCommand);

    Rig rig("7147");
    START_RIG(rig);
    rig.device.server.modifyState([](sim::DeviceState &s) {
        s.failDelay = 50;
        s.failHold = 50;
    });
    rig.page->refresh();
    QCOMPARE(rig.text(qPrintable(field)), QStringLiteral("0:00:05:0"));
    rig.device.server.clearLog();

    rig.child<QPushButton>(qPrintable(button))->click();

    QCOMPARE(rig.device.server.commandLog(), QStringList({setCommand, getCommand}));
    QCOMPARE(rig.text(qPrintable(field)), QStringLiteral("Infinte"));
    const sim::DeviceState state = rig.device.server.state();
    QCOMPARE(state.failDelay + state.failHold, 65535 + 50);
}

void TestInfoPage::infiniteButtonWhileEditing_commitsTheEditedFieldFirst()
{
    Rig rig("7146");
    START_RIG(rig);
    rig.page->refresh();
    QVERIFY(rig.showActive());
    QLineEdit *delay = rig.edit("le_DMXFailModeDelay");
    delay->setFocus();
    QTRY_VERIFY(delay->hasFocus());
    QTest::keyClicks(delay, "75");
    rig.device.server.clearLog();

    QTest::mouseClick(rig.child<QPushButton>("pb_DMXFailModeHoldInf"), Qt::LeftButton);

    const QStringList log = rig.device.server.commandLog();
    QVERIFY(log.contains(QStringLiteral("setDataLossDelay 75")));
    QVERIFY(log.indexOf(QStringLiteral("setDataLossDelay 75")) <
            log.indexOf(QStringLiteral("setDataLossHold 65535")));
    QCOMPARE(rig.device.server.state().failDelay, 75);
    QCOMPARE(rig.device.server.state().failHold, 65535);
    QCOMPARE(delay->text(), QStringLiteral("0:00:07:5"));
    QCOMPARE(rig.text("le_DMXFailModeHold"), QStringLiteral("Infinte"));
}

void TestInfoPage::levelEdit_showsWhatTheDeviceKept_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("stored");
    QTest::newRow("accepted level") << "200"
                                    << "setDataLossLevel 200" << 200;
    QTest::newRow("refused level keeps the old one") << "300"
                                                     << "setDataLossLevel 300" << 128;
    QTest::newRow("ten characters as typed") << "1 2 3 4 5 "
                                             << "setDataLossLevel 1 2 3 4 5 " << 128;
}

void TestInfoPage::levelEdit_showsWhatTheDeviceKept()
{
    QFETCH(QString, typed);
    QFETCH(QString, command);
    QFETCH(int, stored);

    Rig rig("7126");
    START_RIG(rig);
    rig.device.server.modifyState([](sim::DeviceState &s) { s.failLevel = 128; });
    rig.page->refresh();
    QVERIFY(rig.showActive());
    QLineEdit *level = rig.edit("le_level");
    level->setFocus();
    QTRY_VERIFY(level->hasFocus());
    level->selectAll();
    QTest::keyClicks(level, typed);
    rig.device.server.clearLog();
    QTest::keyClick(level, Qt::Key_Return);

    const QStringList log = rig.device.server.commandLog();
    QCOMPARE(log.first(), command);
    QCOMPARE(log.last(), QStringLiteral("getDataLossLevel"));
    QCOMPARE(rig.device.server.state().failLevel, stored);
    QVERIFY(!level->hasFocus());
    QCOMPARE(level->text(), QString::number(stored));
}

void TestInfoPage::restoreDefaults_resetsDeviceAndRereadsPage()
{
    Rig rig("7146");
    START_RIG(rig);
    rig.device.server.modifyState([](sim::DeviceState &s) {
        s.rootLabel = QStringLiteral("Customised");
        s.failDelay = 1234;
        s.failHold = 65535;
        s.failLevel = 99;
    });
    rig.page->refresh();
    QCOMPARE(rig.text("le_deviceLabel"), QStringLiteral("Customised"));
    rig.device.server.clearLog();
    QSignalSpy spy(rig.page.get(), &BaseWidget::iconUpdateSignal);
    QVERIFY(spy.isValid());

    rig.child<QPushButton>("pb_defaults")->click();

    const QStringList log = rig.device.server.commandLog();
    QCOMPARE(log.size(), 11);
    QCOMPARE(log.first(), QStringLiteral("setUserDefaults"));
    QCOMPARE(log.at(1), QStringLiteral("getFWInfo"));
    QCOMPARE(spy.count(), 3);

    const sim::DeviceState state = rig.device.server.state();
    QCOMPARE(state.failDelay, sim::SimDevice("7146").factoryDefaults().failDelay);
    QVERIFY(state.rootLabel != QLatin1String("Customised"));
    QCOMPARE(rig.text("le_deviceLabel"), state.rootLabel);
    QCOMPARE(rig.text("le_DMXFailModeDelay"), failmode::timeText(state.failDelay));
    QCOMPARE(rig.text("le_DMXFailModeHold"), failmode::timeText(state.failHold));
    QCOMPARE(rig.text("le_level"), QString::number(state.failLevel));
}

void TestInfoPage::focus_highlightsOnlyTheFocusedFieldGroup_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("device label") << "le_deviceLabel";
    QTest::newRow("delay") << "le_DMXFailModeDelay";
    QTest::newRow("hold") << "le_DMXFailModeHold";
    QTest::newRow("level") << "le_level";
}

void TestInfoPage::focus_highlightsOnlyTheFocusedFieldGroup()
{
    QFETCH(QString, field);

    // The theme's own sheets for a field group, taken from stand-in widgets.
    QGroupBox normalGroup, focusGroup;
    QLabel normalCaption, focusCaption;
    QLineEdit normalEdit, focusEdit;
    applyEditGroupStyle(&normalGroup, &normalCaption, &normalEdit);
    applyEditGroupFocusStyle(&focusGroup, &focusCaption, &focusEdit);
    QVERIFY(normalGroup.styleSheet() != focusGroup.styleSheet());

    Rig rig("7146");
    START_RIG(rig);
    rig.page->refresh();
    QVERIFY(rig.showActive());
    const struct
    {
        const char *group;
        const char *caption;
        const char *edit;
    } groups[] = {{"gb_deviceLabel", "l_deviceLabel", "le_deviceLabel"},
                  {"gb_DMXFailModeDelay", "l_DMXFailModeDelayTime", "le_DMXFailModeDelay"},
                  {"gb_DMXFailModeHold", "l_DMXFailModeHoldTime", "le_DMXFailModeHold"},
                  {"gb_level", "l_level", "le_level"}};
    auto check = [&](bool focusedExpected) {
        for (const auto &g : groups) {
            const bool focused = focusedExpected && field == QLatin1String(g.edit);
            QCOMPARE(rig.child<QGroupBox>(g.group)->styleSheet(),
                     (focused ? focusGroup : normalGroup).styleSheet());
            QCOMPARE(rig.child<QLabel>(g.caption)->styleSheet(),
                     (focused ? focusCaption : normalCaption).styleSheet());
        }
    };
    // Activating the window hands the first line edit the focus; start from a button instead.
    QPushButton *defaults = rig.child<QPushButton>("pb_defaults");
    defaults->setFocus();
    QTRY_VERIFY(defaults->hasFocus());
    check(false);

    QLineEdit *edit = rig.edit(qPrintable(field));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    check(true);

    defaults->setFocus();
    QTRY_VERIFY(!edit->hasFocus());
    check(false);
}

void TestInfoPage::closedChannel_leavesInitialTexts()
{
    Serial closed;
    for (bool receiver : {false, true}) {
        std::unique_ptr<InfoWidget> page(receiver ? new InfoWidget2(nullptr)
                                                  : new InfoWidget(nullptr));
        page->setSerial(&closed);
        QSignalSpy spy(page.get(), &BaseWidget::iconUpdateSignal);
        QVERIFY(spy.isValid());
        page->refresh();
        QCOMPARE(spy.count(), 3);
        const struct
        {
            const char *name;
            const char *text;
        } initial[] = {{"lc_modelDesc", "Unknown"},
                       {"le_deviceLabel", "0"},
                       {"lc_software", "0.0.0.0.0.0,0.0.0.0.0.0"},
                       {"lc_bootSoftware", "0.0.0.0.0.0,0.0.0.0.0.0"},
                       {"lc_rdmUid", "000000000000"},
                       {"le_DMXFailModeDelay", "Infinite"},
                       {"le_DMXFailModeHold", "Infinite"},
                       {"le_level", "0"}};
        for (const auto &field : initial) {
            const QLineEdit *edit = page->findChild<QLineEdit *>(QLatin1String(field.name));
            const QString text =
                edit ? edit->text() : page->findChild<QLabel *>(QLatin1String(field.name))->text();
            QCOMPARE(text, QString::fromLatin1(field.text));
        }
    }
}

void TestInfoPage::silentDeviceDuringVersionRead_showsOnlyWhatWasRead()
{
    Rig rig("7146");
    START_RIG(rig);
    // The second firmware query (the software version) goes unanswered: the channel gives up and
    // closes, so the radio module's half can no longer be read.
    auto fwQueries = std::make_shared<std::atomic<int>>(0);
    rig.device.server.setReplyOverride(
        [fwQueries](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.startsWith("getFWInfo") && ++*fwQueries == 2)
                return QByteArray();
            return std::nullopt;
        });
    rig.page->refresh();

    QVERIFY(!rig.device.serial.isOpen());
    QCOMPARE(rig.text("lc_modelDesc"), getModelName("7146"));
    // No dangling separator, and nothing after the failure changed.
    QCOMPARE(rig.text("lc_software"), QString());
    QCOMPARE(rig.text("lc_bootSoftware"), QStringLiteral("0.0.0.0.0.0,0.0.0.0.0.0"));
    QCOMPARE(rig.text("lc_rdmUid"), QStringLiteral("000000000000"));
    QCOMPARE(rig.text("le_DMXFailModeDelay"), QStringLiteral("Infinite"));
}

QTEST_MAIN(TestInfoPage)
#include "tst_page_info.moc"
