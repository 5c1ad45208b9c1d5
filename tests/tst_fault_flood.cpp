// A device that answers one read with far too much: a trickle that never reaches the prompt, a
// fast stream without a prompt, or a single reply of 1 MiB. The channel must give up on it as on
// an unanswered command, so the window is back within a bounded time, on the port page, with the
// loss reported once.

#include "support/FaultRig.h"

#include "link/Serial.h"

#include <QTest>

#include <atomic>
#include <memory>

namespace {

QByteArray filler(int bytes)
{
    const QByteArray line("Universe: 1 level 255 data data data\r\n");
    QByteArray text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    text.truncate(bytes);
    return text;
}

} // namespace

class TestFaultFlood : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void floodedRead_channelGivesUpPortPageAndOneMessage_data();
    void floodedRead_channelGivesUpPortPageAndOneMessage();

private:
    std::unique_ptr<FaultRig> m_rig;
};

void TestFaultFlood::cleanupTestCase()
{
    m_rig.reset();
}

void TestFaultFlood::floodedRead_channelGivesUpPortPageAndOneMessage_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("chunkBytes");
    QTest::addColumn<int>("chunkPauseMs");
    // The longest the GUI thread may be held: the channel's two-second budget for one exchange,
    // plus room for a loaded machine.
    QTest::addColumn<int>("maxStallMs");

    for (const FaultFamily &family : faultFamilies()) {
        const QByteArray name = family.name.toUtf8();
        // 16 bytes every 20 ms for four seconds: never silent for 100 ms, never a prompt.
        QTest::addRow("%s, endless trickle without prompt", name.constData())
            << family.model << filler(3200) << 16 << 20 << 2800;
        QTest::addRow("%s, fast stream without prompt", name.constData())
            << family.model << filler(300 * 1024) << 0 << 0 << 2800;
        const QByteArray prompt = family.model.left(3).toLatin1() + "x:";
        QTest::addRow("%s, one 1 MiB reply", name.constData())
            << family.model << filler(1024 * 1024) + "\r\n" + prompt << 0 << 0 << 2800;
    }
}

void TestFaultFlood::floodedRead_channelGivesUpPortPageAndOneMessage()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, answer);
    QFETCH(int, chunkBytes);
    QFETCH(int, chunkPauseMs);
    QFETCH(int, maxStallMs);

    FaultRig *r = connectedRig(m_rig, model);
    QVERIFY2(r, "no connection to the simulated device");
    MainWindow *window = r->window();
    const int before = r->catcher.count();
    const int disconnects = r->disconnectMessages();
    const int losses = r->losses.seen.size();

    // Only the first universe read floods; the device answers normally again afterwards.
    auto flooded = std::make_shared<std::atomic<bool>>(false);
    r->server().setReplyOverride(
        [flooded, answer](const QByteArray &line) -> std::optional<QByteArray> {
            if (!line.startsWith("getUniverse") || flooded->exchange(true))
                return std::nullopt;
            return answer;
        });
    r->server().setChunking(chunkBytes, chunkPauseMs);
    r->stall.reset();
    QElapsedTimer took;
    took.start();
    r->showPage(0);
    QVERIFY(flooded->load());
    QVERIFY(!window->channel()->isOpen());
    QVERIFY(window->channel()->isLockFree());
    const qint64 refreshMs = took.elapsed();

    const QString lossWrong = r->waitForLoss(losses, 3000);
    QVERIFY2(lossWrong.isEmpty(), qPrintable(lossWrong));
    QCOMPARE(r->disconnectMessages(), disconnects + 1);
    // The port page's auto-connect may meet the rest of the flood and refuse the port, or, on a
    // slower run, come after the flood has ended and find the device again.
    const QList<ModalCatcher::Message> messages = r->catcher.messages().mid(before);
    for (const ModalCatcher::Message &message : messages) {
        if (message.text != QLatin1String("Serial port disconnected"))
            QVERIFY2(message.text.endsWith(" does not have a valid device attached") ||
                         message.title == QLatin1String("Device Found"),
                     qPrintable(message.text));
    }
    QVERIFY(window->channel()->isLockFree());
    QTRY_COMPARE(window->pendingDeletions(), 0);
    qInfo("refresh %lld ms, longest stall %lld ms", refreshMs, r->stall.longestStallMs());
    QVERIFY2(refreshMs < maxStallMs, qPrintable(QStringLiteral("refresh %1 ms").arg(refreshMs)));
    QVERIFY2(r->stall.longestStallMs() < maxStallMs,
             qPrintable(QStringLiteral("stall %1 ms").arg(r->stall.longestStallMs())));

    // A fresh device behind the same port cuts what is left of the flood short.
    r->server().clearFaults();
    r->server().unplug();
    QVERIFY2(r->reconnect(), qPrintable(r->lastError()));
}

QTEST_MAIN(TestFaultFlood)
#include "tst_fault_flood.moc"
