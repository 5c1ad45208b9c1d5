#include "pages/DimmerScrollWidget.h"
#include "pages/DimmerWidget.h"
#include "support/DeviceFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

// The dimmer page and its channel editor against the simulator on a real pseudo-terminal; the
// simulator's command log and state are the oracle for what reached the device.
class TestDimmerPage : public QObject
{
    Q_OBJECT

private slots:
    void buildsOneGroupPerChannel_data();
    void buildsOneGroupPerChannel();
    void refresh_readsEveryChannelInOrderAndShowsDeviceValues();
    void pickingAnItem_writesThenReadsBackThatChannel_data();
    void pickingAnItem_writesThenReadsBackThatChannel();
    void applyToAll_writesEveryChannelThroughTheEditedField();
    void finishedText_isSentAsTypedAndReadBack_data();
    void finishedText_isSentAsTypedAndReadBack();
    void textTooLongForTheBuffer_isNeverSent_data();
    void textTooLongForTheBuffer_isNeverSent();
    void focus_highlightsExactlyOneGroup();
    void returnInField_sendsOneWriteAndLeavesTheField();
    void wheel_blockedOverChannelBoxesOnly();
    void bump_writesThenReadsBack_data();
    void bump_writesThenReadsBack();
    void refresh_skipsTheFieldBeingTyped_data();
    void refresh_skipsTheFieldBeingTyped();
    void refresh_onClosedChannel_resetsBoxesKeepsText();
    void pageDeletedBetweenChannels_refreshStopsCleanly();
    void channelClosedBetweenChannels_refreshStops();
    void nestedRefresh_readsEachChannelOnce();
};

namespace {

const char *const groups[] = {"label", "curve", "resp", "freq", "offset"};

// A dimmer page wired as the shell wires it, on an open channel to a simulated device.
struct Bench
{
    explicit Bench(const QString &model, int count)
        : device(model), page(std::make_unique<DimmerWidget>(nullptr))
    {
        page->setChannelCount(count);
        page->setDebug(nullptr);
        page->setSerial(&device.serial);
        editor = page->scrollWidget();
    }

    bool connect()
    {
        if (!device.connect())
            return false;
        device.server.clearLog();
        return true;
    }

    QLineEdit *field(int index, const char *group) const
    {
        return qobject_cast<QLineEdit *>(editor->findChannelWidget(index, "line_edit", group));
    }
    QComboBox *box(int index, const char *group) const
    {
        return qobject_cast<QComboBox *>(editor->findChannelWidget(index, "combo_box", group));
    }
    QGroupBox *groupBox(int index, const char *group) const
    {
        return qobject_cast<QGroupBox *>(editor->findChannelWidget(index, "group_box", group));
    }
    QComboBox *bump() const { return page->findChild<QComboBox *>("cb_bump"); }
    QCheckBox *applyToAll() const { return page->findChild<QCheckBox *>("c_applyToAll"); }
    QStringList log() const { return device.server.commandLog(); }

    DeviceFixture device;
    std::unique_ptr<DimmerWidget> page;
    DimmerScrollWidget *editor = nullptr;
};

// What the combo box does when the user picks an item from its list.
void pick(QComboBox *box, int index)
{
    box->setCurrentIndex(index);
    emit box->activated(index);
    QMetaObject::invokeMethod(box, "activated", Qt::DirectConnection,
                              Q_ARG(QString, box->itemText(index)));
}

void finishEditing(QLineEdit *field, const QString &text)
{
    field->setText(text);
    emit field->editingFinished();
}

bool sendWheel(QWidget *widget, int delta)
{
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(centre, widget->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    return QApplication::sendEvent(widget, &event);
}

QStringList channelReads(char channel)
{
    QStringList reads;
    for (const char *command :
         {"getRdmLabel", "getCurve", "getRespTime", "getModulation", "getOffset"})
        reads << QStringLiteral("%1 %2").arg(command).arg(QChar(channel));
    return reads;
}

bool highlighted(QWidget *widget)
{
    return widget->styleSheet().contains("#ff9100");
}

} // namespace

#define CONNECT_BENCH(bench) QVERIFY2((bench).connect(), qPrintable((bench).device.lastError()))

void TestDimmerPage::buildsOneGroupPerChannel_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("registered");
    QTest::newRow("2-channel dimmer") << "7126" << 2 << 800 << 30;
    QTest::newRow("5-channel dimmer") << "7146" << 5 << 2000 << 75;
}

void TestDimmerPage::buildsOneGroupPerChannel()
{
    QFETCH(QString, model);
    QFETCH(int, count);
    QFETCH(int, height);
    QFETCH(int, registered);
    Bench bench(model, count);
    bench.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.page.get()));

    QWidget *content = bench.editor->contentWidget();
    auto *scrollArea = bench.page->findChild<QScrollArea *>("sa_dimmers");
    QVERIFY(scrollArea);
    QCOMPARE(scrollArea->widget(), content);
    QCOMPARE(content->size(), QSize(350, height));
    QCOMPARE(bench.editor->registeredWidgetCount(), registered);
    QVERIFY(scrollArea->verticalScrollBar()->maximum() > 0);
    QCOMPARE(scrollArea->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(!bench.editor->isVisible());

    for (int i = 0; i < count; ++i) {
        for (const char *group : groups) {
            QGroupBox *box = bench.groupBox(i, group);
            QVERIFY2(box, group);
            QVERIFY(box->isVisibleTo(content));
            // Same place in every channel, one channel pitch further down.
            QCOMPARE(box->mapTo(content, QPoint()).y() - 400 * i,
                     bench.groupBox(0, group)->mapTo(content, QPoint()).y());
        }
    }
    QVERIFY(!bench.editor->findChannelWidget(count, "group_box", "label"));
    QCOMPARE(bench.box(count - 1, "freq")->itemText(7), QString("50000Hz - LED"));
    QCOMPARE(bench.box(count - 1, "resp")->count(), 6);
}

void TestDimmerPage::refresh_readsEveryChannelInOrderAndShowsDeviceValues()
{
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    bench.device.server.modifyState([](sim::DeviceState &state) {
        state.bumpEnabled = true;
        for (int i = 0; i < state.channels.size(); ++i) {
            state.channels[i].label = QStringLiteral("Bar %1 rear").arg(i);
            state.channels[i].curve = i % 4;
            state.channels[i].respTime = 5 - i;
            state.channels[i].modulation = 7 - i;
            state.channels[i].offset = -10 * i;
        }
    });
    QSignalSpy icon(bench.editor, &BaseWidget::iconUpdateSignal);
    QVERIFY(icon.isValid());

    bench.page->refresh();

    QStringList expected{"getBumpEnable"};
    for (char c = 'a'; c <= 'e'; ++c)
        expected << channelReads(c);
    QCOMPARE(bench.log(), expected);
    QCOMPARE(icon.count(), 10);
    QCOMPARE(bench.bump()->currentText(), QString("Enable"));
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(bench.field(i, "label")->text(), QStringLiteral("Bar %1 rear").arg(i));
        QCOMPARE(bench.box(i, "curve")->currentIndex(), i % 4);
        QCOMPARE(bench.box(i, "resp")->currentIndex(), 5 - i);
        QCOMPARE(bench.box(i, "freq")->currentIndex(), 7 - i);
        QCOMPARE(bench.field(i, "offset")->text(), QString::number(-10 * i));
    }
}

void TestDimmerPage::pickingAnItem_writesThenReadsBackThatChannel_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QStringList>("commands");
    QTest::newRow("logarithmic curve on C")
        << 2 << "curve"
        << "Logarithmic (LED)" << QStringList{"setCurve c 3", "getCurve c"};
    QTest::newRow("400ms ramp on A")
        << 0 << "resp"
        << "400ms Ramp Time" << QStringList{"setRespTime a 5", "getRespTime a"};
    QTest::newRow("50kHz on E") << 4 << "freq"
                                << "50000Hz - LED"
                                << QStringList{"setModulation e 7", "getModulation e"};
}

void TestDimmerPage::pickingAnItem_writesThenReadsBackThatChannel()
{
    QFETCH(int, channel);
    QFETCH(QString, group);
    QFETCH(QString, item);
    QFETCH(QStringList, commands);
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    const sim::DeviceState before = bench.device.server.state();

    QComboBox *box = bench.box(channel, group.toLatin1());
    const int index = box->findText(item);
    QVERIFY(index > 0);
    pick(box, index);

    QCOMPARE(bench.log(), commands);
    const sim::ChannelState after = bench.device.server.state().channels.at(channel);
    const int stored = group == "curve"  ? after.curve
                       : group == "resp" ? after.respTime
                                         : after.modulation;
    QCOMPARE(stored, index);
    QCOMPARE(box->currentIndex(), index);
    // Only that one channel changed on the device.
    for (int i = 0; i < 5; ++i) {
        if (i != channel) {
            QCOMPARE(bench.device.server.state().channels.at(i).curve, before.channels.at(i).curve);
            QCOMPARE(bench.device.server.state().channels.at(i).respTime,
                     before.channels.at(i).respTime);
            QCOMPARE(bench.device.server.state().channels.at(i).modulation,
                     before.channels.at(i).modulation);
        }
    }
}

void TestDimmerPage::applyToAll_writesEveryChannelThroughTheEditedField()
{
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    bench.page->refresh();
    bench.device.server.clearLog();

    bench.applyToAll()->click();
    QVERIFY(bench.applyToAll()->isChecked());
    QCOMPARE(bench.log(), QStringList());

    pick(bench.box(0, "resp"), 5);
    QStringList expected;
    for (char c = 'a'; c <= 'e'; ++c)
        expected << QStringLiteral("setRespTime %1 5").arg(c)
                 << QStringLiteral("getRespTime %1").arg(c);
    QCOMPARE(bench.log(), expected);
    for (const sim::ChannelState &channel : bench.device.server.state().channels)
        QCOMPARE(channel.respTime, 5);
    QCOMPARE(bench.box(0, "resp")->currentIndex(), 5);
    // Read-backs all landed in the edited box; the others show the new value after a refresh.
    QCOMPARE(bench.box(3, "resp")->currentIndex(), 0);

    bench.device.server.clearLog();
    finishEditing(bench.field(1, "label"), "Wash");
    QCOMPARE(bench.log().size(), 10);
    QCOMPARE(bench.log().at(8), QString("setRdmLabel e \"Wash\""));
    for (const sim::ChannelState &channel : bench.device.server.state().channels)
        QCOMPARE(channel.label, QString("Wash"));

    bench.applyToAll()->click();
    bench.device.server.clearLog();
    pick(bench.box(0, "curve"), 1);
    QCOMPARE(bench.log(), (QStringList{"setCurve a 1", "getCurve a"}));
}

void TestDimmerPage::finishedText_isSentAsTypedAndReadBack_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("shown");
    QTest::newRow("negative offset") << "offset"
                                     << "-5"
                                     << "setOffset a -5"
                                     << "-5";
    QTest::newRow("empty offset, refused by the device") << "offset"
                                                         << ""
                                                         << "setOffset a "
                                                         << "12";
    QTest::newRow("label with a blank") << "label"
                                        << "Stage Left"
                                        << "setRdmLabel a \"Stage Left\""
                                        << "Stage Left";
    QTest::newRow("label with double quotes unescaped") << "label"
                                                        << "say \"hi\""
                                                        << "setRdmLabel a \"say \"hi\"\""
                                                        << "say \"hi\"";
    QTest::newRow("label in UTF-8")
        << "label" << QString::fromUtf8("Bühne ½") << QString::fromUtf8("setRdmLabel a \"Bühne ½\"")
        << QString::fromUtf8("Bühne ½");
}

void TestDimmerPage::finishedText_isSentAsTypedAndReadBack()
{
    QFETCH(QString, group);
    QFETCH(QString, text);
    QFETCH(QString, sent);
    QFETCH(QString, shown);
    Bench bench("7126", 2);
    CONNECT_BENCH(bench);
    bench.device.server.modifyState([](sim::DeviceState &state) { state.channels[0].offset = 12; });

    finishEditing(bench.field(0, group.toLatin1()), text);

    const QString read = group == "label" ? "getRdmLabel a" : "getOffset a";
    QCOMPARE(bench.log(), (QStringList{sent, read}));
    if (group == "label")
        QCOMPARE(bench.device.server.state().channels.at(0).label, text);
    QCOMPARE(bench.field(0, group.toLatin1())->text(), shown);
}

void TestDimmerPage::textTooLongForTheBuffer_isNeverSent_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("applyToAll");
    QTest::addColumn<bool>("sent");
    // "setRdmLabel a \"" + text + "\"\n" and "setOffset a " + text + "\n" in 255 bytes.
    QTest::newRow("label of 238 bytes fits") << "label" << QString(238, 'x') << false << true;
    QTest::newRow("label of 239 bytes") << "label" << QString(239, 'x') << false << false;
    QTest::newRow("label of 120 two-byte letters")
        << "label" << QString(120, QChar(0xe9)) << false << false;
    QTest::newRow("offset of 242 bytes fits") << "offset" << QString(242, '1') << false << true;
    QTest::newRow("offset of 243 bytes") << "offset" << QString(243, '1') << false << false;
    QTest::newRow("label of 239 bytes to all") << "label" << QString(239, 'x') << true << false;
}

void TestDimmerPage::textTooLongForTheBuffer_isNeverSent()
{
    QFETCH(QString, group);
    QFETCH(QString, text);
    QFETCH(bool, applyToAll);
    QFETCH(bool, sent);
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    bench.device.server.modifyState([](sim::DeviceState &state) {
        for (int i = 0; i < state.channels.size(); ++i) {
            state.channels[i].label = QStringLiteral("Keep %1").arg(i);
            state.channels[i].offset = 3 + i;
        }
    });
    if (applyToAll)
        bench.applyToAll()->click();

    QLineEdit *field = bench.field(1, group.toLatin1());
    finishEditing(field, text);

    const QStringList log = bench.log();
    const QString set = group == "label" ? "setRdmLabel" : "setOffset";
    const int sets = log.filter(QRegularExpression("^" + set)).size();
    if (sent) {
        QCOMPARE(sets, 1);
        QCOMPARE(log.first().toUtf8().size() + 1, 255); // the line break makes 255
    } else {
        QCOMPARE(sets, 0);
        // The field shows what its own channel still holds.
        QCOMPARE(log, QStringList{group == "label" ? "getRdmLabel b" : "getOffset b"});
        QCOMPARE(field->text(), group == "label" ? QString("Keep 1") : QString("4"));
    }
}

void TestDimmerPage::focus_highlightsExactlyOneGroup()
{
    Bench bench("7146", 5);
    bench.page->show();
    QApplication::setActiveWindow(bench.page.get());
    QVERIFY(QTest::qWaitForWindowActive(bench.page.get()));

    auto highlightedGroups = [&]() {
        QStringList found;
        for (int i = 0; i < 5; ++i) {
            for (const char *group : groups) {
                if (highlighted(bench.groupBox(i, group)))
                    found << QStringLiteral("%1 %2").arg(i).arg(group);
            }
        }
        return found;
    };
    QCOMPARE(highlightedGroups(), QStringList());

    QLineEdit *offsetB = bench.field(1, "offset");
    offsetB->setFocus();
    QTRY_VERIFY(offsetB->hasFocus());
    QCOMPARE(highlightedGroups(), QStringList{"1 offset"});
    auto *captionB = qobject_cast<QLabel *>(bench.editor->findChannelWidget(1, "label", "offset"));
    QVERIFY(highlighted(captionB));

    QComboBox *curveD = bench.box(3, "curve");
    curveD->setFocus();
    QTRY_VERIFY(curveD->hasFocus());
    QCOMPARE(highlightedGroups(), QStringList{"3 curve"});
    QVERIFY(!highlighted(captionB));
    // The idle line-edit group keeps its light underline.
    QVERIFY(bench.groupBox(1, "offset")->styleSheet().contains("#c7c7c7"));

    // The bump box: its own filter styles it and swallows the focus events.
    bench.bump()->setFocus();
    QTRY_VERIFY(highlighted(bench.page->findChild<QGroupBox *>("gb_bump")));
    QCOMPARE(highlightedGroups(), QStringList());
}

void TestDimmerPage::returnInField_sendsOneWriteAndLeavesTheField()
{
    Bench bench("7126", 2);
    CONNECT_BENCH(bench);
    bench.page->show();
    QApplication::setActiveWindow(bench.page.get());
    QVERIFY(QTest::qWaitForWindowActive(bench.page.get()));
    QLineEdit *offset = bench.field(1, "offset");
    offset->setFocus();
    QTRY_VERIFY(offset->hasFocus());
    offset->selectAll();

    QTest::keyClicks(offset, "-42");
    QTest::keyClick(offset, Qt::Key_Return);

    // Losing the focus after the write must not count as a second finished edit.
    QCOMPARE(bench.log(), (QStringList{"setOffset b -42", "getOffset b"}));
    QVERIFY(!offset->hasFocus());
    QVERIFY(!highlighted(bench.groupBox(1, "offset")));
    QCOMPARE(bench.device.server.state().channels.at(1).offset, -42);
}

void TestDimmerPage::wheel_blockedOverChannelBoxesOnly()
{
    Bench bench("7126", 2);
    CONNECT_BENCH(bench);
    bench.page->show();
    QVERIFY(QTest::qWaitForWindowExposed(bench.page.get()));

    for (const char *group : {"curve", "resp", "freq"}) {
        QComboBox *box = bench.box(1, group);
        sendWheel(box, -120);
        sendWheel(box->lineEdit(), -120);
        QCOMPARE(box->currentIndex(), 0);
    }
    QCOMPARE(bench.log(), QStringList());

    // Over the bump box the wheel still picks the next item, and that is written.
    sendWheel(bench.bump(), -120);
    QCOMPARE(bench.log(), (QStringList{"setBumpEnable 1", "getBumpEnable"}));
    QVERIFY(bench.device.server.state().bumpEnabled);
}

void TestDimmerPage::bump_writesThenReadsBack_data()
{
    QTest::addColumn<bool>("enabledBefore");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("enabledAfter");
    QTest::newRow("enable") << false << "Enable"
                            << "setBumpEnable 1" << true;
    QTest::newRow("disable") << true << "Disable"
                             << "setBumpEnable 0" << false;
}

void TestDimmerPage::bump_writesThenReadsBack()
{
    QFETCH(bool, enabledBefore);
    QFETCH(QString, item);
    QFETCH(QString, command);
    QFETCH(bool, enabledAfter);
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    bench.device.server.modifyState(
        [&](sim::DeviceState &state) { state.bumpEnabled = enabledBefore; });

    pick(bench.bump(), bench.bump()->findText(item));

    QCOMPARE(bench.log(), (QStringList{command, "getBumpEnable"}));
    QCOMPARE(bench.device.server.state().bumpEnabled, enabledAfter);
    QCOMPARE(bench.bump()->currentText(), item);
}

void TestDimmerPage::refresh_skipsTheFieldBeingTyped_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("skipped");
    QTest::newRow("label of A") << 0 << "label"
                                << "getRdmLabel a";
    QTest::newRow("offset of B") << 1 << "offset"
                                 << "getOffset b";
}

void TestDimmerPage::refresh_skipsTheFieldBeingTyped()
{
    QFETCH(int, channel);
    QFETCH(QString, group);
    QFETCH(QString, skipped);
    Bench bench("7126", 2);
    CONNECT_BENCH(bench);
    bench.page->show();
    QApplication::setActiveWindow(bench.page.get());
    QVERIFY(QTest::qWaitForWindowActive(bench.page.get()));

    QLineEdit *typing = bench.field(channel, group.toLatin1());
    typing->setFocus();
    QTRY_VERIFY(typing->hasFocus());
    typing->setText("half typed");

    bench.page->refresh();

    QStringList expected{"getBumpEnable"};
    expected << channelReads('a') << channelReads('b');
    expected.removeOne(skipped);
    QCOMPARE(bench.log(), expected);
    QCOMPARE(typing->text(), QString("half typed"));
}

void TestDimmerPage::refresh_onClosedChannel_resetsBoxesKeepsText()
{
    Bench bench("7126", 2);
    CONNECT_BENCH(bench);
    bench.device.server.modifyState([](sim::DeviceState &state) {
        state.bumpEnabled = true;
        state.channels[1] = {QStringLiteral("Side"), 3, 4, 5, 6};
    });
    bench.page->refresh();
    QCOMPARE(bench.box(1, "freq")->currentIndex(), 5);
    QCOMPARE(bench.bump()->currentIndex(), 1);
    bench.device.serial.close();
    bench.device.server.clearLog();

    bench.page->refresh();

    QCOMPARE(bench.log(), QStringList());
    QCOMPARE(bench.bump()->currentIndex(), 0);
    for (const char *group : {"curve", "resp", "freq"})
        QCOMPARE(bench.box(1, group)->currentIndex(), 0);
    QCOMPARE(bench.field(1, "label")->text(), QString("Side"));
    QCOMPARE(bench.field(1, "offset")->text(), QString("6"));
}

void TestDimmerPage::pageDeletedBetweenChannels_refreshStopsCleanly()
{
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    QPointer<DimmerScrollWidget> editor = bench.editor;
    DimmerWidget *page = bench.page.release();
    // Runs among the pending events that the refresh lets through after channel A.
    QTimer::singleShot(0, page, [page]() { delete page; });

    page->refresh();

    QStringList expected{"getBumpEnable"};
    expected << channelReads('a');
    QCOMPARE(bench.log(), expected);
    // The editor outlived its own refresh and then went.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_VERIFY(editor.isNull());
}

void TestDimmerPage::channelClosedBetweenChannels_refreshStops()
{
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    bench.box(2, "curve")->setCurrentIndex(2);
    bench.field(2, "label")->setText("untouched");
    QTimer::singleShot(0, [&bench]() { bench.device.serial.close(); });

    bench.page->refresh();

    QStringList expected{"getBumpEnable"};
    expected << channelReads('a');
    QCOMPARE(bench.log(), expected);
    QCOMPARE(bench.box(2, "curve")->currentIndex(), 2);
    QCOMPARE(bench.field(2, "label")->text(), QString("untouched"));
}

void TestDimmerPage::nestedRefresh_readsEachChannelOnce()
{
    Bench bench("7146", 5);
    CONNECT_BENCH(bench);
    // A background refresh that fires while the page is still reading its channels.
    QTimer::singleShot(0, bench.page.get(), [&bench]() { bench.page->refresh(); });

    bench.page->refresh();

    QStringList channelsRead = bench.log();
    QCOMPARE(channelsRead.removeAll("getBumpEnable"), 2);
    QStringList expected;
    for (char c = 'a'; c <= 'e'; ++c)
        expected << channelReads(c);
    QCOMPARE(channelsRead, expected);

    // Nothing was left half-done: the next refresh reads everything again.
    bench.device.server.clearLog();
    bench.page->refresh();
    QCOMPARE(bench.log().size(), 26);
}

QTEST_MAIN(TestDimmerPage)
#include "tst_page_dimmer.moc"
