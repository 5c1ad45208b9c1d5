#include "link/ModelCatalogue.h"
#include "link/FailTime.h"
#include "pages/InfoWidget.h"
#include "support/DeviceFixture.h"
#include "ui/Theme.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>

// The information page against the simulated device on a real pseudo-terminal: what it sends,
// what it shows, and what reaches the device when the user edits a field.
class TestInfoPage : public QObject
{
    Q_OBJECT

private slots:
    void read_sendsTenCommandsAndShowsTheDevice_data();
    void read_sendsTenCommandsAndShowsTheDevice();
    void focusedField_isHighlightedAndLeftAloneByRefresh_data();
    void focusedField_isHighlightedAndLeftAloneByRefresh();
    void edit_sendsWhatFitsAndShowsTheDeviceValue_data();
    void edit_sendsWhatFitsAndShowsTheDeviceValue();
    void infiniteButtonWhileEditing_commitsTheEditedFieldFirst_data();
    void infiniteButtonWhileEditing_commitsTheEditedFieldFirst();
    void silentDeviceDuringVersionRead_showsOnlyWhatWasRead();
};

namespace {

// A page of the right class for the model, wired to a connected simulator.
struct Rig
{
    explicit Rig(const QString &model) : device(model)
    {
        const bool receiver = getModelPrefix(model) == QLatin1String("718x:");
        page.reset(receiver ? new InfoWidget2(nullptr) : new InfoWidget(nullptr));
        page->setSerial(&device.serial);
    }

    void refreshWith(const std::function<void(sim::DeviceState &)> &change)
    {
        device.server.modifyState(change);
        page->refresh();
    }

    template <typename T = QLineEdit> T *child(const QString &name)
    {
        return page->findChild<T *>(name);
    }
    QString text(const QString &name)
    {
        if (QLineEdit *line = child(name))
            return line->text();
        return child<QLabel>(name)->text();
    }
    QStringList log() const { return device.server.commandLog(); }
    QStringList writes() const { return log().filter(QRegularExpression(QStringLiteral("^set"))); }

    // Focus changes need a shown, active window.
    bool focus(QWidget *widget)
    {
        if (!page->isActiveWindow()) {
            page->show();
            QApplication::setActiveWindow(page.get());
            if (!QTest::qWaitForWindowActive(page.get()))
                return false;
        }
        widget->setFocus();
        return QTest::qWaitFor([widget] { return widget->hasFocus(); });
    }

    DeviceFixture device;
    std::unique_ptr<InfoWidget> page;
};

#define START_RIG(rig) QVERIFY2((rig).device.connect(), qPrintable((rig).device.lastError()))

const QString kDelay = QStringLiteral("le_DMXFailModeDelay");
const QString kHold = QStringLiteral("le_DMXFailModeHold");

} // namespace

void TestInfoPage::read_sendsTenCommandsAndShowsTheDevice_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("labelCommand");
    QTest::addColumn<bool>("restoreDefaults"); // by the button, instead of a plain refresh
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("hold");
    QTest::addColumn<QStringList>("shown"); // label, software, boot, UID, delay, hold, level
    const auto row = [](const char *tag, const char *model, const char *className,
                        const char *labelCommand, bool defaults, int delay, int hold,
                        const QStringList &shown) {
        QTest::newRow(tag) << model << className << labelCommand << defaults << delay << hold
                           << shown;
    };
    const QString label = QStringLiteral("Stage left 'A' rack");
    row("dimmer page", "7146", "InfoWidget", "getRdmLabel r", false, 905, 65535,
        {label, "2.4.1, 1.7.3", "1.3.0, 1.0.4", "4B56000012A4", "0:01:30:5", "Infinte", "128"});
    row("receiver card page", "7186", "InfoWidget2", "getRdmLabel 0", false, 65535, 36000,
        {label, "3.1.0, 1.7.3", "1.2.2, 1.0.4", "4B560000F01B", "Infinte", "1:00:00:0", "128"});
    row("defaults restored, then read", "7146", "InfoWidget", "getRdmLabel r", true, 1234, 0,
        {"Glimmerline", "2.4.1, 1.7.3", "1.3.0, 1.0.4", "4B56000012A4", "0:00:05:0", "Infinte",
         "0"});
}

void TestInfoPage::read_sendsTenCommandsAndShowsTheDevice()
{
    QFETCH(QString, model);
    QFETCH(QString, className);
    QFETCH(QString, labelCommand);
    QFETCH(bool, restoreDefaults);
    QFETCH(int, delay);
    QFETCH(int, hold);
    QFETCH(QStringList, shown);

    Rig rig(model);
    START_RIG(rig);
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
    connect(rig.page.get(), &BaseWidget::iconUpdateSignal, this,
            [&] { commandsAtSignal << rig.log().size(); });

    if (restoreDefaults)
        rig.child<QPushButton>("pb_defaults")->click();
    else
        rig.page->refresh();

    QStringList expected = {"getFWInfo",       labelCommand,      "getFWInfo",   "getFCConfig",
                            "getFWInfo",       "getFCConfig",     "getFCConfig", "getDataLossDelay",
                            "getDataLossHold", "getDataLossLevel"};
    const int first = restoreDefaults ? 1 : 0;
    if (restoreDefaults)
        expected.prepend(QStringLiteral("setUserDefaults"));
    QCOMPARE(rig.log(), expected);
    QCOMPARE(commandsAtSignal, QVector<int>({first + 2, first + 6, first + 8}));
    QVERIFY(getModelName(model) != QLatin1String("Unknown"));
    QCOMPARE(rig.text("lc_modelDesc"), getModelName(model));
    QCOMPARE(rig.text("lc_manufacture"), QStringLiteral("Korvane, Inc."));
    QCOMPARE(QStringList({rig.text("le_deviceLabel"), rig.text("lc_software"),
                          rig.text("lc_bootSoftware"), rig.text("lc_rdmUid"), rig.text(kDelay),
                          rig.text(kHold), rig.text("le_level")}),
             shown);
}

void TestInfoPage::focusedField_isHighlightedAndLeftAloneByRefresh_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("skippedCommand");
    QTest::newRow("device label") << "le_deviceLabel"
                                  << "getRdmLabel r";
    QTest::newRow("delay") << kDelay << "getDataLossDelay";
    QTest::newRow("hold") << kHold << "getDataLossHold";
    QTest::newRow("level") << "le_level"
                           << "getDataLossLevel";
}

void TestInfoPage::focusedField_isHighlightedAndLeftAloneByRefresh()
{
    QFETCH(QString, field);
    QFETCH(QString, skippedCommand);

    // The theme's own sheets for a field group, taken from stand-in widgets.
    QGroupBox normalGroup, focusGroup;
    QLabel normalCaption, focusCaption;
    QLineEdit normalEdit, focusEdit;
    applyEditGroupStyle(&normalGroup, &normalCaption, &normalEdit);
    applyEditGroupFocusStyle(&focusGroup, &focusCaption, &focusEdit);
    QVERIFY(normalGroup.styleSheet() != focusGroup.styleSheet());
    const QStringList groups = {"deviceLabel", "DMXFailModeDelay", "DMXFailModeHold", "level"};
    const QStringList captions = {"deviceLabel", "DMXFailModeDelayTime", "DMXFailModeHoldTime",
                                  "level"};
    const QStringList fresh = {"From device", "0:01:00:0", "0:01:00:0", "7"};
    Rig rig("7146");
    const auto checkHighlight = [&](bool fieldFocused) {
        for (int i = 0; i < groups.size(); ++i) {
            const bool focused = fieldFocused && field.endsWith(groups.at(i));
            QCOMPARE(rig.child<QGroupBox>("gb_" + groups.at(i))->styleSheet(),
                     (focused ? focusGroup : normalGroup).styleSheet());
            QCOMPARE(rig.child<QLabel>("l_" + captions.at(i))->styleSheet(),
                     (focused ? focusCaption : normalCaption).styleSheet());
        }
    };

    START_RIG(rig);
    rig.page->refresh();
    QLineEdit *edit = rig.child(field);
    QVERIFY(rig.focus(edit));
    checkHighlight(true);
    edit->selectAll();
    QTest::keyClicks(edit, "12");
    const QString typed = edit->text();
    rig.device.server.clearLog();

    rig.refreshWith([](sim::DeviceState &s) {
        s.rootLabel = QStringLiteral("From device");
        s.failDelay = 600;
        s.failHold = 600;
        s.failLevel = 7;
    });

    QCOMPARE(rig.log().size(), 9);
    QVERIFY(!rig.log().contains(skippedCommand));
    QVERIFY(edit->hasFocus());
    QCOMPARE(edit->text(), typed);
    // The other fields did take the device's new values.
    for (int i = 0; i < groups.size(); ++i) {
        if (!field.endsWith(groups.at(i)))
            QCOMPARE(rig.text("le_" + groups.at(i)), fresh.at(i));
    }
    QVERIFY(rig.focus(rig.child<QPushButton>("pb_defaults")));
    checkHighlight(false);
}

void TestInfoPage::edit_sendsWhatFitsAndShowsTheDeviceValue_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("entered");
    QTest::addColumn<bool>("byReturn");   // otherwise the focus moves on
    QTest::addColumn<QString>("command"); // empty: nothing may be written
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("shown"); // also what the device must hold
    const auto row = [](const char *tag, const char *model, const QString &field,
                        const QString &keys, const QString &entered, bool byReturn,
                        const QString &command, const char *readBack, const char *shown) {
        QTest::newRow(tag) << model << field << keys << entered << byReturn << command << readBack
                           << shown;
    };
    const QString label = QStringLiteral("le_deviceLabel");
    const QString level = QStringLiteral("le_level");
    const QString untouched = failmode::entryTemplate();
    // The device starts with the label "Kept", an infinite delay, a hold of 90.5 s and level 128.
    row("label", "7146", label, "Truss 2", "Truss 2", true, "setRdmLabel r \"Truss 2\"",
        "getRdmLabel r", "Truss 2");
    row("receiver card label", "7185", label, "Truss 2", "Truss 2", true,
        "setRdmLabel 0 \"Truss 2\"", "getRdmLabel 0", "Truss 2");
    row("label with apostrophes", "7146", label, "Bob's 'rig'", "Bob's 'rig'", false,
        "setRdmLabel r \"Bob's 'rig'\"", "getRdmLabel r", "Bob's 'rig'");
    // With the quotes, the line break and the terminating zero, 238 bytes fill the device's 256;
    // the device keeps labels shorter than that, so the read-back shows the old one.
    const QString fits(238, QLatin1Char('x'));
    const QString tooLong(239, QLatin1Char('x'));
    row("label of 238 bytes", "7146", label, fits, fits, true, "setRdmLabel r \"" + fits + "\"",
        "getRdmLabel r", "Kept");
    row("label of 239 bytes", "7146", label, tooLong, tooLong, true, "", "getRdmLabel r", "Kept");
    row("delay typed as 9 0 5 over infinite", "7146", kDelay, "905", " :  :90:5", true,
        "setDataLossDelay 905", "getDataLossDelay", "0:01:30:5");
    row("hold of two hours becomes infinite", "7146", kHold, "200000", "2:00:00:0", false,
        "setDataLossHold 65535", "getDataLossHold", "Infinte");
    row("hold of seven digits keeps the last six", "7146", kHold, "9012345", "0:12:34:5", true,
        "setDataLossHold 7545", "getDataLossHold", "0:12:34:5");
    // An untouched time field sends nothing; after Return it stays in editing with the old text.
    row("untouched infinite delay, focus moves on", "7146", kDelay, "", untouched, false, "",
        "getDataLossDelay", "Infinte");
    row("untouched hold, Return", "7146", kHold, "", untouched, true, "", "", "0:01:30:5");
    row("accepted level", "7126", level, "200", "200", true, "setDataLossLevel 200",
        "getDataLossLevel", "200");
    row("refused level keeps the old one", "7126", level, "300", "300", true,
        "setDataLossLevel 300", "getDataLossLevel", "128");
}

void TestInfoPage::edit_sendsWhatFitsAndShowsTheDeviceValue()
{
    QFETCH(QString, model);
    QFETCH(QString, field);
    QFETCH(QString, keys);
    QFETCH(QString, entered);
    QFETCH(bool, byReturn);
    QFETCH(QString, command);
    QFETCH(QString, readBack);
    QFETCH(QString, shown);
    const auto held = [&field](const sim::DeviceState &s) {
        if (field == kDelay || field == kHold)
            return failmode::timeText(field == kDelay ? s.failDelay : s.failHold);
        return field == QLatin1String("le_level") ? QString::number(s.failLevel) : s.rootLabel;
    };

    Rig rig(model);
    START_RIG(rig);
    rig.refreshWith([](sim::DeviceState &s) {
        s.rootLabel = QStringLiteral("Kept");
        s.failDelay = 65535;
        s.failHold = 905;
        s.failLevel = 128;
    });
    QLineEdit *edit = rig.child(field);
    QVERIFY(rig.focus(edit));
    rig.device.server.clearLog();
    edit->selectAll();
    QTest::keyClicks(edit, keys);
    QCOMPARE(edit->text(), entered);
    QVERIFY(rig.log().isEmpty());

    if (byReturn)
        QTest::keyClick(edit, Qt::Key_Return);
    else
        QVERIFY(rig.focus(rig.child<QPushButton>("pb_defaults")));

    const QStringList log = rig.log();
    QCOMPARE(rig.writes().isEmpty(), command.isEmpty());
    if (!command.isEmpty())
        QCOMPARE(log.first(), command);
    // Return and the focus change it causes may both commit; every write carries the same value.
    for (const QString &line : rig.writes())
        QCOMPARE(line, command);
    QCOMPARE(log.isEmpty() ? QString() : log.last(), readBack);
    QCOMPARE(held(rig.device.server.state()), shown);
    QCOMPARE(edit->hasFocus(), byReturn && readBack.isEmpty());
    QCOMPARE(edit->text(), shown);
}

void TestInfoPage::infiniteButtonWhileEditing_commitsTheEditedFieldFirst_data()
{
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("button");
    QTest::newRow("hold button while typing a delay") << kDelay << "pb_DMXFailModeHoldInf";
    QTest::newRow("delay button while typing a hold") << kHold << "pb_DMXFailModeDelayInf";
}

void TestInfoPage::infiniteButtonWhileEditing_commitsTheEditedFieldFirst()
{
    QFETCH(QString, edited);
    QFETCH(QString, button);
    const bool delayEdited = edited == kDelay;

    Rig rig("7147");
    START_RIG(rig);
    rig.refreshWith([](sim::DeviceState &s) { s.failDelay = s.failHold = 50; });
    QLineEdit *edit = rig.child(edited);
    QVERIFY(rig.focus(edit));
    QTest::keyClicks(edit, "75");
    rig.device.server.clearLog();

    QTest::mouseClick(rig.child<QPushButton>(button), Qt::LeftButton);

    const QString editWrite = delayEdited ? "setDataLossDelay 75" : "setDataLossHold 75";
    const QString buttonWrite = delayEdited ? "setDataLossHold 65535" : "setDataLossDelay 65535";
    const QStringList log = rig.log();
    QVERIFY(log.contains(editWrite));
    QVERIFY(log.indexOf(editWrite) < log.indexOf(buttonWrite));
    const sim::DeviceState state = rig.device.server.state();
    QCOMPARE(QVector<int>({state.failDelay, state.failHold}),
             delayEdited ? QVector<int>({75, 65535}) : QVector<int>({65535, 75}));
    QCOMPARE(edit->text(), QStringLiteral("0:00:07:5"));
    QCOMPARE(rig.text(delayEdited ? kHold : kDelay), QStringLiteral("Infinte"));
}

void TestInfoPage::silentDeviceDuringVersionRead_showsOnlyWhatWasRead()
{
    Rig rig("7146");
    START_RIG(rig);
    // The second firmware query (the software version) goes unanswered: the channel gives up and
    // closes, so nothing after it can be read.
    auto fwQueries = std::make_shared<std::atomic<int>>(0);
    rig.device.server.setReplyOverride(
        [fwQueries](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.startsWith("getFWInfo") && ++*fwQueries == 2)
                return QByteArray();
            return std::nullopt;
        });
    QSignalSpy spy(rig.page.get(), &BaseWidget::iconUpdateSignal);
    QVERIFY(spy.isValid());
    rig.page->refresh();

    QVERIFY(!rig.device.serial.isOpen());
    // The wait animation still runs to its end.
    QCOMPARE(spy.count(), 3);
    QCOMPARE(rig.text("lc_modelDesc"), getModelName("7146"));
    // No dangling separator, and the fields after the failure keep the form's texts.
    QCOMPARE(rig.text("lc_software"), QString());
    QCOMPARE(QStringList({rig.text("lc_bootSoftware"), rig.text("lc_rdmUid"), rig.text(kDelay),
                          rig.text(kHold), rig.text("le_level")}),
             QStringList({"0.0.0.0.0.0,0.0.0.0.0.0", "000000000000", "Infinite", "Infinite", "0"}));
}

QTEST_MAIN(TestInfoPage)
#include "tst_page_info.moc"
