// The simulator on a real pseudo-terminal, driven by a raw client: answers, the command log, and
// every fault mode the other tests use to imitate a misbehaving device.
#include "server/PtyServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

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
    QByteArray readUntil(const QByteArray &end, int timeoutMs = 2000, QVector<int> *reads = nullptr)
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
    QByteArray readFor(int ms) { return readUntil(QByteArray("\x01never\x02"), ms); }
    QByteArray ask(const QByteArray &command, const QByteArray &end = "714x:")
    {
        return send(command) ? readUntil(end) : QByteArray("<write failed>");
    }

    // True when the device side has gone: a hang-up, or a read that fails or finds the end.
    bool hungUp(int timeoutMs = 1000)
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

const QByteArray bare = "\r\n714x:";

} // namespace

// Every test but the first gets a 5-channel dimmer and a client on its port.
class tst_SimServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answersEndWithPrompt_data();
    void answersEndWithPrompt();
    void commandLogAndStateFollowTheWire();
    void latencyDelaysEveryAnswer();
    void chunkedAnswerArrivesWholeInPieces();
    void garbageAndTrailingBytesFrameTheAnswer();
    void clearFaultsRestoresPlainAnswers();
    void unplugHangsUpAndReplugServesSamePath();
    void unplugAfterCommandsDropsTheNthCommand();
    void unplugDuringLatencyIsImmediateAndSilent();
    void stopRemovesLinkAndDirectory();

private:
    std::unique_ptr<sim::PtyServer> m_server;
    std::unique_ptr<RawClient> m_client;
};

void tst_SimServer::init()
{
    m_server = std::make_unique<sim::PtyServer>(QStringLiteral("7146"));
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
    m_client = std::make_unique<RawClient>(m_server->portPath());
    QVERIFY(m_client->isOpen());
}

void tst_SimServer::cleanup()
{
    m_client.reset();
    m_server.reset();
}

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
    QVERIFY(server.start());
    QVERIFY(server.portPath().endsWith(QStringLiteral("/ttySIM") + model));
    QVERIFY(server.slavePath().startsWith(QStringLiteral("/dev/pts/")));
    // A terminal program may close the port and come back any number of times.
    for (int round = 0; round < 2; ++round) {
        RawClient client(server.portPath());
        QCOMPARE(client.ask("\n", prompt), QByteArray("\r\n") + prompt);
        const QByteArray info = client.ask("getFWInfo\n", prompt);
        QVERIFY2(info.startsWith("getFWInfo\r\n"), info.constData());
        QVERIFY2(info.contains("Model: " + model.toLatin1() + " "), info.constData());
        QVERIFY2(info.endsWith("\r\n" + prompt), info.constData());
    }
}

void tst_SimServer::commandLogAndStateFollowTheWire()
{
    RawClient &client = *m_client;
    // A line split over two writes, a CR LF ending, and two commands in one write.
    QVERIFY(client.send("setUniv"));
    QVERIFY(client.readFor(50).isEmpty());
    QVERIFY(client.ask("erse 12\n").contains("OK"));
    QVERIFY(client.ask("setDmxAddress 40\r\n").contains("OK"));
    QCOMPARE(client.ask("getUniverse\n\n", "\r\n714x:\r\n714x:"),
             QByteArray("getUniverse\r\nDMX universe is 12\r\n714x:\r\n714x:"));

    QCOMPARE(m_server->commandLog(),
             QStringList({"setUniverse 12", "setDmxAddress 40", "getUniverse", ""}));
    QCOMPARE(m_server->state().universe, 12);
    QCOMPARE(m_server->state().dmxAddress, 40);

    m_server->clearLog();
    m_server->modifyState([](sim::DeviceState &s) { s.channels[1].offset = -42; });
    QVERIFY(client.ask("getOffset b\n").contains("offset: -42\r\n"));
    QCOMPARE(m_server->commandLog(), QStringList({"getOffset b"}));
}

void tst_SimServer::latencyDelaysEveryAnswer()
{
    m_server->setLatencyMs(200);
    for (int i = 0; i < 2; ++i) {
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(m_client->ask("\n"), bare);
        QVERIFY2(timer.elapsed() >= 190 && timer.elapsed() < 2000,
                 qPrintable(QString::number(timer.elapsed())));
    }
}

void tst_SimServer::chunkedAnswerArrivesWholeInPieces()
{
    const QByteArray whole = m_client->ask("getUniverse\n");
    QCOMPARE(whole.size(), 37);

    m_server->setChunking(8, 40); // five pieces, four pauses
    QElapsedTimer timer;
    timer.start();
    QVector<int> reads;
    QVERIFY(m_client->send("getUniverse\n"));
    QCOMPARE(m_client->readUntil("714x:", 3000, &reads), whole);
    QVERIFY2(timer.elapsed() >= 150, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(reads.size() >= 2 && reads.first() <= 8, qPrintable(QString::number(reads.size())));
}

void tst_SimServer::garbageAndTrailingBytesFrameTheAnswer()
{
    m_server->setGarbage(QByteArray("\x01\xfe~", 3));
    m_server->setTrailingBytes("\r\nzz");
    QCOMPARE(m_client->ask("\n", "zz"), QByteArray("\x01\xfe~\r\n714x:\r\nzz"));
    // The next answer comes after them, whole.
    QCOMPARE(m_client->ask("getAntenna\n", "zz"),
             QByteArray("\x01\xfe~getAntenna\r\nAntenna selection is 0\r\n714x:\r\nzz"));
}

void tst_SimServer::clearFaultsRestoresPlainAnswers()
{
    // A silent device still reads and logs commands, and carries none of them out.
    m_server->setSilent(true);
    QVERIFY(m_client->send("setUniverse 9\n"));
    QVERIFY(m_client->readFor(200).isEmpty());
    QTRY_COMPARE(m_server->commandLog(), QStringList({"setUniverse 9"}));
    QCOMPARE(m_server->state().universe, 1);

    m_server->setLatencyMs(300);
    m_server->setChunking(1, 50);
    m_server->setGarbage("##");
    m_server->setTrailingBytes("!!");
    m_server->setUnplugAfterCommands(1);
    m_server->setReplyOverride([](const QByteArray &) { return std::optional<QByteArray>("x"); });
    m_server->clearFaults();

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(m_client->ask("\n"), bare);
    QVERIFY(timer.elapsed() < 250);
    QVERIFY(m_client->readFor(50).isEmpty());
    QVERIFY(linkExists(m_server->portPath()));
}

void tst_SimServer::unplugHangsUpAndReplugServesSamePath()
{
    const QString path = m_server->portPath();
    QVERIFY(m_client->ask("setVexaKey 321\n").contains("OK"));

    m_server->unplug();
    QVERIFY(m_client->hungUp());
    QVERIFY(!linkExists(path));
    QVERIFY(m_server->slavePath().isEmpty());
    QCOMPARE(m_server->portPath(), path);
    QVERIFY(!RawClient(path).isOpen());
    m_server->unplug(); // a second unplug is harmless

    QVERIFY(m_server->replug());
    QCOMPARE(m_server->portPath(), path);
    QCOMPARE(QFileInfo(path).symLinkTarget(), m_server->slavePath());
    RawClient after(path);
    QVERIFY(after.ask("getVexaKey\n").contains("key is 321\r\n"));
    QCOMPARE(m_server->commandLog(), QStringList({"setVexaKey 321", "getVexaKey"}));
}

void tst_SimServer::unplugAfterCommandsDropsTheNthCommand()
{
    QCOMPARE(m_client->ask("\n"), bare);
    m_server->setUnplugAfterCommands(2);
    QVERIFY(m_client->ask("getUniverse\n").endsWith("714x:"));
    QVERIFY(m_client->send("setUniverse 5\n"));
    QVERIFY(m_client->hungUp());
    QVERIFY(!linkExists(m_server->portPath()));
    QCOMPARE(m_server->commandLog(), QStringList({"", "getUniverse", "setUniverse 5"}));
    QCOMPARE(m_server->state().universe, 1);

    // The trigger fires once: a replugged device answers again.
    QVERIFY(m_server->replug());
    RawClient again(m_server->portPath());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(again.ask("\n"), bare);
}

void tst_SimServer::unplugDuringLatencyIsImmediateAndSilent()
{
    m_server->setLatencyMs(400);
    QVERIFY(m_client->send("getUniverse\n"));
    QTRY_COMPARE(m_server->commandLog().size(), 1);

    QElapsedTimer timer;
    timer.start();
    m_server->unplug();
    QVERIFY2(timer.elapsed() < 200, qPrintable(QString::number(timer.elapsed())));

    // The answer that was waiting is not delivered to the next pseudo-terminal either.
    QVERIFY(m_server->replug());
    RawClient again(m_server->portPath());
    QVERIFY(again.readFor(700).isEmpty());
    QVERIFY(m_client->hungUp());
}

void tst_SimServer::stopRemovesLinkAndDirectory()
{
    const QString path = m_server->portPath();
    const QString dir = QFileInfo(path).path();
    QVERIFY(QFileInfo(dir).isDir());

    m_server->stop();
    QVERIFY(m_client->hungUp());
    QVERIFY(!linkExists(path));
    QVERIFY(!QFileInfo::exists(dir));
    m_server->stop();

    // A stopped server starts again on a fresh port.
    QVERIFY(m_server->start());
    QCOMPARE(RawClient(m_server->portPath()).ask("\n"), bare);
}

QTEST_GUILESS_MAIN(tst_SimServer)
#include "tst_sim_server.moc"
