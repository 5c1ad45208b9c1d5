// Command/reply transactions against the simulator on a real pseudo-terminal: where a reply ends,
// what counts as an answer, and what the caller gets back.

#include "link/Serial.h"
#include "support/DeviceFixture.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

class SerialTransactionTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void knownPrompt_replyEndsTheMomentThePromptArrives();
    void unknownPrompt_replyEndingInColonStillWaitsForSilence();
    void answerRule_data();
    void answerRule();
    void promptOnlyReply_isReadAgainUntilTheAnswer();
    void slowDevice_answerWithinTenReadsIsTaken();
    void fieldRange_data();
    void fieldRange();

private:
    void answerVexaIdWith(const QByteArray &bytes);
    std::unique_ptr<DeviceFixture> m_device;
};

void SerialTransactionTest::init()
{
    m_device = std::make_unique<DeviceFixture>(QStringLiteral("7146"));
    QVERIFY2(m_device->connect(), qPrintable(m_device->lastError()));
    m_device->server.modifyState([](sim::DeviceState &state) { state.universe = 12; });
}

void SerialTransactionTest::cleanup()
{
    if (m_device)
        QVERIFY(m_device->serial.isLockFree());
    m_device.reset();
}

void SerialTransactionTest::answerVexaIdWith(const QByteArray &bytes)
{
    m_device->server.setReplyOverride([bytes](const QByteArray &line) -> std::optional<QByteArray> {
        if (line.trimmed() == "getVexaId")
            return bytes;
        return std::nullopt;
    });
}

void SerialTransactionTest::knownPrompt_replyEndsTheMomentThePromptArrives()
{
    Serial &serial = m_device->serial;
    QString reply;
    // The first exchange after opening may pay for start-up; time a settled one.
    QVERIFY(serial.sendCommand(QStringLiteral("\n"), reply));
    m_device->server.clearLog();

    QElapsedTimer timer;
    timer.start();
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    const qint64 elapsed = timer.elapsed();

    // Generous against a loaded two-core machine, yet far below the 100 ms a silence read costs.
    QVERIFY2(elapsed < 80, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QCOMPARE(reply, QStringLiteral("getUniverse  DMX universe is 12  714x:"));
    QVERIFY(serial.isOpen());
    QCOMPARE(m_device->server.commandLog(), QStringList{QStringLiteral("getUniverse")});
}

void SerialTransactionTest::unknownPrompt_replyEndingInColonStillWaitsForSilence()
{
    Serial &serial = m_device->serial;
    serial.setPrompt(QStringLiteral(":"));

    QElapsedTimer timer;
    timer.start();
    QString reply;
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    const qint64 elapsed = timer.elapsed();

    // The device's reply ends in "714x:", which holds ":"; only silence may end it here.
    QVERIFY2(elapsed >= 100, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QVERIFY(reply.endsWith(QStringLiteral("714x:")));
    QVERIFY(serial.isOpen());
}

void SerialTransactionTest::answerRule_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<QString>("reply");

    QTest::newRow("line break and prompt is an answer")
        << QByteArray("\r\n714x:") << true << "  714x:";
    QTest::newRow("one character and prompt is an answer")
        << QByteArray("x714x:") << true << "x714x:";
    // Ten reads are spent; the last of them found nothing.
    QTest::newRow("prompt alone is no answer") << QByteArray("714x:") << false << "";
    QTest::newRow("blanks and prompts are no answer") << QByteArray(" 714x:  714x:") << false << "";
    QTest::newRow("nothing is no answer") << QByteArray() << false << "";
}

void SerialTransactionTest::answerRule()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, staysOpen);
    QFETCH(QString, reply);

    Serial &serial = m_device->serial;
    answerVexaIdWith(bytes);
    QString result = QStringLiteral("stale");
    QVERIFY(serial.sendCommand(QStringLiteral("getVexaId\n"), result));
    QCOMPARE(serial.isOpen(), staysOpen);
    QCOMPARE(result, reply);

    // A closed channel refuses the next transaction; an open one carries on normally.
    m_device->server.setReplyOverride({});
    QString next = QStringLiteral("stale");
    QCOMPARE(serial.sendCommand(QStringLiteral("getUniverse\n"), next), staysOpen);
    QCOMPARE(next.contains(QStringLiteral("getUniverse")), staysOpen);
    QCOMPARE(next == QStringLiteral("stale"), !staysOpen);
}

void SerialTransactionTest::promptOnlyReply_isReadAgainUntilTheAnswer()
{
    // A prompt-only read comes first; the answer follows in the same stream.
    answerVexaIdWith("714x:\r\nVexa ID is 42\r\n714x:");
    m_device->server.setChunking(5, 30);

    QString reply;
    QVERIFY(m_device->serial.sendCommand(QStringLiteral("getVexaId\n"), reply));
    QVERIFY(m_device->serial.isOpen());
    QCOMPARE(reply, QStringLiteral("  Vexa ID is 42  714x:"));
}

void SerialTransactionTest::slowDevice_answerWithinTenReadsIsTaken()
{
    m_device->server.modifyState([](sim::DeviceState &state) { state.vexaId = 77; });
    m_device->server.setLatencyMs(350);

    QString reply;
    QVERIFY(m_device->serial.sendCommand(QStringLiteral("getVexaId\n"), reply, 5, 5));
    QVERIFY(m_device->serial.isOpen());
    QCOMPARE(reply, QStringLiteral("77"));
}

void SerialTransactionTest::fieldRange_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("expected");

    // The line break before the prompt came as CR LF: two blanks, kept inside the range.
    QTest::newRow("65535 reaches to the prompt") << "getUniverse\n" << 4 << 65535 << "12  714x:";
    QTest::newRow("leading blanks of the bare line") << "\n" << 0 << 0 << "714x:";
    QTest::newRow("past the end is empty") << "getUniverse\n" << 40 << 41 << "";
}

void SerialTransactionTest::fieldRange()
{
    QFETCH(QString, command);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, expected);

    QString reply = QStringLiteral("stale");
    QVERIFY(m_device->serial.sendCommand(command, reply, first, last));
    QCOMPARE(reply, expected);
}

QTEST_GUILESS_MAIN(SerialTransactionTest)
#include "tst_serial_transaction.moc"
