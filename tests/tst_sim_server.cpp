// The simulator on a real pseudo-terminal, driven by a raw client and by QSerialPort: answers,
// the command log, and every fault mode the other tests use to imitate a misbehaving device.
#include "server/PtyServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A terminal program's view of the port: plain descriptor reads and writes.
class RawClient
{
public:
    explicit RawClient(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(),
                      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~RawClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    bool isOpen() const { return m_fd >= 0; }

    bool send(const QByteArray &bytes)
    {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    // Everything read until `end` has arrived or timeoutMs passed; the size of every single
    // read goes to reads.
    QByteArray readUntil(const QByteArray &end, int timeoutMs, QVector<int> *reads = nullptr)
    {
        QByteArray data;
        QElapsedTimer timer;
        timer.start();
        while (!data.endsWith(end) && timer.elapsed() < timeoutMs) {
            pollfd fd = {m_fd, POLLIN, 0};
            if (::poll(&fd, 1, int(qMax<qint64>(1, timeoutMs - timer.elapsed()))) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            data.append(buffer, int(n));
            if (reads)
                reads->append(int(n));
        }
        return data;
    }

    // Everything that arrives within ms.
    QByteArray readFor(int ms) { return readUntil(QByteArray("\x01never\x02"), ms); }

    // True when the device side has gone: a hang-up, or a read that fails or finds the end.
    bool hungUp(int timeoutMs)
    {
        pollfd fd = {m_fd, POLLIN, 0};
        if (::poll(&fd, 1, timeoutMs) <= 0)
            return false;
        if (fd.revents & (POLLHUP | POLLERR))
            return true;
        char byte;
        return ::read(m_fd, &byte, 1) <= 0;
    }

private:
    int m_fd;
};

bool linkExists(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

const QByteArray prompt5 = "714x:";

} // namespace

class tst_SimServer : public QObject
{
    Q_OBJECT

private slots:
    void answersEndWithPrompt_data();
    void answersEndWithPrompt();
    void commandLogAndStateFollowTheWire();
    void modifiedStateIsReported();
    void latencyDelaysEveryAnswer();
    void chunkedAnswerArrivesWholeInPieces();
    void trailingBytesFollowThePrompt();
    void garbageComesBeforeTheAnswer();
    void silentDeviceLogsButNeverAnswers();
    void replyOverrideReplacesChosenAnswers();
    void clearFaultsRestoresPlainAnswers();
    void unplugHangsUpClientAndRemovesLink();
    void replugServesSamePathWithSettingsKept();
    void unplugAfterCommandsDropsTheNthCommand();
    void unplugDuringLatencyIsImmediateAndSilent();
    void clientCanCloseAndReopen();
    void stopRemovesLinkAndDirectory();
    void serialPortSeesAnswersAndUnplug();
};

void tst_SimServer::answersEndWithPrompt_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("prompt");
    QTest::newRow("5-channel dimmer") << "7147" << QByteArray("714x:");
    QTest::newRow("2-channel dimmer") << "7126" << QByteArray("712x:");
    QTest::newRow("receiver card") << "7185" << QByteArray("718x:");
}

void tst_SimServer::answersEndWithPrompt()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, prompt);

    sim::PtyServer server(model);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(server.portPath().endsWith(QStringLiteral("/ttySIM") + model));
    QVERIFY(server.slavePath().startsWith(QStringLiteral("/dev/pts/")));
    RawClient client(server.portPath());
    QVERIFY(client.isOpen());

    QVERIFY(client.send("\n"));
    QCOMPARE(client.readUntil(prompt, 2000), QByteArray("\r\n") + prompt);
    QVERIFY(client.send("getFWInfo\n"));
    const QByteArray info = client.readUntil(prompt, 2000);
    QVERIFY2(info.startsWith("getFWInfo\r\n"), info.constData());
    QVERIFY2(info.contains("Model: " + model.toLatin1() + " "), info.constData());
    QVERIFY2(info.endsWith("\r\n" + prompt), info.constData());
}

void tst_SimServer::commandLogAndStateFollowTheWire()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    RawClient client(server.portPath());

    // A line split over two writes, a CR LF ending, and two commands in one write.
    QVERIFY(client.send("setUniv"));
    QVERIFY(client.readFor(50).isEmpty());
    QVERIFY(client.send("erse 12\n"));
    QVERIFY(client.readUntil("714x:", 2000).contains("OK"));
    QVERIFY(client.send("setDmxAddress 40\r\n"));
    QVERIFY(client.readUntil("714x:", 2000).contains("OK"));
    QVERIFY(client.send("getUniverse\n\n"));
    const QByteArray both = client.readUntil("\r\n714x:\r\n714x:", 2000);
    QCOMPARE(both, QByteArray("getUniverse\r\nDMX universe is 12\r\n714x:\r\n714x:"));

    QCOMPARE(server.commandLog(),
             QStringList({"setUniverse 12", "setDmxAddress 40", "getUniverse", ""}));
    QCOMPARE(server.state().universe, 12);
    QCOMPARE(server.state().dmxAddress, 40);

    server.clearLog();
    QVERIFY(client.send("\n"));
    client.readUntil("714x:", 2000);
    QCOMPARE(server.commandLog(), QStringList({""}));
}

void tst_SimServer::modifiedStateIsReported()
{
    sim::PtyServer server(QStringLiteral("7126"));
    QVERIFY(server.start());
    server.modifyState([](sim::DeviceState &s) {
        s.channels[1].offset = -42;
        s.portLabel = QStringLiteral("Side stage");
    });
    RawClient client(server.portPath());
    QVERIFY(client.send("getOffset b\n"));
    QVERIFY(client.readUntil("712x:", 2000).contains("offset: -42\r\n"));
    QVERIFY(client.send("getRdmLabel p\n"));
    QVERIFY(client.readUntil("712x:", 2000).contains("'Side stage'"));
}

void tst_SimServer::latencyDelaysEveryAnswer()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    server.setLatencyMs(200);
    RawClient client(server.portPath());

    for (int i = 0; i < 2; ++i) {
        QElapsedTimer timer;
        timer.start();
        QVERIFY(client.send("\n"));
        QCOMPARE(client.readUntil(prompt5, 3000), QByteArray("\r\n714x:"));
        QVERIFY2(timer.elapsed() >= 190, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    }
}

void tst_SimServer::chunkedAnswerArrivesWholeInPieces()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    RawClient client(server.portPath());
    QVERIFY(client.send("getUniverse\n"));
    const QByteArray whole = client.readUntil(prompt5, 2000);
    QCOMPARE(whole.size(), 37);

    server.setChunking(8, 40); // five pieces, four pauses
    QElapsedTimer timer;
    timer.start();
    QVector<int> reads;
    QVERIFY(client.send("getUniverse\n"));
    QCOMPARE(client.readUntil(prompt5, 3000, &reads), whole);
    QVERIFY2(timer.elapsed() >= 150, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(reads.size() >= 2, qPrintable(QString::number(reads.size())));
    QVERIFY(reads.first() <= 8);
}

void tst_SimServer::trailingBytesFollowThePrompt()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    server.setTrailingBytes("\r\nzz");
    RawClient client(server.portPath());
    QVERIFY(client.send("\n"));
    QCOMPARE(client.readUntil("zz", 2000), QByteArray("\r\n714x:\r\nzz"));
    // The next answer comes after them, whole.
    QVERIFY(client.send("getUniverse\n"));
    QCOMPARE(client.readUntil("zz", 2000),
             QByteArray("getUniverse\r\nDMX universe is 1\r\n714x:\r\nzz"));
}

void tst_SimServer::garbageComesBeforeTheAnswer()
{
    sim::PtyServer server(QStringLiteral("7185"));
    QVERIFY(server.start());
    server.setGarbage(QByteArray("\x01\xfe~", 3));
    RawClient client(server.portPath());
    QVERIFY(client.send("getAntenna\n"));
    QCOMPARE(client.readUntil("718x:", 2000),
             QByteArray("\x01\xfe~getAntenna\r\nAntenna selection is 0\r\n718x:"));
}

void tst_SimServer::silentDeviceLogsButNeverAnswers()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    server.setSilent(true);
    RawClient client(server.portPath());
    QVERIFY(client.send("setUniverse 9\n"));
    QVERIFY(client.readFor(200).isEmpty());
    QTRY_COMPARE(server.commandLog(), QStringList({"setUniverse 9"}));
    QCOMPARE(server.state().universe, 1);

    server.setSilent(false);
    QVERIFY(client.send("\n"));
    QCOMPARE(client.readUntil(prompt5, 2000), QByteArray("\r\n714x:"));
}

void tst_SimServer::replyOverrideReplacesChosenAnswers()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    server.setReplyOverride([](const QByteArray &line) -> std::optional<QByteArray> {
        if (line == "getUniverse")
            return QByteArray("getUniverse\r\nDMX universe\r\n714x:");
        return std::nullopt;
    });
    RawClient client(server.portPath());
    QVERIFY(client.send("getUniverse\n"));
    QCOMPARE(client.readUntil(prompt5, 2000), QByteArray("getUniverse\r\nDMX universe\r\n714x:"));
    QVERIFY(client.send("getDmxAddress\n"));
    QCOMPARE(client.readUntil(prompt5, 2000),
             QByteArray("getDmxAddress\r\nDMX start address set to 1\r\n714x:"));
}

void tst_SimServer::clearFaultsRestoresPlainAnswers()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    server.setLatencyMs(300);
    server.setChunking(1, 50);
    server.setGarbage("##");
    server.setTrailingBytes("!!");
    server.setUnplugAfterCommands(1);
    server.setReplyOverride([](const QByteArray &) { return std::optional<QByteArray>("x"); });
    server.setSilent(true);
    server.clearFaults();

    RawClient client(server.portPath());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(client.send("\n"));
    QCOMPARE(client.readUntil(prompt5, 2000), QByteArray("\r\n714x:"));
    QVERIFY(timer.elapsed() < 250);
    QVERIFY(client.readFor(50).isEmpty());
    QVERIFY(linkExists(server.portPath()));
}

void tst_SimServer::unplugHangsUpClientAndRemovesLink()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    const QString path = server.portPath();
    RawClient client(path);
    QVERIFY(client.send("\n"));
    QCOMPARE(client.readUntil(prompt5, 2000), QByteArray("\r\n714x:"));

    server.unplug();
    QVERIFY(client.hungUp(1000));
    QVERIFY(!linkExists(path));
    QVERIFY(server.slavePath().isEmpty());
    QCOMPARE(server.portPath(), path);
    QVERIFY(!RawClient(path).isOpen());
    server.unplug(); // a second unplug is harmless
}

void tst_SimServer::replugServesSamePathWithSettingsKept()
{
    sim::PtyServer server(QStringLiteral("7185"));
    QVERIFY(server.start());
    const QString path = server.portPath();
    RawClient before(path);
    QVERIFY(before.send("setVexaKey 321\n"));
    QVERIFY(before.readUntil("718x:", 2000).contains("OK"));

    server.unplug();
    QVERIFY(before.hungUp(1000));
    QVERIFY(server.replug());
    QCOMPARE(server.portPath(), path);
    QVERIFY(linkExists(path));
    QCOMPARE(QFileInfo(path).symLinkTarget(), server.slavePath());

    RawClient after(path);
    QVERIFY(after.isOpen());
    QVERIFY(after.send("getVexaKey\n"));
    QVERIFY(after.readUntil("718x:", 2000).contains("key is 321\r\n"));
    QCOMPARE(server.commandLog(), QStringList({"setVexaKey 321", "getVexaKey"}));
}

void tst_SimServer::unplugAfterCommandsDropsTheNthCommand()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    RawClient client(server.portPath());
    QVERIFY(client.send("\n"));
    client.readUntil(prompt5, 2000);

    server.setUnplugAfterCommands(2);
    QVERIFY(client.send("getUniverse\n"));
    QVERIFY(client.readUntil(prompt5, 2000).endsWith(prompt5));
    QVERIFY(client.send("setUniverse 5\n"));
    QVERIFY(client.hungUp(1000));
    QVERIFY(!linkExists(server.portPath()));
    QCOMPARE(server.commandLog(), QStringList({"", "getUniverse", "setUniverse 5"}));
    QCOMPARE(server.state().universe, 1);

    // The trigger fires once: a replugged device answers again.
    QVERIFY(server.replug());
    RawClient again(server.portPath());
    for (int i = 0; i < 3; ++i) {
        QVERIFY(again.send("\n"));
        QCOMPARE(again.readUntil(prompt5, 2000), QByteArray("\r\n714x:"));
    }
}

void tst_SimServer::unplugDuringLatencyIsImmediateAndSilent()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    server.setLatencyMs(400);
    RawClient client(server.portPath());
    QVERIFY(client.send("getUniverse\n"));
    QTRY_COMPARE(server.commandLog().size(), 1);

    QElapsedTimer timer;
    timer.start();
    server.unplug();
    QVERIFY2(timer.elapsed() < 200, qPrintable(QString::number(timer.elapsed())));

    // The answer that was waiting is not delivered to the next pseudo-terminal either.
    QVERIFY(server.replug());
    RawClient again(server.portPath());
    QVERIFY(again.readFor(700).isEmpty());
    QVERIFY(client.hungUp(1000));
}

void tst_SimServer::clientCanCloseAndReopen()
{
    sim::PtyServer server(QStringLiteral("7126"));
    QVERIFY(server.start());
    for (int round = 0; round < 3; ++round) {
        RawClient client(server.portPath());
        QVERIFY(client.isOpen());
        QVERIFY(client.send("\n"));
        QCOMPARE(client.readUntil("712x:", 2000), QByteArray("\r\n712x:"));
    }
    QCOMPARE(server.commandLog().size(), 3);
}

void tst_SimServer::stopRemovesLinkAndDirectory()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    const QString path = server.portPath();
    const QString dir = QFileInfo(path).path();
    QVERIFY(QFileInfo(dir).isDir());
    RawClient client(path);

    server.stop();
    QVERIFY(client.hungUp(1000));
    QVERIFY(!linkExists(path));
    QVERIFY(!QFileInfo::exists(dir));
    server.stop();

    // A stopped server starts again on a fresh port.
    QVERIFY(server.start());
    RawClient again(server.portPath());
    QVERIFY(again.send("\n"));
    QCOMPARE(again.readUntil(prompt5, 2000), QByteArray("\r\n714x:"));
}

void tst_SimServer::serialPortSeesAnswersAndUnplug()
{
    sim::PtyServer server(QStringLiteral("7146"));
    QVERIFY(server.start());
    QSerialPort port(server.portPath());
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));

    port.write("getFWInfo\n");
    QVERIFY(port.waitForBytesWritten(1000));
    QByteArray answer;
    QElapsedTimer timer;
    timer.start();
    while (!answer.endsWith(prompt5) && timer.elapsed() < 2000) {
        if (port.waitForReadyRead(200))
            answer += port.readAll();
    }
    QVERIFY2(answer.contains("Model: 7146 "), answer.constData());
    QVERIFY(answer.endsWith(prompt5));

    server.unplug();
    timer.restart();
    QVERIFY(!port.waitForReadyRead(1000));
    QVERIFY2(timer.elapsed() < 900, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(port.error() != QSerialPort::NoError);
}

QTEST_GUILESS_MAIN(tst_SimServer)
#include "tst_sim_server.moc"
