// The channel's life on a real pseudo-terminal: opening, identification, the liveness check, a
// device that falls silent or is unplugged, and the lock left free on every way out.

#include "link/ModelCatalogue.h"
#include "link/Serial.h"
#include "server/PtyServer.h"
#include "support/DeviceFixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString ms(qint64 elapsed)
{
    return QStringLiteral("%1 ms").arg(elapsed);
}

} // namespace

class SerialSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void open_codes();
    void open_discardsWhatTheDeviceSentBefore();
    void identify_data();
    void identify();
    void ping_answeringDeviceIsResponding();
    void ping_replyWithoutThePromptClosesThePortButNotTheFlag();
    void lostDevice_closesTheChannel_data();
    void lostDevice_closesTheChannel();
};

void SerialSessionTest::open_codes()
{
    sim::PtyServer server(QStringLiteral("7126"));
    QVERIFY(server.start());

    Serial serial;
    serial.setPortName(server.portPath());
    QCOMPARE(serial.open(), 0);
    QCOMPARE(serial.open(), -2);
    QVERIFY(serial.isOpen());

    // Held by another channel: busy until that one lets go.
    Serial second;
    second.setPortName(server.portPath());
    QCOMPARE(second.open(), -4);
    QVERIFY(!second.isOpen());
    QVERIFY(serial.close());
    QVERIFY(!serial.isOpen());
    QVERIFY(!serial.close());
    QCOMPARE(second.open(), 0);
    QVERIFY(second.close());
    QVERIFY(serial.isLockFree());

    // A name with "None" in it is refused even when it leads to a device; had the refused
    // channel touched the port it would still hold it, and the next open would be busy.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyNone0"));
    QVERIFY(QFile::link(server.slavePath(), link));
    Serial refused;
    refused.setPortName(link);
    QCOMPARE(refused.open(), -3);
    QVERIFY(!refused.isOpen());
    QCOMPARE(serial.open(), 0);
}

void SerialSessionTest::open_discardsWhatTheDeviceSentBefore()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());

    // Someone else asked and went away before the answer came: it waits on the line.
    {
        QSerialPort other;
        other.setPortName(server.portPath());
        QVERIFY(other.open(QIODevice::ReadWrite));
        other.write("getFWInfo\n");
        QVERIFY(other.waitForBytesWritten(1000));
    }
    QTRY_COMPARE(server.commandLog(), QStringList{QStringLiteral("getFWInfo")});
    // The answer is written right after the command is logged; nothing observable marks its
    // arrival in the terminal's queue.
    QTest::qWait(100);

    Serial serial;
    serial.setPortName(server.portPath());
    QCOMPARE(serial.open(), 0);
    serial.setPrompt(QStringLiteral("714x:"));
    QString reply;
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply, 0, 0));
    QCOMPARE(reply, QStringLiteral("getUniverse"));
}

void SerialSessionTest::identify_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("answer"); // empty: the simulator's own
    QTest::addColumn<QString>("found");     // empty: none
    for (const char *model : {"7146", "7147", "7126", "7127", "7185", "7186"})
        QTest::newRow(model) << model << QByteArray() << model;
    QTest::newRow("marker joined to a word")
        << "7127" << QByteArray("getFWInfo\r\nFWModel: 7127\r\n712x:") << "7127";
    QTest::newRow("marker as the last word")
        << "7146" << QByteArray("getFWInfo\r\nVersion 1 Model:") << "";
}

void SerialSessionTest::identify()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, answer);
    QFETCH(QString, found);

    sim::PtyServer server(model);
    QVERIFY(server.start());
    if (!answer.isEmpty())
        server.setReplyOverride([answer](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.trimmed() == "getFWInfo")
                return answer;
            return std::nullopt;
        });
    Serial serial;
    serial.setPortName(server.portPath());
    QCOMPARE(serial.open(), 0);
    QCOMPARE(serial.prompt(), QStringLiteral(":"));

    QElapsedTimer timer;
    timer.start();
    QString result = QStringLiteral("previous");
    QCOMPARE(serial.identify(result), !found.isEmpty());
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(result, found.isEmpty() ? QStringLiteral("previous") : found);
    if (found.isEmpty())
        return;
    // With the prompt unknown, only silence ends the reply.
    QVERIFY2(elapsed >= 100 && elapsed < 1000, qPrintable(ms(elapsed)));
    QCOMPARE(server.commandLog(), QStringList{QStringLiteral("getFWInfo")});

    // identify leaves nothing behind: the next transaction reads its own reply.
    serial.setPrompt(getModelPrefix(found));
    QString reply;
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply, 0, 0));
    QCOMPARE(reply, QStringLiteral("getUniverse"));
}

void SerialSessionTest::ping_answeringDeviceIsResponding()
{
    DeviceFixture device(QStringLiteral("7147"));
    QVERIFY2(device.connect(), qPrintable(device.lastError()));
    device.server.clearLog();

    QVERIFY(!device.serial.isResponding());
    QVERIFY(device.serial.ping());
    QVERIFY(device.serial.isResponding());
    QVERIFY(device.serial.isOpen());
    QCOMPARE(device.server.commandLog(), QStringList{QString()});
    QVERIFY(device.serial.isLockFree());

    // A prompt for another family never arrives: not responding.
    device.serial.setPrompt(QStringLiteral("712x:"));
    QVERIFY(!device.serial.ping());
    QVERIFY(!device.serial.isResponding());
    QVERIFY(device.serial.close());
    QVERIFY(!device.serial.isResponding());
}

void SerialSessionTest::ping_replyWithoutThePromptClosesThePortButNotTheFlag()
{
    DeviceFixture device(QStringLiteral("7146"));
    QVERIFY2(device.connect(), qPrintable(device.lastError()));
    device.server.setReplyOverride([](const QByteArray &line) -> std::optional<QByteArray> {
        if (line.trimmed().isEmpty())
            return QByteArray("rebooting\r\n");
        return std::nullopt;
    });

    QVERIFY(!device.serial.ping());
    QVERIFY(!device.serial.isResponding());
    QVERIFY(device.serial.isOpen());
    QVERIFY(device.serial.isLockFree());

    // The port underneath is gone: the next command cannot be written and closes the channel.
    device.server.setReplyOverride({});
    device.server.clearLog();
    QElapsedTimer timer;
    timer.start();
    QString reply = QStringLiteral("stale");
    QVERIFY(device.serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QVERIFY(reply.isEmpty());
    QVERIFY(!device.serial.isOpen());
    QVERIFY2(timer.elapsed() < 500, qPrintable(ms(timer.elapsed())));
    QVERIFY(device.server.commandLog().isEmpty());
    QVERIFY(device.serial.isLockFree());

    // The same channel opens again on the same device, which still answers.
    QCOMPARE(device.serial.open(), 0);
    QVERIFY(device.serial.ping());
}

void SerialSessionTest::lostDevice_closesTheChannel_data()
{
    QTest::addColumn<bool>("unplugged"); // else fallen silent
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    // Ten silent reads of 100 ms each; an unplugged port fails at once instead.
    QTest::newRow("silent device") << false << 900 << 3000;
    QTest::newRow("unplugged device") << true << 0 << 500;
}

void SerialSessionTest::lostDevice_closesTheChannel()
{
    QFETCH(bool, unplugged);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);

    DeviceFixture device(QStringLiteral("7186"));
    QVERIFY2(device.connect(), qPrintable(device.lastError()));
    QString reply;
    QVERIFY(device.serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QVERIFY(!reply.isEmpty());

    if (unplugged)
        device.server.unplug();
    else
        device.server.setSilent(true);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(device.serial.sendCommand(QStringLiteral("getPwmConfig\n"), reply));
    const qint64 elapsed = timer.elapsed();

    QVERIFY(reply.isEmpty());
    QVERIFY(!device.serial.isOpen());
    QVERIFY2(elapsed >= minMs && elapsed < maxMs, qPrintable(ms(elapsed)));
    QVERIFY(device.serial.isLockFree());
    QVERIFY(!device.serial.sendCommand(QStringLiteral("getPwmConfig\n"), reply));
    QVERIFY(!device.serial.ping());
}

QTEST_GUILESS_MAIN(SerialSessionTest)
#include "tst_serial_session.moc"
