// The device is unplugged in the middle of a page's refresh, after each of the refresh's
// exchanges in turn, on every page of every family, with the whole program running: the window
// must come back to the port page with one disconnect message, a free channel, and no page
// destroyed under a refresh still on the stack. Also: unplugged while a message box is open.

#include "support/FaultRig.h"

#include "link/Serial.h"
#include "link/SerialPortWidget.h"
#include "ui/About.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// Exchanges in one refresh of each page; the rows below unplug after every one of them.
int refreshLength(const QString &pageClass, const QString &model)
{
    if (pageClass == QLatin1String("DmxWidget"))
        return 5;
    if (pageClass == QLatin1String("DmxWidget2"))
        return 4;
    if (pageClass == QLatin1String("DimmerWidget"))
        return model.contains(QLatin1String("714")) ? 26 : 11;
    if (pageClass == QLatin1String("FarcastWidget"))
        return 5;
    if (pageClass.startsWith(QLatin1String("InfoWidget")))
        return 10;
    if (pageClass == QLatin1String("AdvancedWidget"))
        return 2;
    return 0;
}

// Bound for one unplug case: the exchange that meets the closed line, a poll and the message.
constexpr qint64 maxStallMs = 1500;

} // namespace

class TestFaultUnplug : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void refresh_sendsTheCountedExchanges_data();
    void refresh_sendsTheCountedExchanges();
    void unplugAfterExchangeK_portPageAndOneMessage_data();
    void unplugAfterExchangeK_portPageAndOneMessage();
    void unplugWhileAboutIsOpen_reportsOnceAboveIt_data();
    void unplugWhileAboutIsOpen_reportsOnceAboveIt();
    void unplugWhileDeviceFoundIsOpen_portPageWithoutMessage_data();
    void unplugWhileDeviceFoundIsOpen_portPageWithoutMessage();

private:
    void addFamilyRows();
    FaultRig *rig(const QString &model);
    std::unique_ptr<FaultRig> m_rig;
};

void TestFaultUnplug::cleanupTestCase()
{
    m_rig.reset();
    QCOMPARE(AppTestPage::destroyedWhileRefreshing, 0);
}

void TestFaultUnplug::addFamilyRows()
{
    QTest::addColumn<QString>("model");
    for (const FaultFamily &family : faultFamilies())
        QTest::newRow(qPrintable(family.name)) << family.model;
}

FaultRig *TestFaultUnplug::rig(const QString &model)
{
    return connectedRig(m_rig, model);
}

void TestFaultUnplug::refresh_sendsTheCountedExchanges_data()
{
    addFamilyRows();
}

// Guards the row table below: a page that sent more exchanges would leave positions untested.
void TestFaultUnplug::refresh_sendsTheCountedExchanges()
{
    QFETCH(QString, model);
    FaultRig *r = rig(model);
    QVERIFY(r);
    for (int i = 0; i < r->family.pageClasses.size(); ++i) {
        const QString pageClass = r->family.pageClasses.at(i);
        const int before = r->server().commandLog().size();
        r->showPage(i);
        QVERIFY(r->window()->devicePages().at(i)->inherits(qPrintable(pageClass)));
        QStringList sent = r->server().commandLog().mid(before);
        // A poll may run between the dimmer editor's channels.
        sent.removeAll(QString());
        QCOMPARE(sent.size(), refreshLength(pageClass, model));
    }
}

void TestFaultUnplug::unplugAfterExchangeK_portPageAndOneMessage_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("k");
    for (const FaultFamily &family : faultFamilies()) {
        for (int page = 0; page < family.pageClasses.size(); ++page) {
            const int n = refreshLength(family.pageClasses.at(page), family.model);
            for (int k = 1; k <= n; ++k) {
                QTest::addRow("%s %s k=%d", qPrintable(family.name),
                              qPrintable(family.pageClasses.at(page)), k)
                    << family.model << page << k;
            }
        }
    }
}

void TestFaultUnplug::unplugAfterExchangeK_portPageAndOneMessage()
{
    QFETCH(QString, model);
    QFETCH(int, page);
    QFETCH(int, k);

    FaultRig *r = rig(model);
    QVERIFY2(r, "no connection to the simulated device");
    MainWindow *window = r->window();
    const bool dimmer = window->devicePages().at(page)->inherits("DimmerWidget");
    QList<QPointer<QObject>> old;
    for (QObject *p : window->devicePages())
        old.append(p);
    const int disconnects = r->disconnectMessages();
    const int losses = r->losses.seen.size();
    const int logBefore = r->server().commandLog().size();
    r->stall.reset();

    // The dimmer editor lets events run after each channel: a poll queued now runs inside its
    // refresh, before the device is gone for small k and after it for the others.
    if (dimmer)
        r->pollSoon();
    r->server().setUnplugAfterCommands(k);
    r->showPage(page);
    if (!r->isOnPortPage())
        r->pollSoon();

    const QString lossWrong = r->waitForLoss(losses);
    QVERIFY2(lossWrong.isEmpty(), qPrintable(lossWrong));
    QVERIFY(r->isOnPortPage());
    QCOMPARE(r->disconnectMessages(), disconnects + 1);
    const ModalCatcher::Message lost = r->catcher.last();
    QCOMPARE(lost.title, QStringLiteral("Invalid Serial Port"));
    QCOMPARE(lost.icon, QMessageBox::Critical);

    // The k-th exchange was the last one the device saw, and it belonged to the refresh.
    const QStringList log = r->server().commandLog();
    QCOMPARE(log.size(), logBefore + k);
    if (!dimmer)
        QVERIFY2(!log.last().isEmpty(), "the device went on a poll, not on the refresh");

    QVERIFY(!window->channel()->isOpen());
    QVERIFY(window->channel()->isLockFree());
    QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    QVERIFY(!window->backgroundRefreshTimer()->isActive());
    for (const QPointer<QObject> &p : old)
        QTRY_VERIFY(p.isNull());
    QCOMPARE(window->pendingDeletions(), 0);
    QVERIFY2(r->stall.longestStallMs() < maxStallMs,
             qPrintable(QString::number(r->stall.longestStallMs())));

    // Plugged in again, the device is found anew; the loss stays reported once.
    QVERIFY2(r->reconnect(), qPrintable(r->lastError()));
    QCOMPARE(r->disconnectMessages(), disconnects + 1);
}

void TestFaultUnplug::unplugWhileAboutIsOpen_reportsOnceAboveIt_data()
{
    addFamilyRows();
}

void TestFaultUnplug::unplugWhileAboutIsOpen_reportsOnceAboveIt()
{
    QFETCH(QString, model);
    FaultRig *r = rig(model);
    QVERIFY(r);
    MainWindow *window = r->window();
    const int disconnects = r->disconnectMessages();

    bool aboutWasUp = false;
    bool sawPortPageInside = false;
    int messagesInside = 0;
    // Runs inside the About box's own loop: the device goes while it is up, the poll's timer keeps
    // firing there, and the box is closed only once the loss has been handled.
    QTimer::singleShot(0, window, [&] {
        QPointer<QDialog> about = qobject_cast<About *>(QApplication::activeModalWidget());
        aboutWasUp = !about.isNull();
        r->server().unplug();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 4000 && r->disconnectMessages() == disconnects)
            QTest::qWait(10);
        sawPortPageInside = r->isOnPortPage();
        messagesInside = r->disconnectMessages() - disconnects;
        if (about)
            about->reject();
    });
    // The menu action runs the box modally and returns when it is closed.
    r->stall.reset();
    window->findChild<QAction *>("actionAbout")->trigger();

    QVERIFY(aboutWasUp);
    QVERIFY(sawPortPageInside);
    QCOMPARE(messagesInside, 1);
    QVERIFY(r->isOnPortPage());
    QVERIFY(window->channel()->isLockFree());
    QVERIFY(!window->channel()->isOpen());
    QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    QVERIFY(r->stall.longestStallMs() < maxStallMs);
    QVERIFY2(r->reconnect(), qPrintable(r->lastError()));
    QCOMPARE(r->disconnectMessages(), disconnects + 1);
}

void TestFaultUnplug::unplugWhileDeviceFoundIsOpen_portPageWithoutMessage_data()
{
    addFamilyRows();
}

// The device leaves before the first poll has heard it answer: nothing to report as lost.
void TestFaultUnplug::unplugWhileDeviceFoundIsOpen_portPageWithoutMessage()
{
    QFETCH(QString, model);
    m_rig.reset();
    FaultRig r(*faultFamily(model));
    r.catcher.setMode(ModalCatcher::Mode::LeaveOpen);
    // The box runs its own loop inside the window's; the device is pulled from in there.
    int pagesWhileOpen = -1;
    QTimer inside;
    QObject::connect(&inside, &QTimer::timeout, [&] {
        if (r.catcher.count() < 1 || !r.catcher.openBox())
            return;
        inside.stop();
        pagesWhileOpen = r.window()->devicePages().size();
        r.stall.reset();
        r.server().unplug();
        r.catcher.setMode(ModalCatcher::Mode::CloseAtOnce);
        r.catcher.closeOpenBoxes();
    });
    inside.start(10);
    QVERIFY2(r.harness.startDevice(), qPrintable(r.harness.lastError()));
    MainWindow *window = r.harness.createWindow();
    QTRY_COMPARE(pagesWhileOpen, 4);
    QCOMPARE(r.catcher.messages().first().title, QStringLiteral("Device Found"));

    QTRY_VERIFY_WITH_TIMEOUT(r.isOnPortPage(), 3000);
    // Polling ends with the port page; nothing more comes.
    QTRY_VERIFY_WITH_TIMEOUT(!window->connectionPollTimer()->isActive(), 3000);
    QCOMPARE(r.disconnectMessages(), 0);
    QCOMPARE(r.catcher.count(), 1);
    QVERIFY(!window->channel()->isOpen());
    QVERIFY(window->channel()->isLockFree());
    QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    QTRY_COMPARE(window->pendingDeletions(), 0);
    QVERIFY(r.stall.longestStallMs() < maxStallMs);
}

QTEST_MAIN(TestFaultUnplug)
#include "tst_fault_unplug.moc"
