// The command channel on a real pseudo-terminal: opening, where a reply ends, what counts as an
// answer, the bounds on every read, a unit that is lost. The exchange rows also guard the
// simulator's fault knobs that the fault table relies on.

#include "link/DeviceSession.h"
#include "support/Rig.h"

#include <QFileInfo>
#include <QtTest>

namespace {

// One exchange of "getUniverse" (or an identification) with the unit doing what the row says.
struct Exchange
{
    QString knob;      // "latency", "late", "pieces", "garbage", "trailing", "silent", "unplug"
    QByteArray answer; // in place of the unit's own, when not empty
    QString prompt;    // the channel's
    QString reply;     // what the caller gets; "closed": nothing, and the channel closes
    int minMs = 0;
    int maxMs = 80; // far below one silent read, even on a loaded machine
    // The answer in pieces written one by one, without a pause: a loaded machine may stretch a
    // pause past 100 ms, which ends a reply.
    int chunkBytes = 0;
    bool identify = false;
};

const QString universe = "getUniverse  DMX universe is 18  714x:";

} // namespace

Q_DECLARE_METATYPE(Exchange)

class TestSerialChannel : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data()
    {
        QTest::addColumn<Exchange>("row");
        const QByteArray mib(1 << 20, 'x');
        const QByteArray marked = "getFWInfo\r\nFirmware 1.0 Model: 7146\r\n" + mib;
        const auto row = [](const char *tag, const Exchange &exchange) {
            QTest::newRow(tag) << exchange;
        };
        row("ends the moment the prompt arrives", {"", "", "714x:", universe});
        // Before the model is known only silence ends a reply, even one that ends in ":".
        row("model unknown: ends in silence", {"", "", ":", universe, 100, 1000});
        // Bytes after a prompt may be the start of a late answer: never part of the next reply.
        row("bytes after the prompt are dropped before the next command",
            {"trailing", "", "714x:", universe});
        row("line break and prompt answer", {"", "\r\n714x:", "714x:", "  714x:"});
        // Prompts and blanks only are no answer: read again, ten times in all.
        row("prompt alone", {"", "714x:", "714x:", "closed", 800, 3000});
        row("bare prompt first, then the answer",
            {"", "714x:\r\nVexa ID is 42\r\n714x:", "714x:", "  Vexa ID is 42  714x:", 0, 500, 5});
        // Every read ends within the channel's two seconds (three with slack for a loaded machine):
        // past them, or past 64 KiB without a prompt, a unit is treated as one that does not
        // answer. (The time budget is met by the fault table's trickle, which a loaded machine may
        // cut into pieces the channel takes as answers, as it must.)
        row("1 MiB without a prompt", {"", mib, "714x:", "closed", 0, 3000});
        row("identify: 1 MiB", {"", marked, ":", "closed", 0, 3000, 0, true});
        const QByteArray big = "getUniverse\r\n" + QByteArray(60 * 1024, 'u') + "\r\n714x:";
        row("60 KiB ending in the prompt",
            {"", big, "714x:", QString(big).replace('\r', ' ').replace('\n', ' '), 0, 3000});
        row("slow unit", {"latency", "", "714x:", universe, 590, 1500});
        // The identification gave up before the answer came: it comes during the next command.
        row("late answer to the identification is dropped",
            {"late", "", "714x:", universe, 100, 1500});
        row("answer in pieces", {"pieces", "", "714x:", universe, 0, 1000, 8});
        row("garbage before the answer", {"garbage", "", "714x:", "##" + universe});
        // A silent unit still logs what it gets: ten empty reads, and the channel closes.
        row("silent unit", {"silent", "", "714x:", "closed", 900, 3000});
        row("unplugged unit fails at once", {"unplug", "", "714x:", "closed", 0, 500});
    }

    void exchange()
    {
        QFETCH(Exchange, row);
        Unit unit("7146");
        QVERIFY(unit.ready);
        sim::PtyServer &server = unit.server;
        QString reply;
        unit.serial.sendCommand("\n", reply); // the first exchange may pay for start-up
        const QByteArray command = row.identify ? "getFWInfo" : "getUniverse";
        if (!row.answer.isEmpty())
            server.setReplyOverride([&](const QByteArray &line) {
                return line == command ? std::optional<QByteArray>(row.answer) : std::nullopt;
            });
        server.setChunking(row.chunkBytes, 0);
        server.setLatencyMs(row.knob == "latency" ? 600 : row.knob == "late" ? 150 : 0);
        server.setGarbage(row.knob == "garbage" ? "##" : "");
        server.setTrailingBytes(row.knob == "trailing" ? "é" : "");
        server.setSilent(row.knob == "silent");
        if (row.knob == "unplug")
            server.unplug();
        if (row.knob == "trailing")
            unit.serial.sendCommand("getUniverse\n", reply);
        if (row.knob == "late")
            QVERIFY(!session::identify(unit.serial).ready());
        unit.serial.setPrompt(row.prompt);
        server.clearLog();

        QElapsedTimer took;
        took.start();
        session::Result identified;
        if (row.identify)
            identified = session::identify(unit.serial);
        else
            QVERIFY(unit.serial.sendCommand(command + '\n', reply));
        QVERIFY2(took.elapsed() >= row.minMs && took.elapsed() < row.maxMs,
                 qPrintable(QString::number(took.elapsed())));
        const bool closed = row.reply == "closed";
        QCOMPARE(row.identify ? identified.model : reply, closed ? "" : row.reply);
        QCOMPARE(unit.serial.isOpen(), !closed);
        QVERIFY(unit.serial.isLockFree());
        QCOMPARE(server.commandLog(), row.knob == "unplug" ? QStringList() : QStringList{command});

        // Cleared, and plugged in afresh to cut short what is left of a flood, the unit answers
        // plainly again.
        server.clearFaults();
        server.unplug();
        QVERIFY(server.replug());
        unit.serial.close();
        QCOMPARE(unit.serial.open(), Serial::OpenResult::Opened);
        unit.serial.setPrompt("714x:");
        unit.serial.sendCommand("getUniverse\n", reply);
        QCOMPARE(reply, universe);
    }

    void open_isBusyUntilReleasedAndDropsWhatCameBefore()
    {
        sim::PtyServer server("7146");
        QVERIFY(server.start());
        Serial serial, second;
        serial.setPortName(server.portPath());
        second.setPortName(server.portPath());
        QCOMPARE(serial.open(), Serial::OpenResult::Opened);
        QCOMPARE(second.open(), Serial::OpenResult::Busy);
        QVERIFY(serial.close());
        // Someone asked and went away before the answer came: it waits on the line.
        {
            QSerialPort other;
            other.setPortName(server.portPath());
            QVERIFY(other.open(QIODevice::ReadWrite) && other.write("getFWInfo\n") > 0);
            QVERIFY(other.waitForBytesWritten(1000));
        }
        QTRY_COMPARE(server.commandLog(), QStringList{"getFWInfo"});
        QTest::qWait(100); // nothing observable marks the answer's arrival in the terminal
        QCOMPARE(second.open(), Serial::OpenResult::Opened);
        second.setPrompt("714x:");
        QString reply;
        QVERIFY(second.sendCommand("getUniverse\n", reply, 0, 0));
        QCOMPARE(reply, "getUniverse");
    }
};

QTEST_GUILESS_MAIN(TestSerialChannel)
#include "tst_serial_channel.moc"
