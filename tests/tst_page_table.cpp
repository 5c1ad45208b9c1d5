// Every device page against the simulated unit, one row per behaviour: what the page sends and
// what it then shows.

#include "pages/DimmerScrollWidget.h"
#include "support/Rig.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QWheelEvent>
#include <QtTest>

#include <atomic>

namespace {

const QString dmx = "getRdmTraffic|getRdmLabel p|getUniverse|getDmxAddress|getDmxPersonality";
const QString farcast = "getInputMode|getVexaId|getAntenna|getFCPower|getVexaKey";

QString info(const QString &label = "r")
{
    return "getFWInfo|getRdmLabel " + label +
           "|getFWInfo|getFCConfig|getFWInfo|getFCConfig|getFCConfig|getDataLossDelay|"
           "getDataLossHold|getDataLossLevel";
}

// Each channel's entries: "%c" is its letter, "%i" its index.
QString perChannel(const QString &format, int channels)
{
    QStringList out;
    for (int c = 0; c < channels; ++c)
        out << QString(format).replace("%i", QString::number(c)).replace("%c", QChar('a' + c));
    return out.join('|');
}

QString dimmer(int channels)
{
    return "getBumpEnable|" +
           perChannel("getRdmLabel %c|getCurve %c|getRespTime %c|getModulation %c|getOffset %c",
                      channels);
}

QString without(const QString &log, const QString &entry)
{
    QStringList list = log.split('|');
    list.removeOne(entry);
    return list.join('|');
}

// where: "model[/seed] pageClass action target"; log and shown: entries joined by "|".
void row(const QString &where, const QString &input, const QString &log, const QString &shown)
{
    QString tag = where + ' ' + input.left(16);
    QTest::newRow(qPrintable(tag.replace('\n', "\\n").replace('\r', "\\r").replace('\t', "\\t")))
        << where.split(' ') << input << log.split('|', Qt::SkipEmptyParts)
        << shown.split('|', Qt::SkipEmptyParts);
}

// As a user choosing from the open list with the keyboard: the box moves and reports activated.
void choose(QComboBox *box, int index)
{
    box->setCurrentIndex(index == 0 ? 1 : index - 1);
    QTest::keyClick(box, index == 0 ? Qt::Key_Up : Qt::Key_Down);
}

// One notch of the wheel downwards over the widget's centre.
void wheelDown(QWidget *widget)
{
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(centre, widget->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestPageTable : public QObject
{
    Q_OBJECT

private slots:
    // Rows run on a unit in seeded state 1, or the seed after the model's "/"; all but the refresh
    // rows start from a page that has read it once. Actions: refresh; closed (refresh on a closed
    // channel); type or paste into the focused target, then Return, or move the focus away when the
    // input ends in a tab; choose entry input; click; wheel over every combo box of the page; focus
    // (put input into the focused target, then refresh). A target "box+field" clicks the check box
    // first. Shown entries are pageSnapshot entries; "!x" means no entry starts with x.
    void table_data()
    {
        QTest::addColumn<QStringList>("where");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("shown");
        const QString inject = "7\nsetUserDefaults";
        const QString tooLong(239, 'x'); // with its command, one byte more than the buffer holds
        // The pages most rows are on.
        const QString D = "7146 DmxWidget ", W5 = "7146 DimmerWidget ", W2 = "7126 DimmerWidget ";
        const QString F = "7146 FarcastWidget ", I = "7146 InfoWidget ";

        row(D + "refresh", "", dmx,
            "c_RDMTrafficEnable[x]RDM Traffic Enabled|le_DMXPortLabel=DMX Port #1|le_Universe=18|"
            "le_DMXAddress=8|cb_DMXPersonality#1");
        row("7185 DmxWidget2 refresh", "", "getRdmTraffic|getRdmLabel 1|getUniverse|getDmxAddress",
            "le_DMXPortLabel=DMX Port #1|le_Universe=18|!cb_DMXPersonality");
        row(D + "closed", "", "",
            "c_RDMTrafficEnable[x]RDM Traffic Enabled|le_Universe=18|cb_DMXPersonality#0");
        row(D + "click c_RDMTrafficEnable", "", "setRdmTraffic 0|getRdmTraffic",
            "c_RDMTrafficEnable[ ]RDM Traffic Disabled");
        row(D + "choose cb_DMXPersonality", "0", "setDmxPersonality 0|getDmxPersonality",
            "cb_DMXPersonality#0");
        row(D + "type le_Universe", "12", "setUniverse 12|getUniverse", "le_Universe=12");
        // Typed values are the unit's to judge: sent as typed, the read-back says what it kept.
        row(D + "type le_Universe", "abc", "setUniverse abc|getUniverse", "le_Universe=18");
        row(D + "type le_DMXAddress", "300\t", "setDmxAddress 300|getDmxAddress",
            "le_DMXAddress=300");
        row(D + "type le_DMXPortLabel", "Front 'wash' 2",
            "setRdmLabel p \"Front 'wash' 2\"|getRdmLabel p", "le_DMXPortLabel=Front 'wash' 2");
        row("7185 DmxWidget2 type le_DMXPortLabel", "Rack", "setRdmLabel 1 \"Rack\"|getRdmLabel 1",
            "le_DMXPortLabel=Rack");
        // 137 characters, but too long for the buffer in UTF-8.
        row(D + "paste le_DMXPortLabel", QString(120, QChar(0xe9)), "getRdmLabel p",
            "le_DMXPortLabel=DMX Port #1");
        row(D + "paste le_Universe", inject, "getUniverse", "le_Universe=18");
        row(D + "wheel", "", "", "cb_DMXPersonality#1");
        row(D + "focus le_Universe", "x", without(dmx, "getUniverse"), "le_Universe=x*");

        row(W5 + "refresh", "", dimmer(5),
            "cb_bump#1|label/0=Channel A #1|curve/0#1|resp/0#1|freq/0#1|offset/0=7|label/4=Channel "
            "E "
            "#1");
        row(W2 + "refresh", "", dimmer(2), "label/1=Channel B #1|!label/2");
        row(W2 + "closed", "", "",
            "cb_bump#0|label/1=Channel B #1|curve/1#0|resp/1#0|freq/1#0|offset/1=7");
        row(W2 + "choose cb_bump", "0", "setBumpEnable 0|getBumpEnable", "cb_bump#0");
        row(W5 + "choose curve/2", "3", "setCurve c 3|getCurve c", "curve/2#3");
        row(W5 + "choose c_applyToAll+resp/0", "5",
            perChannel("setRespTime %c 5|getRespTime %c", 5), perChannel("resp/%i#5", 5));
        row(W2 + "type label/0", "Stage Left", "setRdmLabel a \"Stage Left\"|getRdmLabel a",
            "label/0=Stage Left");
        row(W2 + "type offset/1", "-42", "setOffset b -42|getOffset b", "offset/1=-42");
        row(W5 + "type c_applyToAll+label/1", "Wash",
            perChannel("setRdmLabel %c \"Wash\"|getRdmLabel %c", 5),
            perChannel("label/%i=Wash", 5));
        row(W2 + "paste label/1", tooLong, "getRdmLabel b", "label/1=Channel B #1");
        row(W2 + "paste offset/1", inject, "getOffset b", "offset/1=7");
        // Refused once for every channel: the field shows its own channel's value.
        row(W5 + "paste c_applyToAll+label/1", inject, "getRdmLabel b",
            "label/1=Channel B #1|label/2=Channel C #1");
        row(W2 + "wheel", "", "", "cb_bump#1|curve/1#1");
        row(W2 + "focus label/0", "x", without(dimmer(2), "getRdmLabel a"), "label/0=x*");

        row(F + "refresh", "", farcast,
            "cb_dmxInputMode#1|le_vexaId=102|cb_antSelect#1|cb_outputPower#3|le_vexaKey=13");
        // The receiver cards' page set hides the input mode.
        row("7185 FarcastWidget refresh", "", farcast, "cb_dmxInputMode#1~|le_vexaId=102");
        row(F + "closed", "", "",
            "cb_dmxInputMode#0|cb_antSelect#0|cb_outputPower#0|le_vexaId=102|le_vexaKey=13");
        row(F + "choose cb_antSelect", "3", "setAntenna 3|getAntenna", "cb_antSelect#3");
        row(F + "choose cb_dmxInputMode", "0", "setInputMode 0|getInputMode", "cb_dmxInputMode#0");
        row(F + "type le_vexaId", "60000", "setVexaId 60000|getVexaId", "le_vexaId=60000");
        row(F + "type le_vexaKey", "750", "setVexaKey 750|getVexaKey", "le_vexaKey=13");
        row("7185 FarcastWidget paste le_vexaId", inject, "getVexaId", "le_vexaId=102");
        row(F + "wheel", "", "", "cb_antSelect#1");
        row(F + "focus le_vexaId", "77", without(farcast, "getVexaId"), "le_vexaId=77*");

        row(I + "refresh", "", info(),
            "lc_modelDesc=Glimmerline 5x2.5A Dimmer|le_deviceLabel=Glimmerline "
            "#1|lc_software=2.4.1, "
            "1.7.3|lc_bootSoftware=1.3.0, "
            "1.0.4|lc_rdmUid=4B56000012A4|le_DMXFailModeDelay=0:02:08:7|"
            "le_DMXFailModeHold=0:01:01:1|le_level=3");
        row("7186 InfoWidget2 refresh", "", info("0"),
            "lc_modelDesc=Farcast Receiver Card|le_deviceLabel=Farcast Receiver "
            "#1|lc_software=3.1.0, "
            "1.7.3|lc_bootSoftware=1.2.2, 1.0.4|lc_rdmUid=4B560000F01B");
        row(I + "closed", "", "",
            "le_deviceLabel=Glimmerline #1|le_DMXFailModeDelay=0:02:08:7|le_level=3");
        row(I + "click pb_defaults", "", "setUserDefaults|" + info(),
            "le_deviceLabel=Glimmerline|le_DMXFailModeDelay=0:00:05:0|le_DMXFailModeHold=Infinte|"
            "le_level=0");
        row(I + "click pb_DMXFailModeDelayInf", "", "setDataLossDelay 65535|getDataLossDelay",
            "le_DMXFailModeDelay=Infinte");
        row(I + "type le_deviceLabel", "Truss 2", "setRdmLabel r \"Truss 2\"|getRdmLabel r",
            "le_deviceLabel=Truss 2");
        row("7185 InfoWidget2 type le_deviceLabel", "Truss 2\t",
            "setRdmLabel 0 \"Truss 2\"|getRdmLabel 0", "le_deviceLabel=Truss 2");
        row(I + "paste le_deviceLabel", tooLong, "getRdmLabel r", "le_deviceLabel=Glimmerline #1");
        // The time fields fill from the right; seven digits keep the newest six; two hours are more
        // than the unit holds and become infinite.
        row(I + "type le_DMXFailModeDelay", "905", "setDataLossDelay 905|getDataLossDelay",
            "le_DMXFailModeDelay=0:01:30:5");
        row(I + "type le_DMXFailModeHold", "9012345", "setDataLossHold 7545|getDataLossHold",
            "le_DMXFailModeHold=0:12:34:5");
        row(I + "type le_DMXFailModeHold", "200000\t", "setDataLossHold 65535|getDataLossHold",
            "le_DMXFailModeHold=Infinte");
        // Untouched, or holding a negative part: the old text comes back and nothing is written.
        row(I + "type le_DMXFailModeDelay", "", "", "le_DMXFailModeDelay=0:02:08:7*");
        row(I + "type le_DMXFailModeDelay", "\t", "getDataLossDelay",
            "le_DMXFailModeDelay=0:02:08:7");
        row(I + "type le_DMXFailModeDelay", "-15", "", "le_DMXFailModeDelay=0:02:08:7*");
        row(I + "type le_level", "200", "setDataLossLevel 200|getDataLossLevel", "le_level=200");
        // The field holds ten characters: room for a line break and the start of another command.
        row(I + "paste le_level", "9\nsetUserD", "getDataLossLevel", "le_level=3");
        row(I + "focus le_deviceLabel", "x", without(info(), "getRdmLabel r"), "le_deviceLabel=x*");
        row(I + "focus le_DMXFailModeDelay", " :  :  :1", without(info(), "getDataLossDelay"),
            "le_DMXFailModeDelay= :  :  :1*");

        // Seed 1 switches the outputs off, as the page starts; seed 2 has them on.
        row("7185/2 AdvancedWidget refresh", "", "getPwmConfig|get0-10Config",
            "c_PwmOutput[x]PWM Output Enabled|c_ZeroTenOutput[x]0-10V Output Enabled");
        row("7185 AdvancedWidget click c_PwmOutput", "", "setPwmConfig 1|getPwmConfig",
            "c_PwmOutput[x]PWM Output Enabled");
        row("7186/2 AdvancedWidget click c_ZeroTenOutput", "", "set0-10Config 0|get0-10Config",
            "c_ZeroTenOutput[ ]0-10V Output Disabled");
    }

    void table()
    {
        QFETCH(QStringList, where);
        QFETCH(QString, input);
        QFETCH(QStringList, log);
        QFETCH(QStringList, shown);
        const QString action = where.at(2), target = where.value(3);
        PageRig rig(where.at(0).section('/', 0, 0), where.at(1));
        QVERIFY(rig.ready && rig.page);
        if (where.at(0).contains('/'))
            rig.server.setSeed(where.at(0).section('/', 1).toInt());
        if (action != "refresh")
            rig.page->refresh();
        // With Apply to all, the other channels' boxes show what the unit holds only after the next
        // refresh: those rows are checked there.
        const bool toAll = target.contains('+');
        if (toAll)
            qobject_cast<QAbstractButton *>(rig.field(target.section('+', 0, 0)))->click();
        QWidget *field = rig.field(target.section('+', -1));
        auto *edit = qobject_cast<QLineEdit *>(field);
        QVERIFY(target.isEmpty() || field);
        if (action == "type" || action == "paste" || action == "focus")
            QVERIFY(rig.focus(edit));
        rig.server.clearLog();
        const QStringList before = pageSnapshot(rig.page);

        if (action == "refresh" || action == "closed" || action == "focus") {
            if (action == "closed")
                rig.serial.close();
            if (edit)
                edit->setText(input);
            rig.page->refresh();
        } else if (action == "type" || action == "paste") {
            const QString text = input.endsWith('\t') ? input.chopped(1) : input;
            edit->selectAll();
            if (action == "paste") {
                QGuiApplication::clipboard()->setText(text);
                QTest::keySequence(edit, QKeySequence::Paste);
                QCOMPARE(edit->text(), text);
            } else {
                QTest::keyClicks(edit, text);
            }
            input.endsWith('\t') ? rig.page->setFocus() : QTest::keyClick(edit, Qt::Key_Return);
        } else if (action == "choose") {
            choose(qobject_cast<QComboBox *>(field), input.toInt());
        } else if (action == "click") {
            qobject_cast<QAbstractButton *>(field)->click();
        } else if (action == "wheel") {
            for (QComboBox *box : rig.page->findChildren<QComboBox *>()) {
                wheelDown(box);
                if (box->lineEdit())
                    wheelDown(box->lineEdit());
            }
            QCOMPARE(pageSnapshot(rig.page), before);
        }

        QCOMPARE(rig.log(), log);
        const QStringList after = pageSnapshot(rig.page);
        // The unit holds what the page shows: reading it again changes nothing.
        rig.page->refresh();
        const QStringList again = pageSnapshot(rig.page);
        for (const QString &entry : shown) {
            const QStringList &checked = toAll ? again : after;
            const QStringList starting = checked.filter(QRegularExpression("^\\Q" + entry.mid(1)));
            QVERIFY2(entry.startsWith('!') ? starting.isEmpty() : checked.contains(entry),
                     qPrintable(entry + " against " + checked.join(" | ")));
        }
        if (!toAll)
            QCOMPARE(again, after);
    }

    void refreshInterrupted_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("page deleted") << "delete";
        QTest::newRow("channel closed") << "close";
        // A background refresh that fires while the page still reads its channels.
        QTest::newRow("refreshed again") << "refresh";
    }

    // The dimmer editor lets events run after each channel; what runs there may delete the page,
    // close the channel or refresh the page again. The refresh stops there without touching the
    // page or the channel, or reads each channel once all the same.
    void refreshInterrupted()
    {
        QFETCH(QString, meanwhile);
        PageRig rig("7146", "DimmerWidget");
        BaseWidget *page = rig.page;
        QPointer<QObject> editor = page->findChild<DimmerScrollWidget *>();
        auto *curveC = qobject_cast<QComboBox *>(rig.field("curve/2"));
        curveC->setCurrentIndex(2);
        QTimer::singleShot(0, page, [&] {
            meanwhile == "delete"  ? delete rig.pages.takeAt(rig.pages.indexOf(page))
            : meanwhile == "close" ? void(rig.serial.close())
                                   : page->refresh();
        });
        page->refresh();
        QStringList log = rig.log();
        QCOMPARE(log.removeAll("getBumpEnable"), meanwhile == "refresh" ? 2 : 1);
        QCOMPARE("getBumpEnable|" + log.join('|'), dimmer(meanwhile == "refresh" ? 5 : 1));
        if (meanwhile == "delete")
            QTRY_VERIFY(editor.isNull());
        else
            QCOMPARE(curveC->currentIndex(), meanwhile == "close" ? 2 : 1);
    }

    void outputsHideDmxAddress_data()
    {
        QTest::addColumn<bool>("pwm");
        QTest::addColumn<bool>("zeroTen");
        QTest::newRow("both off") << false << false;
        QTest::newRow("PWM on") << true << false;
        QTest::newRow("0-10V on") << false << true;
    }

    // The receiver card's start address only matters to an output that is switched on.
    void outputsHideDmxAddress()
    {
        QFETCH(bool, pwm);
        QFETCH(bool, zeroTen);
        PageRig rig("7185", "AdvancedWidget");
        rig.server.modifyState([&](sim::DeviceState &s) {
            s.pwmOutput = pwm;
            s.zeroTenOutput = zeroTen;
        });
        QWidget *address = rig.pages.first()->findChild<QWidget *>("gb_DMXAddress");
        address->setHidden(pwm || zeroTen);
        rig.page->refresh();
        QCOMPARE(address->isHidden(), !pwm && !zeroTen);
        qobject_cast<QAbstractButton *>(rig.field("c_PwmOutput"))->click();
        QCOMPARE(address->isHidden(), pwm && !zeroTen);
    }

    void infiniteWhileOtherTimeEdited_data()
    {
        QTest::addColumn<QString>("edited");
        QTest::newRow("hold button while typing a delay") << "Delay";
        QTest::newRow("delay button while typing a hold") << "Hold";
    }

    // The button takes the focus: the edited time is committed, once, before the button's write.
    void infiniteWhileOtherTimeEdited()
    {
        QFETCH(QString, edited);
        const QString other = edited == "Delay" ? "Hold" : "Delay";
        PageRig rig("7147", "InfoWidget");
        rig.page->refresh();
        auto *edit = qobject_cast<QLineEdit *>(rig.field("le_DMXFailMode" + edited));
        QVERIFY(rig.focus(edit));
        QTest::keyClicks(edit, "75");
        rig.server.clearLog();
        QTest::mouseClick(rig.field("pb_DMXFailMode" + other + "Inf"), Qt::LeftButton);
        QCOMPARE(rig.log().filter(QRegularExpression("^set")),
                 QStringList({"setDataLoss" + edited + " 75", "setDataLoss" + other + " 65535"}));
        const sim::DeviceState state = rig.server.state();
        QCOMPARE(edited == "Delay" ? state.failDelay : state.failHold, 75);
        QCOMPARE(edit->text(), "0:00:07:5");
    }

    // The second firmware query goes unanswered and the channel closes: the version is not shown
    // half-read, and nothing after it is touched.
    void silentDuringVersionRead_leavesTheRestAlone()
    {
        PageRig rig("7146", "InfoWidget");
        auto queries = std::make_shared<std::atomic<int>>(0);
        rig.server.setReplyOverride([queries](const QByteArray &line) {
            return line == "getFWInfo" && ++*queries == 2 ? std::optional<QByteArray>("")
                                                          : std::nullopt;
        });
        const QRegularExpression rest("^(lc_bootSoftware|lc_rdmUid|le_DMXFail|le_level)");
        const QStringList before = pageSnapshot(rig.page);
        rig.page->refresh();
        const QStringList after = pageSnapshot(rig.page);
        QVERIFY(!rig.serial.isOpen());
        QVERIFY(after.contains("lc_modelDesc=Glimmerline 5x2.5A Dimmer"));
        QVERIFY(after.contains("lc_software="));
        QCOMPARE(after.filter(rest), before.filter(rest));
    }
};

QTEST_MAIN(TestPageTable)
#include "tst_page_table.moc"
