// The main window with the program's own pages against a simulated device on a pseudo-terminal:
// start-up and auto-connect, page assembly, navigation, the Serial Ports action, unplug and
// replug.

#include "support/AppHarness.h"
#include "support/ModalCatcher.h"

#include "link/Serial.h"
#include "link/SerialPortWidget.h"
#include "ui/Theme.h"

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

namespace {

QString navStyle(void (*apply)(QPushButton *))
{
    QPushButton reference;
    apply(&reference);
    return reference.styleSheet();
}

int countMessages(const ModalCatcher &catcher, const QString &title)
{
    int n = 0;
    for (const ModalCatcher::Message &message : catcher.messages()) {
        if (message.title == title)
            ++n;
    }
    return n;
}

} // namespace

class TestAppMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startup_findsDeviceAndBuildsItsPages_data();
    void startup_findsDeviceAndBuildsItsPages();
    void navigation_pressGreysReleaseShowsAndRefreshes();
    void leavingThePages_stopsTimersAndDiscardsThem_data();
    void leavingThePages_stopsTimersAndDiscardsThem();
    void unplug_returnsToPortPageWithOneMessage_data();
    void unplug_returnsToPortPageWithOneMessage();

private:
    // Starts the device and the window and waits until the first page has been read.
    bool connectDevice(AppHarness &harness, ModalCatcher &catcher);
};

void TestAppMainWindow::initTestCase()
{
    QVERIFY2(statusPicturesDistinct(), "the status pictures must be distinct images");
}

bool TestAppMainWindow::connectDevice(AppHarness &harness, ModalCatcher &catcher)
{
    if (!harness.startDevice()) {
        qWarning() << harness.lastError();
        return false;
    }
    harness.createWindow();
    if (!catcher.waitForCount(1, 5000))
        return false;
    return QTest::qWaitFor([&] {
        return statusPicture(harness.window->statusIcon()) == QLatin1String("connected") &&
               harness.window->backgroundRefreshTimer()->isActive();
    });
}

void TestAppMainWindow::startup_findsDeviceAndBuildsItsPages_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("productId");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("pageNames");
    QTest::addColumn<QStringList>("buttonNames");
    QTest::addColumn<QString>("prompt");
    // Read in this order by the first responding poll, before the page on screen is done.
    QTest::addColumn<QStringList>("firstReads");

    QTest::newRow("5-channel dimmer")
        << "7146" << 7146 << "Model 7146 - Glimmerline 5x2.5A Dimmer Found"
        << QStringList{"DmxWidget-0", "DimmerWidget-1", "FarcastWidget-2", "InfoWidget-3"}
        << QStringList{"DMX-0", "Dimmer-1", "Farcast-2", "Info-3"}
        << "714x:" << QStringList{"getUniverse"};
    QTest::newRow("receiver card reads its outputs before the DMX page")
        << "7186" << 7185 << "Model 7186 - Farcast Receiver Card Found"
        << QStringList{"DmxWidget2-0", "FarcastWidget-1", "InfoWidget2-2", "AdvancedWidget-3"}
        << QStringList{"DMX-0", "Farcast-1", "Info-2", "Advanced-3"}
        << "718x:" << QStringList{"getPwmConfig", "getUniverse"};
}

void TestAppMainWindow::startup_findsDeviceAndBuildsItsPages()
{
    QFETCH(QString, model);
    QFETCH(int, productId);
    QFETCH(QString, message);
    QFETCH(QStringList, pageNames);
    QFETCH(QStringList, buttonNames);
    QFETCH(QString, prompt);
    QFETCH(QStringList, firstReads);

    ModalCatcher catcher;
    AppHarness harness(model, quint16(productId));
    QVERIFY2(harness.startDevice(), qPrintable(harness.lastError()));
    MainWindow *window = harness.createWindow();
    QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    QCOMPARE(window->pageStack()->currentWidget(), window->portPage());

    QVERIFY(catcher.waitForCount(1));
    QCOMPARE(catcher.last().title, QStringLiteral("Device Found"));
    QCOMPARE(catcher.last().text, message);
    QCOMPARE(catcher.last().icon, QMessageBox::Information);
    QCOMPARE(harness.indexOf("getFWInfo"), 0);

    QCOMPARE(window->channel()->prompt(), prompt);
    QCOMPARE(window->devicePages().size(), 4);
    QCOMPARE(window->navigationButtons().size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(window->devicePages().at(i)->objectName(), pageNames.at(i));
        QCOMPARE(window->pageStack()->indexOf(window->devicePages().at(i)), i + 1);
        QPushButton *button = window->navigationButtons().at(i);
        QCOMPARE(button->objectName(), buttonNames.at(i));
        QCOMPARE(button->text(), buttonNames.at(i).section('-', 0, 0));
        QCOMPARE(button->geometry(), QRect(10 + i * 80, 0, 80, 50));
        QVERIFY(button->isVisible());
    }

    // The poll after the message finds the device and reads the first page.
    QTRY_COMPARE(statusPicture(window->statusIcon()), QStringLiteral("connected"));
    QTRY_VERIFY(window->backgroundRefreshTimer()->isActive());
    QCOMPARE(window->pageStack()->currentIndex(), 1);
    QCOMPARE(window->navigationButtons().at(0)->styleSheet(),
             navStyle(applyNavButtonSelectedStyle));
    // No field of the new page starts out focused: it would be skipped by every read and its
    // placeholder written to the device when the user clicks elsewhere.
    QCOMPARE(window->focusWidget(), window->navigationButtons().at(0));
    const int ping = harness.indexOf(QString(), 1);
    QVERIFY(ping > 0);
    int previous = ping;
    for (const QString &read : firstReads) {
        const int at = harness.indexOf(read, ping);
        QVERIFY2(at > previous, qPrintable(read + " not read in order after the first poll"));
        previous = at;
    }
    QCOMPARE(catcher.count(), 1);
}

void TestAppMainWindow::navigation_pressGreysReleaseShowsAndRefreshes()
{
    ModalCatcher catcher;
    AppHarness harness("7146");
    QVERIFY(connectDevice(harness, catcher));
    MainWindow *window = harness.window.get();
    QPushButton *first = window->navigationButtons().at(0);
    QPushButton *farcast = window->navigationButtons().at(2);

    QTest::mousePress(farcast, Qt::LeftButton);
    QCOMPARE(farcast->styleSheet(), navStyle(applyNavButtonPressedStyle));
    QCOMPARE(first->styleSheet(), navStyle(applyNavButtonStyle));
    QCOMPARE(window->pageStack()->currentIndex(), 1);

    const int before = harness.server.commandLog().size();
    QTest::mouseRelease(farcast, Qt::LeftButton);
    QCOMPARE(window->pageStack()->currentWidget(), window->devicePages().at(2));
    QCOMPARE(farcast->styleSheet(), navStyle(applyNavButtonSelectedStyle));
    QCOMPARE(first->styleSheet(), navStyle(applyNavButtonStyle));
    // The release read the wireless page from the device.
    QVERIFY(harness.indexOf("getVexaId", before) >= before);
    QVERIFY(harness.indexOf("getAntenna", before) >= before);
    QCOMPARE(catcher.count(), 1);
}

void TestAppMainWindow::leavingThePages_stopsTimersAndDiscardsThem_data()
{
    QTest::addColumn<bool>("serialPortsAction");
    QTest::newRow("Serial Ports action: auto-connect finds the device again") << true;
    QTest::newRow("model without a page set: nothing built, no message") << false;
}

void TestAppMainWindow::leavingThePages_stopsTimersAndDiscardsThem()
{
    QFETCH(bool, serialPortsAction);
    ModalCatcher catcher;
    AppHarness harness("7146");
    QVERIFY(connectDevice(harness, catcher));
    MainWindow *window = harness.window.get();
    const QString promptBefore = window->channel()->prompt();
    QList<QPointer<QObject>> old;
    for (QObject *page : window->devicePages())
        old.append(page);
    for (QObject *button : window->navigationButtons())
        old.append(button);

    if (serialPortsAction)
        window->findChild<QAction *>("actionSerial_Ports")->trigger();
    else
        emit window->portPage()->serialPortChange(QStringLiteral("9999"));
    QVERIFY(!window->connectionPollTimer()->isActive());
    QVERIFY(!window->backgroundRefreshTimer()->isActive());
    QCOMPARE(window->pageStack()->currentWidget(), window->portPage());
    QVERIFY(window->devicePages().isEmpty());
    QVERIFY(window->navigationButtons().isEmpty());
    for (const QPointer<QObject> &object : old)
        QTRY_VERIFY(object.isNull());

    if (serialPortsAction) {
        QVERIFY(catcher.waitForCount(2));
        QCOMPARE(catcher.last().title, QStringLiteral("Device Found"));
        QTRY_COMPARE(window->devicePages().size(), 4);
    } else {
        QCOMPARE(window->channel()->prompt(), promptBefore);
        // No auto-connect either, which would announce the device again.
        QTest::qWait(300);
        QCOMPARE(catcher.count(), 1);
        QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    }
}

void TestAppMainWindow::unplug_returnsToPortPageWithOneMessage_data()
{
    QTest::addColumn<bool>("duringDimmerRefresh");
    QTest::newRow("idle on the DMX page") << false;
    QTest::newRow("while the dimmer page is being read") << true;
}

void TestAppMainWindow::unplug_returnsToPortPageWithOneMessage()
{
    QFETCH(bool, duringDimmerRefresh);

    ModalCatcher catcher;
    AppHarness harness("7146");
    QVERIFY(connectDevice(harness, catcher));
    MainWindow *window = harness.window.get();
    QList<QPointer<QObject>> old;
    for (QObject *page : window->devicePages())
        old.append(page);

    if (duringDimmerRefresh) {
        // Gone in the middle of the channel editor's reads, which let events run between
        // channels.
        harness.server.setUnplugAfterCommands(6);
        QPushButton *dimmer = window->navigationButtons().at(1);
        QTest::mousePress(dimmer, Qt::LeftButton);
        QTest::mouseRelease(dimmer, Qt::LeftButton);
    } else {
        harness.server.unplug();
    }

    QTRY_COMPARE_WITH_TIMEOUT(countMessages(catcher, "Invalid Serial Port"), 1, 4000);
    const ModalCatcher::Message lost = catcher.last();
    QCOMPARE(lost.text, QStringLiteral("Serial port disconnected"));
    QCOMPARE(lost.icon, QMessageBox::Critical);
    QCOMPARE(window->pageStack()->currentWidget(), window->portPage());
    QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    QVERIFY(window->devicePages().isEmpty());
    for (const QPointer<QObject> &page : old)
        QTRY_VERIFY(page.isNull());
    QVERIFY(!window->channel()->isOpen());

    // Back again before the one poll that follows the message: that poll's auto-connect finds
    // it.
    QVERIFY(harness.server.replug());
    QTRY_COMPARE_WITH_TIMEOUT(countMessages(catcher, "Device Found"), 2, 4000);
    QTRY_COMPARE(statusPicture(window->statusIcon()), QStringLiteral("connected"));
    QCOMPARE(window->devicePages().size(), 4);
    QCOMPARE(countMessages(catcher, "Invalid Serial Port"), 1);
}

QTEST_MAIN(TestAppMainWindow)
#include "tst_app_mainwindow.moc"
