// The channel against devices that misbehave or send more than ASCII, on a real pseudo-terminal:
// replies decoded as UTF-8 without moving the prompt stop, every read bounded in time and size,
// and the traffic trace.

#include "link/Serial.h"
#include "support/DeviceFixture.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QtTest>

#include <memory>

namespace {

// The channel's own budget is 2 s per transaction or identification; the rest is slack for a
// loaded two-core machine. A read that is not bounded at all runs far past it (the streams below
// last minutes).
const qint64 kBoundMs = 3000;

const QByteArray kMiB(1 << 20, 'x');

std::function<std::optional<QByteArray>(const QByteArray &)> answerTo(const QByteArray &command,
                                                                      const QByteArray &bytes)
{
    return [command, bytes](const QByteArray &line) -> std::optional<QByteArray> {
        if (line.trimmed() == command)
            return bytes;
        return std::nullopt;
    };
}

// Collects what the channel writes to its trace category; everything else goes on as before.
struct TraceCapture
{
    static QStringList lines;
    static QtMessageHandler previous;

    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (context.category && qstrcmp(context.category, "vantelo.serial") == 0) {
            lines.append(text);
            return;
        }
        if (previous)
            previous(type, context, text);
    }

    explicit TraceCapture(bool enabled)
    {
        lines.clear();
        QLoggingCategory::setFilterRules(enabled ? QStringLiteral("vantelo.serial.debug=true")
                                                 : QStringLiteral("vantelo.serial.debug=false"));
        previous = qInstallMessageHandler(&TraceCapture::handler);
    }
    ~TraceCapture()
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    }
    QString text() const { return lines.join(QLatin1Char('\n')); }
};

QStringList TraceCapture::lines;
QtMessageHandler TraceCapture::previous = nullptr;

} // namespace

class SerialHardeningTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nonAsciiLabel_readsBackAsStored_data();
    void nonAsciiLabel_readsBackAsStored();
    void nonAsciiAfterThePrompt_beginsTheNextReplyWhole();

    void runawayDevice_closesTheChannelWithinTheBound_data();
    void runawayDevice_closesTheChannelWithinTheBound();
    void longButGenuineAnswers_areStillTaken_data();
    void longButGenuineAnswers_areStillTaken();

    void traceOn_recordsTheExchange_data();
    void traceOn_recordsTheExchange();
    void traceOff_emitsNothing();

private:
    std::unique_ptr<DeviceFixture> m_device;
};

void SerialHardeningTest::init()
{
    m_device = std::make_unique<DeviceFixture>(QStringLiteral("7146"));
    QVERIFY2(m_device->connect(), qPrintable(m_device->lastError()));
}

void SerialHardeningTest::cleanup()
{
    if (m_device)
        QVERIFY(m_device->serial.isLockFree());
    m_device.reset();
}

void SerialHardeningTest::nonAsciiLabel_readsBackAsStored_data()
{
    // Every byte its own read: a character torn apart must still come back whole.
    QTest::addColumn<QString>("label");
    QTest::newRow("two-byte letters") << QString::fromUtf8("Bühne ½");
    QTest::newRow("four-byte character") << QString::fromUtf8("Mask 🎭");
}

void SerialHardeningTest::nonAsciiLabel_readsBackAsStored()
{
    QFETCH(QString, label);
    m_device->server.modifyState(
        [label](sim::DeviceState &state) { state.channels[0].label = label; });
    m_device->server.setChunking(1, 2);

    Serial &serial = m_device->serial;
    QString fields;
    QVERIFY(serial.sendCommand(QStringLiteral("getRdmLabel a\n"), fields, 7, 65535));
    QString shown;
    QVERIFY(serial.extractQuoted(fields, shown, QStringLiteral("'")));
    QCOMPARE(shown, label);
    QVERIFY(serial.isOpen());
}

void SerialHardeningTest::nonAsciiAfterThePrompt_beginsTheNextReplyWhole()
{
    Serial &serial = m_device->serial;
    m_device->server.setTrailingBytes(QString::fromUtf8("é").toUtf8());

    QString first;
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), first));
    QVERIFY2(first.endsWith(QStringLiteral("714x:")), qPrintable(first));

    m_device->server.setTrailingBytes(QByteArray());
    QString second;
    QVERIFY(serial.sendCommand(QStringLiteral("getDmxAddress\n"), second));
    QVERIFY2(second.startsWith(QString::fromUtf8("égetDmxAddress")), qPrintable(second));
}

void SerialHardeningTest::runawayDevice_closesTheChannelWithinTheBound_data()
{
    QTest::addColumn<bool>("identify"); // else a transaction
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunkBytes");
    QTest::addColumn<QString>("prompt");

    // Both ways in share one reader; between them every bound meets both prompt states. A trickle
    // never pauses 100 ms and never sends the prompt: only the time bound ends it.
    QTest::newRow("reply: 1 MiB at once without a prompt") << false << kMiB << 0 << "714x:";
    QTest::newRow("reply: 1 MiB at once, prompt only at its end")
        << false << kMiB + "\r\n714x:" << 0 << "714x:";
    QTest::newRow("reply: endless trickle before the model is known") << false << kMiB << 16 << ":";
    // The model marker comes first: only the bound stops it being taken from an endless answer.
    const QByteArray marked = "getFWInfo\r\nFirmware 1.0 Model: 7146\r\n" + kMiB;
    QTest::newRow("identify: 1 MiB at once, first connection") << true << marked << 0 << ":";
    QTest::newRow("identify: endless trickle, earlier model's prompt")
        << true << marked << 16 << "714x:";
}

void SerialHardeningTest::runawayDevice_closesTheChannelWithinTheBound()
{
    QFETCH(bool, identify);
    QFETCH(QByteArray, bytes);
    QFETCH(int, chunkBytes);
    QFETCH(QString, prompt);

    Serial &serial = m_device->serial;
    serial.setPrompt(prompt);
    m_device->server.setReplyOverride(answerTo(identify ? "getFWInfo" : "getUniverse", bytes));
    m_device->server.setChunking(chunkBytes, 20);

    QElapsedTimer timer;
    timer.start();
    QString result = QStringLiteral("previous");
    if (identify)
        QVERIFY(!serial.identify(result));
    else
        QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), result));
    const qint64 elapsed = timer.elapsed();

    QVERIFY2(elapsed < kBoundMs, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QCOMPARE(result, identify ? QStringLiteral("previous") : QString());
    QVERIFY(!serial.isOpen());
    QString next = QStringLiteral("untouched");
    QVERIFY(!serial.sendCommand(QStringLiteral("getUniverse\n"), next));
    QCOMPARE(next, QStringLiteral("untouched"));
}

void SerialHardeningTest::longButGenuineAnswers_areStillTaken_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunkBytes");
    QTest::addColumn<int>("pauseMs");
    QTest::addColumn<int>("latencyMs");

    const QByteArray big = "getUniverse\r\n" + QByteArray(60 * 1024, 'u') + "\r\n714x:";
    QTest::newRow("60 KiB ending in the prompt") << big << 0 << 0 << 0;
    QTest::newRow("4 KiB trickling in for most of a second")
        << "getUniverse\r\n" + QByteArray(4096, 'u') + "\r\n714x:" << 64 << 10 << 0;
    QTest::newRow("short answer after 600 ms")
        << QByteArray("getUniverse\r\nu\r\n714x:") << 0 << 0 << 600;
}

void SerialHardeningTest::longButGenuineAnswers_areStillTaken()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, chunkBytes);
    QFETCH(int, pauseMs);
    QFETCH(int, latencyMs);

    Serial &serial = m_device->serial;
    m_device->server.setReplyOverride(answerTo("getUniverse", bytes));
    m_device->server.setChunking(chunkBytes, pauseMs);
    m_device->server.setLatencyMs(latencyMs);

    QString reply;
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QVERIFY(serial.isOpen());
    QCOMPARE(reply.toUtf8(), QByteArray(bytes).replace('\r', ' ').replace('\n', ' '));
}

void SerialHardeningTest::traceOn_recordsTheExchange_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QStringList>("expected");

    // The reply is shown before line breaks become blanks, with the breaks made visible.
    QTest::newRow("answered") << 0 << QStringList{"reply \"getUniverse\\r\\n", "714x:\" ("};
    QTest::newRow("unanswered") << 1 << QStringList{"unanswered after 10 reads", "channel closed"};
    QTest::newRow("overrun") << 2 << QStringList{"overrun in read 1", "channel closed"};
}

void SerialHardeningTest::traceOn_recordsTheExchange()
{
    QFETCH(int, fault);
    QFETCH(QStringList, expected);

    if (fault == 1)
        m_device->server.setSilent(true);
    if (fault == 2)
        m_device->server.setReplyOverride(answerTo("getUniverse", kMiB));

    QString reply;
    {
        TraceCapture trace(true);
        QVERIFY(m_device->serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
        const QString text = trace.text();
        for (const QString &part : expected + QStringList{"send \"getUniverse\\n\""})
            QVERIFY2(text.contains(part),
                     qPrintable(part + QStringLiteral(" missing in:\n") + text.left(2000)));
        for (const QString &line : TraceCapture::lines)
            QVERIFY2(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')),
                     qPrintable(line.left(2000)));
    }
    // Tracing changes nothing: the same command untraced gets the same answer.
    if (fault == 0) {
        QString untraced;
        QVERIFY(m_device->serial.sendCommand(QStringLiteral("getUniverse\n"), untraced));
        QCOMPARE(reply, untraced);
    }
}

void SerialHardeningTest::traceOff_emitsNothing()
{
    Serial &serial = m_device->serial;
    TraceCapture trace(false);

    QString reply;
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QVERIFY(serial.ping());
    serial.setPrompt(QStringLiteral(":"));
    QString model;
    QVERIFY(serial.identify(model));
    QCOMPARE(model, QStringLiteral("7146"));
    QVERIFY(serial.close());
    QCOMPARE(serial.open(), 0);

    QCOMPARE(TraceCapture::lines, QStringList());
}

QTEST_GUILESS_MAIN(SerialHardeningTest)
#include "tst_serial_hardening.moc"
