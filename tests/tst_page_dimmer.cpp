#include "pages/DimmerScrollWidget.h"
#include "pages/DimmerWidget.h"
#include "support/PageTestUtil.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include <memory>

using pagetest::child;

namespace {

const char *const groups[] = {"label", "curve", "resp", "freq", "offset"};

struct Bench
{
    Bench(const QString &model, int count) : device(model), page(std::make_unique<DimmerWidget>())
    {
        page->setChannelCount(count);
        editor = page->scrollWidget();
    }
    template <class T = QComboBox>
    T *at(int index, const char *group, const char *type = "combo_box") const
    {
        return qobject_cast<T *>(editor->findChannelWidget(index, type, group));
    }
    QLineEdit *field(int index, const char *group) const
    {
        return at<QLineEdit>(index, group, "line_edit");
    }
    QGroupBox *groupBox(int index, const char *group) const
    {
        return at<QGroupBox>(index, group, "group_box");
    }
    QComboBox *bump() const { return child<QComboBox>(*page, "cb_bump"); }
    QCheckBox *applyToAll() const { return child<QCheckBox>(*page, "c_applyToAll"); }
    QStringList log() const { return device.server.commandLog(); }

    DeviceFixture device;
    std::unique_ptr<DimmerWidget> page;
    DimmerScrollWidget *editor = nullptr;
};

void finishEditing(QLineEdit *field, const QString &text)
{
    field->setText(text);
    emit field->editingFinished();
}

QStringList channelReads(char first, char last)
{
    QStringList reads;
    for (char c = first; c <= last; ++c) {
        for (const char *command :
             {"getRdmLabel", "getCurve", "getRespTime", "getModulation", "getOffset"})
            reads << QStringLiteral("%1 %2").arg(command).arg(QChar(c));
    }
    return reads;
}

bool highlighted(QWidget *widget)
{
    return widget->styleSheet().contains("#ff9100");
}

} // namespace

class TestDimmerPage : public QObject
{
    Q_OBJECT

private slots:
    void buildsOneGroupPerChannel_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("2 channels") << 2;
        QTest::newRow("5 channels") << 5;
    }

    void buildsOneGroupPerChannel()
    {
        QFETCH(int, count);
        Bench bench("7146", count);
        bench.page->show();
        QVERIFY(QTest::qWaitForWindowExposed(bench.page.get()));

        QWidget *content = bench.editor->contentWidget();
        auto *scrollArea = child<QScrollArea>(*bench.page, "sa_dimmers");
        QVERIFY(scrollArea);
        QCOMPARE(scrollArea->widget(), content);
        QCOMPARE(content->size(), QSize(350, 400 * count));
        QVERIFY(scrollArea->verticalScrollBar()->maximum() > 0);
        QCOMPARE(scrollArea->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
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
        // Fifteen widgets per channel carry the properties the editor finds them by.
        QCOMPARE(bench.editor->registeredWidgetCount(), 15 * count);
        QVERIFY(!bench.editor->findChannelWidget(count, "group_box", "label"));
        QCOMPARE(bench.at(count - 1, "resp")->count(), 6);
    }

    void refresh_readsEveryChannelInOrderAndShowsDeviceValues()
    {
        Bench bench("7146", 5);
        CONNECT_PAGE(bench.device, *bench.page);
        bench.device.server.modifyState([](sim::DeviceState &state) {
            state.bumpEnabled = true;
            for (int i = 0; i < state.channels.size(); ++i)
                state.channels[i] = {QStringLiteral("Bar %1 rear").arg(i), i % 4, 5 - i, 7 - i,
                                     -10 * i};
        });
        QSignalSpy icon(bench.editor, &BaseWidget::iconUpdateSignal);
        QVERIFY(icon.isValid());

        bench.page->refresh();

        QCOMPARE(bench.log(), QStringList{"getBumpEnable"} + channelReads('a', 'e'));
        QCOMPARE(icon.count(), 10);
        QCOMPARE(bench.bump()->currentText(), QString("Enable"));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(bench.field(i, "label")->text(), QStringLiteral("Bar %1 rear").arg(i));
            QCOMPARE(bench.at(i, "curve")->currentIndex(), i % 4);
            QCOMPARE(bench.at(i, "resp")->currentIndex(), 5 - i);
            QCOMPARE(bench.at(i, "freq")->currentIndex(), 7 - i);
            QCOMPARE(bench.field(i, "offset")->text(), QString::number(-10 * i));
        }
    }

    void pickingAnItem_writesThenReadsBackTheChannels_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("toAll");
        QTest::addColumn<QStringList>("commands");
        QStringList everyChannel;
        for (char c = 'a'; c <= 'e'; ++c)
            everyChannel << QStringLiteral("setRespTime %1 5").arg(c)
                         << QStringLiteral("getRespTime %1").arg(c);
        QTest::newRow("logarithmic curve on C")
            << 2 << QByteArray("curve") << "Logarithmic (LED)" << false
            << QStringList{"setCurve c 3", "getCurve c"};
        QTest::newRow("400ms ramp on A") << 0 << QByteArray("resp") << "400ms Ramp Time" << false
                                         << QStringList{"setRespTime a 5", "getRespTime a"};
        QTest::newRow("50kHz on E") << 4 << QByteArray("freq") << "50000Hz - LED" << false
                                    << QStringList{"setModulation e 7", "getModulation e"};
        QTest::newRow("400ms ramp from A to all channels")
            << 0 << QByteArray("resp") << "400ms Ramp Time" << true << everyChannel;
    }

    void pickingAnItem_writesThenReadsBackTheChannels()
    {
        QFETCH(int, channel);
        QFETCH(QByteArray, group);
        QFETCH(QString, item);
        QFETCH(bool, toAll);
        QFETCH(QStringList, commands);
        Bench bench("7146", 5);
        CONNECT_PAGE(bench.device, *bench.page);
        sim::DeviceState expected = bench.device.server.state();
        if (toAll)
            bench.applyToAll()->click();
        QCOMPARE(bench.log(), QStringList());

        const int index = bench.at(channel, group)->findText(item);
        QVERIFY(index > 0);
        pagetest::choose(bench.at(channel, group), index);

        QCOMPARE(bench.log(), commands);
        for (int i = 0; i < 5; ++i) {
            sim::ChannelState &changed = expected.channels[i];
            if (toAll || i == channel)
                (group == "curve"  ? changed.curve
                 : group == "resp" ? changed.respTime
                                   : changed.modulation) = index;
            // Every read-back lands in the edited box; the others wait for the next refresh.
            QCOMPARE(bench.at(i, group)->currentIndex(), i == channel ? index : 0);
        }
        QVERIFY(bench.device.server.state() == expected);
    }

    void applyToAll_labelGoesToEveryChannelUntilUnticked()
    {
        Bench bench("7146", 5);
        CONNECT_PAGE(bench.device, *bench.page);
        bench.applyToAll()->click();
        QVERIFY(bench.applyToAll()->isChecked());

        finishEditing(bench.field(1, "label"), "Wash");
        QCOMPARE(bench.log().size(), 10);
        QCOMPARE(bench.log().at(8), QString("setRdmLabel e \"Wash\""));
        for (const sim::ChannelState &channel : bench.device.server.state().channels)
            QCOMPARE(channel.label, QString("Wash"));

        bench.applyToAll()->click();
        bench.device.server.clearLog();
        pagetest::choose(bench.at(0, "curve"), 1);
        QCOMPARE(bench.log(), (QStringList{"setCurve a 1", "getCurve a"}));
    }

    void finishedText_isSentAsTypedUnlessItCannotFit_data()
    {
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("applyToAll");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("shown");
        const QString stage = QString::fromUtf8("Bühne ½");
        // With its command and line break, a label of 238 bytes or an offset of 242 fills 255
        // bytes.
        const QString longest(238, 'x');
        QTest::newRow("empty offset, refused by the device")
            << QByteArray("offset") << "" << false << QStringList{"setOffset b ", "getOffset b"}
            << "4";
        QTest::newRow("label with double quotes unescaped")
            << QByteArray("label") << "say \"hi\"" << false
            << QStringList{"setRdmLabel b \"say \"hi\"\"", "getRdmLabel b"} << "say \"hi\"";
        QTest::newRow("label in UTF-8")
            << QByteArray("label") << stage << false
            << QStringList{"setRdmLabel b \"" + stage + "\"", "getRdmLabel b"} << stage;
        QTest::newRow("longest label fits")
            << QByteArray("label") << longest << false
            << QStringList{"setRdmLabel b \"" + longest + "\"", "getRdmLabel b"} << "Keep 1";
        QTest::newRow("label a byte too long") << QByteArray("label") << longest + "x" << false
                                               << QStringList{"getRdmLabel b"} << "Keep 1";
        QTest::newRow("offset a byte too long") << QByteArray("offset") << QString(243, '1')
                                                << false << QStringList{"getOffset b"} << "4";
        QTest::newRow("label a byte too long, to all channels")
            << QByteArray("label") << longest + "x" << true << QStringList{"getRdmLabel b"}
            << "Keep 1";
    }

    void finishedText_isSentAsTypedUnlessItCannotFit()
    {
        QFETCH(QByteArray, group);
        QFETCH(QString, text);
        QFETCH(bool, applyToAll);
        QFETCH(QStringList, commands);
        QFETCH(QString, shown);
        Bench bench("7146", 5);
        CONNECT_PAGE(bench.device, *bench.page);
        bench.device.server.modifyState([](sim::DeviceState &state) {
            for (int i = 0; i < state.channels.size(); ++i) {
                state.channels[i].label = QStringLiteral("Keep %1").arg(i);
                state.channels[i].offset = 3 + i;
            }
        });
        if (applyToAll)
            bench.applyToAll()->click();

        finishEditing(bench.field(1, group), text);

        QCOMPARE(bench.log(), commands);
        QCOMPARE(bench.field(1, group)->text(), shown);
        const sim::ChannelState held = bench.device.server.state().channels.at(1);
        QCOMPARE(group == "label" ? held.label : QString::number(held.offset), shown);
    }

    void focus_highlightsExactlyOneGroup()
    {
        Bench bench("7146", 5);
        QVERIFY(pagetest::activate(*bench.page));
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

        QVERIFY(pagetest::focus(bench.field(1, "offset")));
        QCOMPARE(highlightedGroups(), QStringList{"1 offset"});
        auto *captionB = bench.at<QLabel>(1, "offset", "label");
        QVERIFY(highlighted(captionB));

        QVERIFY(pagetest::focus(bench.at(3, "curve")));
        QCOMPARE(highlightedGroups(), QStringList{"3 curve"});
        QVERIFY(!highlighted(captionB));
        // The idle line-edit group keeps its light underline.
        QVERIFY(bench.groupBox(1, "offset")->styleSheet().contains("#c7c7c7"));

        // The bump box: its own filter styles it and swallows the focus events.
        bench.bump()->setFocus();
        QTRY_VERIFY(highlighted(child<QGroupBox>(*bench.page, "gb_bump")));
        QCOMPARE(highlightedGroups(), QStringList());
    }

    void wheel_blockedOverChannelBoxes_bumpBoxStillWrites()
    {
        Bench bench("7126", 2);
        CONNECT_PAGE(bench.device, *bench.page);
        bench.page->show();
        QVERIFY(QTest::qWaitForWindowExposed(bench.page.get()));

        for (const char *group : {"curve", "resp", "freq"}) {
            QComboBox *box = bench.at(1, group);
            pagetest::wheelDown(box);
            pagetest::wheelDown(box->lineEdit());
            QCOMPARE(box->currentIndex(), 0);
        }
        QCOMPARE(bench.log(), QStringList());

        pagetest::wheelDown(bench.bump());
        QCOMPARE(bench.log(), (QStringList{"setBumpEnable 1", "getBumpEnable"}));
        QVERIFY(bench.device.server.state().bumpEnabled);

        bench.device.server.clearLog();
        pagetest::choose(bench.bump(), bench.bump()->findText("Disable"));
        QCOMPARE(bench.log(), (QStringList{"setBumpEnable 0", "getBumpEnable"}));
        QVERIFY(!bench.device.server.state().bumpEnabled);
        QCOMPARE(bench.bump()->currentText(), QString("Disable"));
    }

    void typing_refreshSkipsTheFieldAndReturnSendsOneWrite_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("label of A") << 0 << QByteArray("label") << "Stage Left"
                                    << QStringList{"setRdmLabel a \"Stage Left\"", "getRdmLabel a"};
        QTest::newRow("offset of B")
            << 1 << QByteArray("offset") << "-42" << QStringList{"setOffset b -42", "getOffset b"};
    }

    void typing_refreshSkipsTheFieldAndReturnSendsOneWrite()
    {
        QFETCH(int, channel);
        QFETCH(QByteArray, group);
        QFETCH(QString, typed);
        QFETCH(QStringList, commands);
        Bench bench("7126", 2);
        CONNECT_PAGE(bench.device, *bench.page);
        QVERIFY(pagetest::activate(*bench.page));
        QLineEdit *typing = bench.field(channel, group);
        QVERIFY(pagetest::focus(typing));
        typing->selectAll();
        QTest::keyClicks(typing, typed);

        bench.page->refresh();

        QStringList expected = QStringList{"getBumpEnable"} + channelReads('a', 'b');
        expected.removeOne(commands.last());
        QCOMPARE(bench.log(), expected);
        QCOMPARE(typing->text(), typed);

        bench.device.server.clearLog();
        QTest::keyClick(typing, Qt::Key_Return);
        // Losing the focus after the write must not count as a second finished edit.
        QCOMPARE(bench.log(), commands);
        QVERIFY(!typing->hasFocus());
        QVERIFY(!highlighted(bench.groupBox(channel, group)));
        const sim::ChannelState held = bench.device.server.state().channels.at(channel);
        QCOMPARE(group == "label" ? held.label : QString::number(held.offset), typed);
    }

    void refresh_onClosedChannel_resetsBoxesKeepsText()
    {
        Bench bench("7126", 2);
        CONNECT_PAGE(bench.device, *bench.page);
        bench.device.server.modifyState([](sim::DeviceState &state) {
            state.bumpEnabled = true;
            state.channels[1] = {QStringLiteral("Side"), 3, 4, 5, 6};
        });
        bench.page->refresh();
        QCOMPARE(bench.at(1, "freq")->currentIndex(), 5);
        QCOMPARE(bench.bump()->currentIndex(), 1);
        bench.device.serial.close();
        bench.device.server.clearLog();

        bench.page->refresh();

        QCOMPARE(bench.log(), QStringList());
        QCOMPARE(bench.bump()->currentIndex(), 0);
        for (const char *group : {"curve", "resp", "freq"})
            QCOMPARE(bench.at(1, group)->currentIndex(), 0);
        QCOMPARE(bench.field(1, "label")->text(), QString("Side"));
        QCOMPARE(bench.field(1, "offset")->text(), QString("6"));
    }

    void interruptedAfterChannelA_refreshStopsCleanly_data()
    {
        QTest::addColumn<bool>("deletePage");
        QTest::newRow("page deleted") << true;
        QTest::newRow("channel closed") << false;
    }

    void interruptedAfterChannelA_refreshStopsCleanly()
    {
        QFETCH(bool, deletePage);
        Bench bench("7146", 5);
        CONNECT_PAGE(bench.device, *bench.page);
        QPointer<DimmerScrollWidget> editor = bench.editor;
        bench.at(2, "curve")->setCurrentIndex(2);
        DimmerWidget *page = bench.page.get();
        // Either runs among the pending events that the refresh lets through after channel A.
        if (deletePage)
            QTimer::singleShot(0, bench.page.release(), [page]() { delete page; });
        else
            QTimer::singleShot(0, [&bench]() { bench.device.serial.close(); });

        page->refresh();

        QCOMPARE(bench.log(), QStringList{"getBumpEnable"} + channelReads('a', 'a'));
        if (deletePage) {
            // The editor outlived its own refresh and then went.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QTRY_VERIFY(editor.isNull());
        } else {
            QCOMPARE(bench.at(2, "curve")->currentIndex(), 2);
        }
    }

    void nestedRefresh_readsEachChannelOnce()
    {
        Bench bench("7146", 5);
        CONNECT_PAGE(bench.device, *bench.page);
        // A background refresh that fires while the page is still reading its channels.
        QTimer::singleShot(0, bench.page.get(), [&bench]() { bench.page->refresh(); });

        bench.page->refresh();

        QStringList channelsRead = bench.log();
        QCOMPARE(channelsRead.removeAll("getBumpEnable"), 2);
        QCOMPARE(channelsRead, channelReads('a', 'e'));
        // Nothing was left half-done: the next refresh reads everything again.
        bench.device.server.clearLog();
        bench.page->refresh();
        QCOMPARE(bench.log().size(), 26);
    }
};

QTEST_MAIN(TestDimmerPage)
#include "tst_page_dimmer.moc"
