// The command line: what it accepts, how it fails, and what a launch with --simulate and --port
// puts into the port list.

#include "app/CommandLine.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "server/PtyServer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

class TestAppCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void launch_listsTheSimulatorAndTheNamedPorts();
    void program_answersWithoutADisplay_data();
    void program_answersWithoutADisplay();
};

void TestAppCommandLine::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Vantelo"));
}

void TestAppCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // on standard output for code 0, else on the error
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("simulate");
    const QStringList none;

    QTest::newRow("nothing starts the window") << none << 0 << "" << none << "";
    QTest::newRow("help lists the options")
        << QStringList{"--help"} << 0 << "--simulate <model>" << none << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "vantelo 1.0.0.9.0.2\n"
                             << none << "";
    QTest::newRow("ports keep their order")
        << QStringList{"--port", "/dev/pts/7", "--port=/tmp/ttyB"} << 0 << ""
        << QStringList{"/dev/pts/7", "/tmp/ttyB"} << "";
    QTest::newRow("a known model to simulate")
        << QStringList{"--simulate", "7185"} << 0 << "" << none << "7185";
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << 2 << "Unknown option 'bogus'" << none << "";
    QTest::newRow("unknown model")
        << QStringList{"--simulate", "7100"} << 2 << "unknown model '7100'" << none << "";
    QTest::newRow("model number inside other text is not a model")
        << QStringList{"--simulate", "x7146"} << 2 << "unknown model 'x7146'" << none << "";
    QTest::newRow("port without its path")
        << QStringList{"--port"} << 2 << "Missing value after '--port'" << none << "";
    QTest::newRow("empty port path")
        << QStringList{"--port", " "} << 2 << "--port needs a path" << none << "";
    QTest::newRow("stray argument")
        << QStringList{"7146"} << 2 << "unexpected argument '7146'" << none << "";
    QTest::newRow("two simulated devices")
        << QStringList{"--simulate", "7146", "--simulate", "7186"} << 2 << "only once" << none
        << "";
}

void TestAppCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QStringList, ports);
    QFETCH(QString, simulate);

    const CommandLineResult result = parseCommandLine(QStringList{"vantelo"} + arguments);
    QCOMPARE(result.run, message.isEmpty());
    QCOMPARE(result.exitCode, exitCode);
    const QString &shown = exitCode == 0 ? result.output : result.error;
    const QString &silent = exitCode == 0 ? result.error : result.output;
    QVERIFY2(shown.contains(message) && (!message.isEmpty() || shown.isEmpty()), qPrintable(shown));
    QVERIFY2(silent.isEmpty(), qPrintable(silent));
    QCOMPARE(result.options.ports, ports);
    QCOMPARE(result.options.simulateModel, simulate);
}

void TestAppCommandLine::launch_listsTheSimulatorAndTheNamedPorts()
{
    PortSource::clearExtraPorts();
    PortSource::setLister([] { return QList<PortInfo>(); });
    QString simulatedPath;
    {
        LaunchOptions options;
        options.ports = QStringList{QStringLiteral("/dev/ttyNamed0")};
        options.simulateModel = QStringLiteral("7126");
        LaunchSession session;
        QString error;
        QVERIFY2(session.start(options, &error), qPrintable(error));
        simulatedPath = session.simulatedPortPath();

        // A named port is listed only while its path exists.
        const QList<PortInfo> listed = PortSource::availablePorts();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.at(0).portName, simulatedPath);
        QCOMPARE(listed.at(0).vendorIdentifier, quint16(1155));

        // The listed port leads to a device of the requested model.
        Serial serial;
        serial.setPortName(simulatedPath);
        QCOMPARE(serial.open(), 0);
        QString model;
        QVERIFY(serial.identify(model));
        QCOMPARE(model, QStringLiteral("7126"));
    }
    // The simulator lives exactly as long as the session.
    QVERIFY(!QFileInfo::exists(simulatedPath));
    PortSource::clearExtraPorts();
    PortSource::setLister({});
}

void TestAppCommandLine::program_answersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHas");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("version") << QStringList{"--version"} << 0 << "vantelo 1.0.0.9.0.2"
                             << "";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                    << "Unknown option 'frobnicate'";
}

void TestAppCommandLine::program_answersWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHas);
    QFETCH(QString, stderrHas);

    // The program sits next to the tests folder in the build tree.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../vantelo");
    if (!QFileInfo(program).isExecutable())
        QSKIP("the vantelo program has not been built in this build tree");
    // As over SSH or in a package check: answering the command line must not need a display.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(out.contains(stdoutHas), qPrintable(out));
    QVERIFY2(err.contains(stderrHas), qPrintable(err));
}

QTEST_MAIN(TestAppCommandLine)
#include "tst_app_commandline.moc"
