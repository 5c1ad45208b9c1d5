// The port source reads a sysfs-like tree only after the device folders change and lists named
// ports while they exist; the port page tells permission from busy; the toolkit's options pass
// the command line; a --port unit that goes brings one message.

#include "app/CommandLine.h"
#include "app/SerialPortWidget.h"
#include "link/DeviceSession.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "support/AppHarness.h"
#include "support/ModalCatcher.h"

#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void write(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text + '\n');
}

// A tty class entry whose device link sits depth levels below a USB device holding the ids
// ("idVendor idProduct serial"); depth 0: no USB parent, -1: no device at all.
void addTty(const QTemporaryDir &root, const QString &name, int depth, const QByteArray &ids,
            const QByteArray &type)
{
    const QString usb = root.filePath("devices/1-" + name);
    const QString device = usb + QString("/%1:1.0").repeated(depth).arg(name);
    const QString entry = root.filePath("tty/" + name);
    QVERIFY(QDir().mkpath(device) && QDir().mkpath(entry));
    if (depth >= 0)
        QVERIFY(QFile::link(device, entry + "/device"));
    if (!type.isEmpty())
        write(entry + "/type", type);
    const QList<QByteArray> fields = ids.split(' ');
    for (int i = 0; depth > 0 && i < fields.size(); ++i)
        write(usb + '/' + QStringList{"idVendor", "idProduct", "serial"}.at(i), fields.at(i));
}

QStringList names(const QList<PortInfo> &ports)
{
    QStringList list;
    for (const PortInfo &p : ports)
        list << QString("%1 %2/%3 ")
                        .arg(p.portName)
                        .arg(p.vendorIdentifier)
                        .arg(p.productIdentifier) +
                    p.serialNumber;
    return list;
}

} // namespace

class TestLinkPorts : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void watch_readsOnlyAfterAChange_data();
    void watch_readsOnlyAfterAChange();
    void watch_followsTheLinkFoldersAsTheyAppear();
    void watch_withoutFolderWatches_readsEverySecond();
    void extraPorts_listedWhileTheyExist();
    void openablePath_data();
    void openablePath();
    void openFailure_permissionIsNotBusy_data();
    void openFailure_permissionIsNotBusy();
    void toolkitOptions_data();
    void toolkitOptions();
    void toolkitOption_beforeVersion_program();
    void unplugPortUnit_oneMessage();

private:
    QTemporaryDir root;
};

void TestLinkPorts::init()
{
    QVERIFY(QDir(root.path()).mkpath("dev") && QDir(root.path()).mkpath("tty"));
    PortSource::setSystemRoots(root.filePath("dev"), root.filePath("tty"));
}

void TestLinkPorts::cleanup()
{
    PortSource::setAddWatch({});
    PortSource::setSystemRoots({}, {});
    QDir(root.path()).removeRecursively();
    PortSource::clearExtraPorts();
    session::setAccessCheck({});
}

void TestLinkPorts::watch_readsOnlyAfterAChange_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QByteArray>("ids");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QString>("listed"); // empty: not listed
    QTest::newRow("USB unit, interface below the device")
        << "ttyACM0" << 1 << QByteArray("0483 1bea 3A7F0012") << QByteArray()
        << "ttyACM0 1155/7146 3A7F0012";
    QTest::newRow("usb-serial port, two levels below")
        << "ttyUSB0" << 2 << QByteArray("0403 6001") << QByteArray() << "ttyUSB0 1027/24577 ";
    QTest::newRow("built-in UART")
        << "ttyS0" << 0 << QByteArray() << QByteArray("4") << "ttyS0 0/0 ";
    QTest::newRow("reserved UART without hardware")
        << "ttyS1" << 0 << QByteArray() << QByteArray("0") << "";
    QTest::newRow("virtual terminal") << "tty1" << -1 << QByteArray() << QByteArray() << "";
}

void TestLinkPorts::watch_readsOnlyAfterAChange()
{
    QFETCH(QString, name);
    QFETCH(int, depth);
    QFETCH(QByteArray, ids);
    QFETCH(QByteArray, type);
    QFETCH(QString, listed);
    QSignalSpy changed(PortSource::watch(), &PortWatch::changed);
    QCOMPARE(PortSource::availablePorts().size(), 0);

    // The kernel's entry comes first, the node it makes second.
    addTty(root, name, depth, ids, type);
    int reads = PortSource::enumerationCount();
    const QString node = root.filePath("dev/" + name);
    write(node, "node");
    QTRY_VERIFY(PortSource::enumerationCount() > reads);
    QCOMPARE(changed.count(), int(!listed.isEmpty()));
    QCOMPARE(names(PortSource::availablePorts()),
             listed.isEmpty() ? QStringList() : QStringList{listed});

    // Asked as the port page asks, every second, the source answers from what it found.
    reads = PortSource::enumerationCount();
    for (int i = 0; i < 4; ++i) {
        PortSource::availablePorts();
        QTest::qWait(PortSource::settleMs / 2);
    }
    QCOMPARE(PortSource::enumerationCount(), reads);

    // A unit pulled leaves the list at once, before the folder has settled.
    QVERIFY(QFile::remove(node));
    QCOMPARE(PortSource::availablePorts().size(), 0);
    QTRY_VERIFY(PortSource::enumerationCount() > reads);
    QCOMPARE(changed.count(), 2 * int(!listed.isEmpty()));
}

// The links by serial number live in folders that come with the first such unit.
void TestLinkPorts::watch_followsTheLinkFoldersAsTheyAppear()
{
    PortSource::watch();
    for (const char *folder : {"dev/serial", "dev/serial/by-id"}) {
        const int reads = PortSource::enumerationCount();
        QVERIFY(QDir(root.path()).mkdir(folder));
        QTRY_VERIFY(PortSource::enumerationCount() > reads);
    }
    const int reads = PortSource::enumerationCount();
    QVERIFY(QFile::link("../../ttyACM0", root.filePath("dev/serial/by-id/usb-Korvane-if00")));
    QTRY_VERIFY(PortSource::enumerationCount() > reads);
}

// The user's watch limit used up: units plugged in later still appear, and in the order people
// count them (the station hands out addresses in this order).
void TestLinkPorts::watch_withoutFolderWatches_readsEverySecond()
{
    PortSource::setAddWatch([](int, const QByteArray &, quint32) {
        errno = ENOSPC;
        return -1;
    });
    PortSource::watch();
    PortSource::setSystemRoots(root.filePath("dev"), root.filePath("tty"));
    QSignalSpy changed(PortSource::watch(), &PortWatch::changed);
    QVERIFY(changed.isValid());
    for (const char *name : {"ttyACM10", "ttyACM2"}) {
        addTty(root, name, 1, "0483 1bea 3A7F0012", {});
        write(root.filePath("dev/") + name, "node");
    }
    QTRY_VERIFY(changed.count() > 0);
    QCOMPARE(names(PortSource::availablePorts()),
             (QStringList{"ttyACM2 1155/7146 3A7F0012", "ttyACM10 1155/7146 3A7F0012"}));
}

void TestLinkPorts::extraPorts_listedWhileTheyExist()
{
    sim::PtyServer unit("7146");
    QVERIFY(unit.start());
    LaunchOptions options;
    // The unit named twice, the second time by a link: one unit.
    const QString link = root.filePath("dev/by-id-link");
    QVERIFY(QFile::link(unit.portPath(), link));
    options.ports = QStringList{"/nonexistent-vantelo/ttyX", unit.portPath(), link};
    LaunchSession session;
    QVERIFY(session.start(options, nullptr));
    QCOMPARE(session.notices(), QString("vantelo: /nonexistent-vantelo/ttyX does not exist (yet); "
                                        "it will be listed when it appears\n"));

    const QList<PortInfo> ports = PortSource::availablePorts();
    QCOMPARE(names(ports), QStringList{unit.portPath() + " 1155/7146 "});
    QCOMPARE(ports.at(0).systemLocation, unit.portPath());
    QVERIFY(ports.at(0).deviceNumber != 0);
    unit.unplug();
    QCOMPARE(PortSource::availablePorts().size(), 0);
    QVERIFY(unit.replug());
    QCOMPARE(PortSource::availablePorts().size(), 1);
}

void TestLinkPorts::openablePath_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("opened"); // %root: the test's folder, where dev/ stands for /dev
    QTest::newRow("bare name only under /dev: the node there") << "ttyACM3"
                                                               << "%root/dev/ttyACM3";
    QTest::newRow("bare name here: this folder's") << "here"
                                                   << "%root/here";
    QTest::newRow("relative path: from this folder") << "rig1/usb-x"
                                                     << "%root/rig1/usb-x";
    QTest::newRow("absolute path as given") << "/dev/ttyS9"
                                            << "/dev/ttyS9";
}

void TestLinkPorts::openablePath()
{
    QFETCH(QString, given);
    QFETCH(QString, opened);
    const QString before = QDir::currentPath();
    write(root.filePath("dev/ttyACM3"), "node");
    write(root.filePath("dev/here"), "node");
    write(root.filePath("here"), "node");
    QVERIFY(QDir::setCurrent(root.path()));
    const QString path = PortSource::openablePath(given);
    QDir::setCurrent(before);
    QCOMPARE(path, opened.replace("%root", root.path()));
}

void TestLinkPorts::openFailure_permissionIsNotBusy_data()
{
    QTest::addColumn<bool>("mayAccess");
    QTest::addColumn<QStringList>("textHas");
    QTest::newRow("held by another program") << true << QStringList{" is busy"};
    QTest::newRow("this user may not open the node")
        << false << QStringList{"permission", "plugged in again", "\"dialout\"", "log in again"};
}

void TestLinkPorts::openFailure_permissionIsNotBusy()
{
    QFETCH(bool, mayAccess);
    QFETCH(QStringList, textHas);
    sim::PtyServer unit("7146");
    QVERIFY(unit.start());
    Serial otherProgram;
    otherProgram.setPortName(unit.portPath());
    QCOMPARE(otherProgram.open(), Serial::OpenResult::Opened);
    session::setAccessCheck([mayAccess](const QString &) { return mayAccess; });
    PortSource::addExtraPort(unit.portPath());
    SerialPortWidget::resetShownPorts();
    QWidget anchor;
    Serial serial;
    auto *page = new SerialPortWidget(&anchor);
    page->setSerial(&serial);
    page->refreshPortList();

    ModalCatcher catcher;
    page->findChild<QPushButton *>("p_SerialportsConnect")->click();
    QCOMPARE(catcher.count(), 1);
    QCOMPARE(catcher.last().title, QString("Serial Port Error"));
    const QString text = catcher.last().text;
    QCOMPARE(text.startsWith(unit.portPath() + " is busy"), mayAccess);
    for (const QString &part : textHas)
        QVERIFY2(text.contains(part) && text.contains(unit.portPath()), qPrintable(text));
}

void TestLinkPorts::toolkitOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: the window starts
    QTest::addColumn<QStringList>("ports");
    QTest::newRow("style with its value") << QStringList{"-style", "fusion"} << "" << QStringList();
    QTest::newRow("style=, then our option")
        << QStringList{"-style=fusion", "--port", "/dev/ttyB"} << "" << QStringList{"/dev/ttyB"};
    QTest::newRow("a restored session")
        << QStringList{"-session", "10d7e2a4c1", "-display", ":0", "-platform", "xcb", "-reverse"}
        << "" << QStringList();
    QTest::newRow("a port path that looks like an option")
        << QStringList{"--port", "-style"} << "" << QStringList{"-style"};
    QTest::newRow("not a toolkit option")
        << QStringList{"-stylo"} << "Unknown options" << QStringList();
}

void TestLinkPorts::toolkitOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(QStringList, ports);
    const CommandLineResult result = parseCommandLine(QStringList{"vantelo"} + arguments);
    QVERIFY2(result.error.contains(error) && result.error.isEmpty() == error.isEmpty(),
             qPrintable(result.error));
    QCOMPARE(result.run, error.isEmpty());
    QCOMPARE(result.options.ports, ports);
}

void TestLinkPorts::toolkitOption_beforeVersion_program()
{
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + "/../vantelo",
                  {"-style", "fusion", "--version"});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(process.readAllStandardOutput().startsWith("vantelo "));
}

// The poll reports the loss; the auto-connect that follows must not find the vanished path.
void TestLinkPorts::unplugPortUnit_oneMessage()
{
    AppHarness app("7146");
    QVERIFY(app.server.start());
    PortSource::addExtraPort(app.server.portPath());
    ModalCatcher catcher;
    app.createWindow();
    QVERIFY(catcher.waitForCount(1));
    QCOMPARE(catcher.last().title, QString("Device Found"));
    QTRY_COMPARE(statusPicture(app.window->statusIcon()), QString("connected"));

    app.server.unplug();
    QVERIFY(catcher.waitForCount(2));
    QTest::qWait(1500);
    QCOMPARE(catcher.count(), 2);
    QCOMPARE(catcher.last().text, QString("Serial port disconnected"));
}

QTEST_MAIN(TestLinkPorts)
#include "tst_link_ports.moc"
