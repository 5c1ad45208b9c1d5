// vantelo-sim as a user runs it: argument checking, the port path on the first line, the
// command log file and an orderly end on SIGTERM.
#include "link/Serial.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

namespace {

// The simulator is built next to the tests, in the simulator folder of the same build tree.
QString simulatorPath()
{
    return QFileInfo(QCoreApplication::applicationDirPath() +
                     QStringLiteral("/../simulator/vantelo-sim"))
        .absoluteFilePath();
}

} // namespace

class tst_SimCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void badArguments_data();
    void badArguments();
    void servesLogsAndStopsOnSignal();
};

void tst_SimCli::initTestCase()
{
    QVERIFY2(QFileInfo(simulatorPath()).isExecutable(),
             qPrintable(simulatorPath() + QStringLiteral(" is missing: build vantelo-sim")));
}

void tst_SimCli::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown model") << QStringList{"7145"};
    QTest::newRow("no model") << QStringList{};
    QTest::newRow("two models") << QStringList{"7146", "7126"};
    QTest::newRow("latency not a number") << QStringList{"7146", "--latency-ms", "soon"};
    QTest::newRow("negative latency") << QStringList{"7146", "--latency-ms", "-5"};
    QTest::newRow("unknown option") << QStringList{"7146", "--colour"};
    QTest::newRow("log in a missing folder")
        << QStringList{"7146", "--log", "/nonexistent-vantelo/dir/log.txt"};
}

void tst_SimCli::badArguments()
{
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(simulatorPath(), arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(!process.readAllStandardError().isEmpty());
}

void tst_SimCli::servesLogsAndStopsOnSignal()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString logPath = dir.filePath(QStringLiteral("commands.log"));
    {
        QFile earlier(logPath);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("from an earlier run\n");
    }

    QProcess process;
    process.start(simulatorPath(), {QStringLiteral("7126"), QStringLiteral("--log"), logPath,
                                    QStringLiteral("--latency-ms"), QStringLiteral("20")});
    QVERIFY(process.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 5000);
    const QString portPath = QString::fromLocal8Bit(process.readLine()).trimmed();
    QVERIFY2(portPath.endsWith(QStringLiteral("/ttySIM7126")), qPrintable(portPath));

    Serial serial;
    serial.setPortName(portPath);
    QCOMPARE(serial.open(), 0);
    serial.setPrompt(QStringLiteral("712x:"));
    QString reply;
    QVERIFY(serial.sendCommand(QStringLiteral("setUniverse 44\n"), reply));
    QVERIFY2(reply.contains(QStringLiteral("OK")), qPrintable(reply));
    QVERIFY(serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QCOMPARE(reply, QStringLiteral("getUniverse  DMX universe is 44  712x:"));
    QVERIFY(serial.ping());
    serial.close();

    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(QFileInfo(portPath).path()));

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("from an earlier run\nsetUniverse 44\ngetUniverse\n\n"));
}

QTEST_GUILESS_MAIN(tst_SimCli)
#include "tst_sim_cli.moc"
