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

class SerialSessionTest : public QObject
{
    Q_OBJECT

private slots:
    void open_codes();
    void open_nameWithNoneIsRefusedEvenWhenItLeadsToADevice();
    void open_portHeldByAnotherChannelIsBusy();
    void open_discardsWhatTheDeviceSentBefore();

    void identify_eachModelWithTheInitialPrompt_data();
    void identify_eachModelWithTheInitialPrompt();
    void identify_modelMarker_data();
    void identify_modelMarker();

    void ping_answeringDeviceIsResponding();
    void ping_replyWithoutThePromptClosesThePortButNotTheFlag();
    void silentDevice_tenEmptyReadsCloseTheChannel();
    void unplug_nextTransactionClosesTheChannelQuickly();
};

void SerialSessionTest::open_codes()
{
    sim::PtyServer server(QStringLiteral("7126"));
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));

    Serial serial;
    serial.setPortName(server.portPath());
    QCOMPARE(serial.open(), 0);
    QVERIFY(serial.isOpen());
    QCOMPARE(serial.open(), -2);
    QVERIFY(serial.isOpen());

    QVERIFY(serial.close());
    QVERIFY(!serial.isOpen());
    QVERIFY(!serial.close());
    QCOMPARE(serial.open(), 0);
    QVERIFY(serial.close());
    QVERIFY(serial.isLockFree());
}

void SerialSessionTest::open_nameWithNoneIsRefusedEvenWhenItLeadsToADevice()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyNone0"));
    QVERIFY(QFile::link(server.slavePath(), link));

    Serial refused;
    refused.setPortName(link);
    QCOMPARE(refused.open(), -3);
    QVERIFY(!refused.isOpen());

    // Had the refused channel touched the port it would still hold it, and this would be busy.
    Serial other;
    other.setPortName(server.slavePath());
    QCOMPARE(other.open(), 0);
    other.close();
}

void SerialSessionTest::open_portHeldByAnotherChannelIsBusy()
{
    sim::PtyServer server(QStringLiteral("7185"));
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));

    Serial first;
    first.setPortName(server.portPath());
    QCOMPARE(first.open(), 0);

    Serial second;
    second.setPortName(server.portPath());
    QCOMPARE(second.open(), -4);
    QVERIFY(!second.isOpen());

    QVERIFY(first.close());
    QCOMPARE(second.open(), 0);
    second.close();
}

void SerialSessionTest::open_discardsWhatTheDeviceSentBefore()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));

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
    serial.close();
}

void SerialSessionTest::identify_eachModelWithTheInitialPrompt_data()
{
    QTest::addColumn<QString>("model");
    for (const char *model : {"7146", "7147", "7126", "7127", "7185", "7186"})
        QTest::newRow(model) << QString::fromLatin1(model);
}

void SerialSessionTest::identify_eachModelWithTheInitialPrompt()
{
    QFETCH(QString, model);
    sim::PtyServer server(model);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    Serial serial;
    serial.setPortName(server.portPath());
    QCOMPARE(serial.open(), 0);
    QCOMPARE(serial.prompt(), QStringLiteral(":"));

    QElapsedTimer timer;
    timer.start();
    QString found;
    QVERIFY(serial.identify(found));
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(found, model);
    // With the prompt unknown, only silence ends the reply.
    QVERIFY2(elapsed >= 100, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QVERIFY2(elapsed < 1000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));

    QCOMPARE(server.commandLog(), QStringList{QStringLiteral("getFWInfo")});
    // identify leaves nothing behind: the next transaction reads its own reply.
    serial.setPrompt(getModelPrefix(found));
    QString reply;
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply, 0, 0));
    QCOMPARE(reply, QStringLiteral("getUniverse"));
    serial.close();
}

void SerialSessionTest::identify_modelMarker_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("model");

    QTest::newRow("marker joined to a word")
        << QByteArray("getFWInfo\r\nFWModel: 7127\r\n712x:") << true << "7127";
    QTest::newRow("marker as the last word")
        << QByteArray("getFWInfo\r\nVersion 1 Model:") << false << "";
    QTest::newRow("no marker") << QByteArray("getFWInfo\r\nERROR: unknown command\r\n:") << false
                               << "";
}

void SerialSessionTest::identify_modelMarker()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, found);
    QFETCH(QString, model);

    sim::PtyServer server(QStringLiteral("7146"));
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    server.setReplyOverride([answer](const QByteArray &line) -> std::optional<QByteArray> {
        if (line.trimmed() == "getFWInfo")
            return answer;
        return std::nullopt;
    });
    Serial serial;
    serial.setPortName(server.portPath());
    QCOMPARE(serial.open(), 0);

    QString result = QStringLiteral("previous");
    QCOMPARE(serial.identify(result), found);
    QCOMPARE(result, found ? model : QStringLiteral("previous"));
    serial.close();
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
    QVERIFY(timer.elapsed() < 500);
    QVERIFY(device.server.commandLog().isEmpty());
    QVERIFY(device.serial.isLockFree());

    QCOMPARE(device.serial.open(), 0);
    QVERIFY(device.serial.ping());
}

void SerialSessionTest::silentDevice_tenEmptyReadsCloseTheChannel()
{
    DeviceFixture device(QStringLiteral("7186"));
    QVERIFY2(device.connect(), qPrintable(device.lastError()));
    device.server.setSilent(true);

    QElapsedTimer timer;
    timer.start();
    QString reply = QStringLiteral("stale");
    QVERIFY(device.serial.sendCommand(QStringLiteral("getPwmConfig\n"), reply));
    const qint64 elapsed = timer.elapsed();

    QVERIFY(reply.isEmpty());
    QVERIFY(!device.serial.isOpen());
    QVERIFY2(elapsed >= 900 && elapsed < 3000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QVERIFY(device.serial.isLockFree());
    QVERIFY(!device.serial.sendCommand(QStringLiteral("getPwmConfig\n"), reply));
    QVERIFY(!device.serial.ping());
}

void SerialSessionTest::unplug_nextTransactionClosesTheChannelQuickly()
{
    DeviceFixture device(QStringLiteral("7146"));
    QVERIFY2(device.connect(), qPrintable(device.lastError()));
    QString reply;
    QVERIFY(device.serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QVERIFY(!reply.isEmpty());

    device.server.unplug();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(device.serial.sendCommand(QStringLiteral("getDmxAddress\n"), reply));
    const qint64 elapsed = timer.elapsed();
    QVERIFY(reply.isEmpty());
    QVERIFY(!device.serial.isOpen());
    QVERIFY2(elapsed < 500, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QVERIFY(device.serial.isLockFree());
    QVERIFY(!device.serial.ping());
}

QTEST_GUILESS_MAIN(SerialSessionTest)
#include "tst_serial_session.moc"
