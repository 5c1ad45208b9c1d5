// The main window's own rules with scripted pages whose refresh lets events run between commands:
// pages discarded while a refresh is on the stack, nested refreshes, the navigation strip, the
// wait animation and the Cancel exit.

#include "support/AppHarness.h"
#include "support/ModalCatcher.h"

#include "link/Serial.h"
#include "link/SerialPortWidget.h"
#include "ui/Manual.h"

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

namespace {

const QStringList slowReads = {"getUniverse",      "getDmxAddress",    "getRdmTraffic",
                               "getDataLossDelay", "getDataLossLevel", "getDataLossHold"};

// The window with count test pages for the simulated dimmer, once it has announced the device.
// Scripts reach the window through harness.window: their first refresh may run before this returns.
MainWindow *startWindow(AppHarness &harness, ModalCatcher &catcher, int count,
                        const AppTestPage::Script &script)
{
    if (!harness.startDevice())
        return nullptr;
    const QVector<PageFamily> families{testFamily({"7146"}, count, script)};
    MainWindow *window = harness.createWindow(&families);
    return catcher.waitForCount(1) ? window : nullptr;
}

AppTestPage *testPage(MainWindow *window, int i)
{
    return qobject_cast<AppTestPage *>(window->devicePages().value(i));
}

} // namespace

class TestAppShell : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void navigationStrip_sharesTheWidthEvenly_data();
    void navigationStrip_sharesTheWidthEvenly();
    void unplugDuringRefresh_showsOneMessageAndDeletesPagesAfterwards();
    void nestedActionDuringRefresh_defersDeletion_data();
    void nestedActionDuringRefresh_defersDeletion();
    void nestedClickOnRefreshingPage_doesNotRefreshItAgain();
    void waitAnimation_stepsThroughEightFramesAndWraps();
    void quickStartGuide_opensBesideTheWindowOnlyWhenHidden();
    void cancel_shutsDownAndEndsWithCodeOne();
    void cancel_defaultExitLeavesTheEventLoopWithCodeOne();
};

void TestAppShell::cleanup()
{
    QCOMPARE(AppTestPage::destroyedWhileRefreshing, 0);
}

void TestAppShell::navigationStrip_sharesTheWidthEvenly_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("width");
    QTest::newRow("three pages") << 3 << 106;
    QTest::newRow("four pages") << 4 << 80;
}

void TestAppShell::navigationStrip_sharesTheWidthEvenly()
{
    QFETCH(int, count);
    QFETCH(int, width);

    ModalCatcher catcher;
    AppHarness harness("7146");
    MainWindow *window = startWindow(harness, catcher, count, {{"getUniverse"}, 0, {}});
    QVERIFY(window);
    QCOMPARE(window->navigationButtons().size(), count);
    for (int i = 0; i < count; ++i) {
        QPushButton *button = window->navigationButtons().at(i);
        QCOMPARE(button->objectName(), QStringLiteral("T%1-%2").arg(i).arg(i));
        QCOMPARE(window->devicePages().at(i)->objectName(),
                 QStringLiteral("AppTestPage-%1").arg(i));
        QCOMPARE(button->geometry(), QRect(10 + i * width, 0, width, 50));
    }
    // The strip never reaches the status icon at x 340.
    QVERIFY(window->navigationButtons().last()->geometry().right() <
            window->statusIcon()->geometry().left());
}

void TestAppShell::unplugDuringRefresh_showsOneMessageAndDeletesPagesAfterwards()
{
    ModalCatcher catcher;
    AppHarness harness("7146");
    struct Seen
    {
        bool pagesInWindow;
        int messages;
        int pending;
    };
    QList<Seen> seen;
    // The device goes after the first read; the pauses let the poll run inside the refresh.
    AppTestPage::Script script{slowReads, 400, {}};
    script.between = [&](AppTestPage *page, int step) {
        if (page->objectName() != QLatin1String("AppTestPage-0") || page->refreshCount() != 1)
            return;
        if (step == 0)
            harness.server.unplug();
        seen.append({!harness.window->devicePages().isEmpty(), catcher.count(),
                     harness.window->pendingDeletions()});
    };
    MainWindow *window = startWindow(harness, catcher, 4, script);
    QVERIFY(window);
    QPointer<AppTestPage> first = testPage(window, 0);
    QVERIFY(first);

    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), slowReads.size(), 8000);
    // The poll inside the refresh found the device gone: message and port page while the page
    // was still refreshing, its deletion held back until the refresh had ended.
    QVERIFY(seen.first().pagesInWindow);
    QCOMPARE(seen.last().pagesInWindow, false);
    QCOMPARE(seen.last().messages, 2);
    QVERIFY(seen.last().pending > 0);
    QCOMPARE(catcher.last().title, QStringLiteral("Invalid Serial Port"));
    QCOMPARE(catcher.last().text, QStringLiteral("Serial port disconnected"));
    QCOMPARE(window->pageStack()->currentWidget(), window->portPage());
    QVERIFY(window->devicePages().isEmpty());

    QTRY_VERIFY(first.isNull());
    QCOMPARE(AppTestPage::liveCount, 0);
    QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    // The poll after the message finds nothing either and stays quiet.
    QTRY_VERIFY_WITH_TIMEOUT(!window->connectionPollTimer()->isActive(), 3000);
    QCOMPARE(catcher.count(), 2);
}

void TestAppShell::nestedActionDuringRefresh_defersDeletion_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("Serial Ports") << "actionSerial_Ports";
    QTest::newRow("Disconnect on the port page") << "disconnect";
}

void TestAppShell::nestedActionDuringRefresh_defersDeletion()
{
    QFETCH(QString, action);

    ModalCatcher catcher;
    AppHarness harness("7146");
    bool fired = false;
    AppTestPage::Script script{slowReads.mid(0, 3), 0, {}};
    // Halfway through the first page's first refresh, as if the click had been handled by the
    // events the refresh lets run.
    script.between = [&](AppTestPage *page, int step) {
        if (fired || step != 1 || page->objectName() != QLatin1String("AppTestPage-0"))
            return;
        fired = true;
        if (action == QLatin1String("disconnect"))
            emit harness.window->portPage()->serialPortChange(QStringLiteral("disconnected"));
        else
            harness.window->findChild<QAction *>(action)->trigger();
    };
    MainWindow *window = startWindow(harness, catcher, 4, script);
    QVERIFY(window);
    QPointer<AppTestPage> first = testPage(window, 0);
    QTRY_VERIFY(fired);
    // The refresh that was running went on to its end on a page no longer in the window.
    QVERIFY(first.isNull() || first->replies().size() == 3);
    QTRY_VERIFY(first.isNull());
    QCOMPARE(AppTestPage::liveCount, qMax(0, window->devicePages().size()));
}

void TestAppShell::nestedClickOnRefreshingPage_doesNotRefreshItAgain()
{
    ModalCatcher catcher;
    AppHarness harness("7146");
    int clicks = 0;
    AppTestPage::Script script{slowReads.mid(0, 3), 0, {}};
    // A click on the page's own button, and one on another page's, while it refreshes.
    script.between = [&](AppTestPage *page, int step) {
        if (clicks > 0 || step != 0 || page->objectName() != QLatin1String("AppTestPage-0"))
            return;
        ++clicks;
        QPushButton *own = harness.window->navigationButtons().at(0);
        QTest::mousePress(own, Qt::LeftButton);
        QTest::mouseRelease(own, Qt::LeftButton);
        QPushButton *other = harness.window->navigationButtons().at(1);
        QTest::mousePress(other, Qt::LeftButton);
        QTest::mouseRelease(other, Qt::LeftButton);
    };
    MainWindow *window = startWindow(harness, catcher, 4, script);
    QVERIFY(window);
    QTRY_COMPARE(clicks, 1);
    AppTestPage *first = testPage(window, 0);
    AppTestPage *second = testPage(window, 1);
    QTRY_VERIFY(!first->isRefreshing());
    QCOMPARE(first->maxNesting(), 1);
    QCOMPARE(first->refreshCount(), 1);
    QCOMPARE(second->refreshCount(), 1);
    QCOMPARE(window->pageStack()->currentWidget(), second);
}

void TestAppShell::waitAnimation_stepsThroughEightFramesAndWraps()
{
    QVERIFY(statusPicturesDistinct());
    ModalCatcher catcher;
    AppHarness harness("7146");
    QStringList seen;
    QStringList nineReads;
    for (int i = 0; i < 9; ++i)
        nineReads.append(QStringLiteral("getUniverse"));
    AppTestPage::Script script{nineReads, 0, {}};
    script.between = [&](AppTestPage *, int) {
        seen.append(statusPicture(harness.window->statusIcon()));
    };
    MainWindow *window = startWindow(harness, catcher, 4, script);
    QVERIFY(window);
    QTRY_COMPARE(seen.size(), 9);

    QVERIFY2(seen.first().startsWith("wait"), qPrintable(seen.join(',')));
    const int start = seen.first().mid(4).toInt();
    for (int i = 0; i < 9; ++i)
        QCOMPARE(seen.at(i), QStringLiteral("wait%1").arg((start + i) % 8));
    // The poll that ran the refresh puts the connected picture back.
    QTRY_COMPARE(statusPicture(window->statusIcon()), QStringLiteral("connected"));
}

void TestAppShell::quickStartGuide_opensBesideTheWindowOnlyWhenHidden()
{
    ModalCatcher catcher;
    AppHarness harness("7146");
    MainWindow *window = harness.createWindow();
    Manual *guide = window->guideViewer();
    QAction *action = window->findChild<QAction *>("actionQuick_Start_Guide");
    QVERIFY(guide && action);
    // Opened at start-up.
    QVERIFY(guide->isVisible());

    guide->move(600, 300);
    action->trigger();
    QCOMPARE(guide->pos(), QPoint(600, 300));

    guide->close();
    QVERIFY(!guide->isVisible());
    action->trigger();
    QVERIFY(guide->isVisible());
    QCOMPARE(guide->pos(), QPoint(window->x() + window->width() + 20, window->y()));
}

void TestAppShell::cancel_shutsDownAndEndsWithCodeOne()
{
    ModalCatcher catcher;
    AppHarness harness("7146");
    MainWindow *window = startWindow(harness, catcher, 4, {{"getUniverse"}, 0, {}});
    QVERIFY(window);
    QList<int> codes;
    window->setExitHandler([&codes](int code) { codes.append(code); });
    QTRY_VERIFY(window->backgroundRefreshTimer() && window->backgroundRefreshTimer()->isActive());

    QPointer<SerialPortWidget> portPage = window->portPage();
    QPointer<QObject> page = window->devicePages().first();
    QPointer<QTimer> poll = window->connectionPollTimer();
    QTest::mouseClick(portPage->findChild<QPushButton *>("p_SerialportsCancel"), Qt::LeftButton);

    QCOMPARE(codes, QList<int>{1});
    QVERIFY(window->channel() == nullptr);
    QVERIFY(window->devicePages().isEmpty());
    QTRY_VERIFY(portPage.isNull());
    QTRY_VERIFY(page.isNull());
    QTRY_VERIFY(poll.isNull());
    // Nothing the device was asked after the shut-down.
    const int logged = harness.server.commandLog().size();
    QTest::qWait(1200);
    QCOMPARE(harness.server.commandLog().size(), logged);
    QCOMPARE(catcher.count(), 1);
}

void TestAppShell::cancel_defaultExitLeavesTheEventLoopWithCodeOne()
{
    ModalCatcher catcher;
    AppHarness harness("7146");
    QVERIFY(harness.startDevice());
    MainWindow *window = harness.createWindow();
    QPushButton *cancel = window->portPage()->findChild<QPushButton *>("p_SerialportsCancel");
    QVERIFY(cancel);

    QEventLoop loop;
    QTimer::singleShot(50, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
    QTimer::singleShot(10000, &loop, [&loop] { loop.exit(99); });
    QCOMPARE(loop.exec(), 1);
    QVERIFY(window->channel() == nullptr);
}

QTEST_MAIN(TestAppShell)
#include "tst_app_shell.moc"
