// A device that is still there but odd on the line: slow, answering in pieces, sending bytes
// after its prompt or noise before its answers, or falling silent. The whole program runs; where
// the device keeps answering, every page must show exactly what it shows on a clean line, and
// where it falls silent the window goes back to the port page and reports the loss once.

#include "support/FaultRig.h"

#include "link/Serial.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTest>

#include <memory>

namespace {

struct LineFault
{
    int latencyMs = 0;
    int chunkBytes = 0;
    int chunkPauseMs = 0;
    QByteArray trailing;
    QByteArray garbage;
};

} // namespace

Q_DECLARE_METATYPE(LineFault)

class TestFaultLine : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void oddButAnswering_pagesShowWhatACleanLineShows_data();
    void oddButAnswering_pagesShowWhatACleanLineShows();
    void silentDuringRefresh_portPageAndOneMessage_data();
    void silentDuringRefresh_portPageAndOneMessage();

private:
    std::unique_ptr<FaultRig> m_rig;
};

void TestFaultLine::cleanupTestCase()
{
    m_rig.reset();
}

void TestFaultLine::oddButAnswering_pagesShowWhatACleanLineShows_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<LineFault>("fault");
    // Pages read under the fault; a slow device is read on its first page only, to keep the
    // case short.
    QTest::addColumn<bool>("allPages");

    for (const FaultFamily &family : faultFamilies()) {
        const QByteArray name = family.name.toUtf8();
        LineFault slow;
        slow.latencyMs = 300;
        QTest::addRow("%s, 300 ms per reply", name.constData()) << family.model << slow << false;
        slow.latencyMs = 900;
        QTest::addRow("%s, 900 ms per reply", name.constData()) << family.model << slow << false;
        LineFault chunks;
        chunks.chunkBytes = 16;
        chunks.chunkPauseMs = 40;
        QTest::addRow("%s, 16-byte pieces 40 ms apart", name.constData())
            << family.model << chunks << true;
        // Odd-sized pieces cut the two-byte and three-byte characters of the labels.
        chunks.chunkBytes = 5;
        chunks.chunkPauseMs = 2;
        QTest::addRow("%s, 5-byte pieces", name.constData()) << family.model << chunks << true;
        LineFault after;
        after.trailing = QByteArray("\r\n!!", 4);
        QTest::addRow("%s, bytes after the prompt", name.constData())
            << family.model << after << true;
        LineFault noise;
        noise.garbage = QByteArray("\r\xff\xfe\xc0", 4);
        QTest::addRow("%s, invalid UTF-8 and a bare CR before each answer", name.constData())
            << family.model << noise << true;
        noise.garbage = QByteArray("\x00", 1);
        QTest::addRow("%s, a NUL byte before each answer", name.constData())
            << family.model << noise << true;
    }
}

void TestFaultLine::oddButAnswering_pagesShowWhatACleanLineShows()
{
    QFETCH(QString, model);
    QFETCH(LineFault, fault);
    QFETCH(bool, allPages);

    FaultRig *r = connectedRig(m_rig, model);
    QVERIFY2(r, "no connection to the simulated device");
    MainWindow *window = r->window();
    const int pageCount = allPages ? window->devicePages().size() : 1;
    auto readPages = [&] {
        QStringList shown;
        for (int i = 0; i < pageCount; ++i) {
            r->showPage(i);
            shown << r->pageSnapshot(i);
            // Back to the event loop between pages, as between a user's clicks.
            QCoreApplication::processEvents();
        }
        return shown;
    };

    r->server().modifyState([](sim::DeviceState &s) { applyFaultSettings(s, true); });
    const QStringList clean = readPages();
    r->server().modifyState([](sim::DeviceState &s) { applyFaultSettings(s, false); });
    const QStringList other = readPages();
    QVERIFY(clean != other);
    if (allPages) {
        // Labels come back as the device stores them, whatever their encoding on the line.
        const int info =
            r->family.pageClasses.indexOf(QRegularExpression(QStringLiteral("InfoWidget2?")));
        r->server().modifyState([](sim::DeviceState &s) { applyFaultSettings(s, true); });
        r->showPage(info);
        QCOMPARE(r->pageWidget<QLineEdit>(info, "le_deviceLabel")->text(),
                 QStringLiteral("Bühne Nord ✓"));
        r->server().modifyState([](sim::DeviceState &s) { applyFaultSettings(s, false); });
        QCOMPARE(readPages(), other);
    }

    const int messages = r->catcher.count();
    r->server().setLatencyMs(fault.latencyMs);
    r->server().setChunking(fault.chunkBytes, fault.chunkPauseMs);
    r->server().setTrailingBytes(fault.trailing);
    r->server().setGarbage(fault.garbage);
    r->server().modifyState([](sim::DeviceState &s) { applyFaultSettings(s, true); });
    r->stall.reset();
    const QStringList faulty = readPages();
    const qint64 stall = r->stall.longestStallMs();
    r->server().clearFaults();

    QCOMPARE(faulty, clean);
    QVERIFY(window->channel()->isOpen());
    QVERIFY(window->channel()->isLockFree());
    QCOMPARE(r->catcher.count(), messages);
    QVERIFY(r->isConnected() || window->pageStack()->currentIndex() >= 1);
    // A page's reads run back to back on the GUI thread; the loop is back after the last one.
    qInfo("longest stall %lld ms", stall);
    const qint64 bound = pageCount == 1 ? 5 * (fault.latencyMs + 150) + 500 : 4000;
    QVERIFY2(stall < bound, qPrintable(QStringLiteral("%1 ms").arg(stall)));
}

void TestFaultLine::silentDuringRefresh_portPageAndOneMessage_data()
{
    QTest::addColumn<QString>("model");
    for (const FaultFamily &family : faultFamilies())
        QTest::newRow(qPrintable(family.name)) << family.model;
}

// The device stops answering just as the last page is read: that read's ten empty waits close
// the channel, the rest of the refresh finds it closed, and the next poll reports the loss.
void TestFaultLine::silentDuringRefresh_portPageAndOneMessage()
{
    QFETCH(QString, model);
    FaultRig *r = connectedRig(m_rig, model);
    QVERIFY2(r, "no connection to the simulated device");
    MainWindow *window = r->window();
    const int before = r->catcher.count();
    const int disconnects = r->disconnectMessages();
    const int losses = r->losses.seen.size();

    r->server().setSilent(true);
    r->stall.reset();
    r->showPage(window->devicePages().size() - 1);
    QVERIFY(!window->channel()->isOpen());
    const QString lossWrong = r->waitForLoss(losses, 3000);
    QVERIFY2(lossWrong.isEmpty(), qPrintable(lossWrong));
    // The port page's auto-connect then finds a port whose device does not identify itself.
    QTRY_VERIFY_WITH_TIMEOUT(!window->connectionPollTimer()->isActive(), 3000);
    QCOMPARE(r->disconnectMessages(), disconnects + 1);
    const QList<ModalCatcher::Message> messages = r->catcher.messages().mid(before);
    for (const ModalCatcher::Message &message : messages) {
        if (message.text != QLatin1String("Serial port disconnected"))
            QVERIFY2(message.text.endsWith(" does not have a valid device attached"),
                     qPrintable(message.text));
    }
    QVERIFY(window->channel()->isLockFree());
    QCOMPARE(statusPicture(window->statusIcon()), QStringLiteral("unconnected"));
    QTRY_COMPARE(window->pendingDeletions(), 0);
    qInfo("longest stall %lld ms", r->stall.longestStallMs());
    // One unanswered exchange, about a second, is the longest the window waits.
    QVERIFY2(r->stall.longestStallMs() < 1800,
             qPrintable(QStringLiteral("%1 ms").arg(r->stall.longestStallMs())));

    r->server().setSilent(false);
    QVERIFY2(r->reconnect(), qPrintable(r->lastError()));
    QCOMPARE(r->disconnectMessages(), disconnects + 1);
}

QTEST_MAIN(TestFaultLine)
#include "tst_fault_line.moc"
