#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

// What the port page needs to know about one serial port, independent of where the list came from.
struct PortInfo
{
    QString portName;
    // The device node ("/dev/ttyACM0"), or the path given for a port named on the command line.
    QString systemLocation;
    // The USB serial number; empty for ports without one (pseudo-terminals, the simulator).
    QString serialNumber;
    // The node's device number (st_rdev): two paths to one unit (a node and its by-id link)
    // share it. 0 when unknown.
    quint64 deviceNumber = 0;
    bool hasVendorIdentifier = false;
    quint16 vendorIdentifier = 0;
    bool hasProductIdentifier = false;
    quint16 productIdentifier = 0;

    // What to open: the node when the system names one.
    QString path() const { return systemLocation.isEmpty() ? portName : systemLocation; }
    // One of the maker's products that the catalogue supports.
    bool isSupported() const;

    bool operator==(const PortInfo &other) const;
    bool operator!=(const PortInfo &other) const { return !(*this == other); }
};

// Tells a long-running tool that the system's serial ports have changed: emitted once the device
// folders have been quiet for PortSource::settleMs and the ports found then differ from those
// found before. Lives on the application object's thread and goes with that object.
class PortWatch : public QObject
{
    Q_OBJECT

public:
    ~PortWatch() override;

signals:
    void changed();

private:
    friend class PortSource;
    struct State;
    PortWatch();
    void open();
    void shut();
    void arm();
    void settled();
    void fallBack();
    QList<PortInfo> current() const;
    std::unique_ptr<State> d;
};

// The program's view of the system's serial ports. The system's list comes from sysfs (the tty
// class, its USB parents' identifiers) and is read again only when the device folders change, so
// asking every second costs a few stat calls instead of a walk over every tty the kernel has.
// Ports named on the command line (a device on a pseudo-terminal, the simulator) carry no USB
// identifiers of their own, so they are listed as a supported dimmer to pass the port page's
// filter, and only while their path exists.
class PortSource
{
public:
    using Lister = std::function<QList<PortInfo>()>;

    // The lister's ports (by default the system's) followed by the extra ports that exist.
    static QList<PortInfo> availablePorts();
    // Replaces the system lister, for tests; an empty Lister restores the system's.
    static void setLister(Lister lister);
    static void addExtraPort(const QString &path);
    static void clearExtraPorts();

    // The node's device number (st_rdev) when the path leads to a character device, else 0.
    static quint64 deviceNumberOf(const QString &path);
    // Whether two paths lead to one unit: a node and its by-id link, or two spellings of one
    // path. Paths that lead nowhere are one unit only when they are the same text.
    static bool sameUnit(const QString &a, const QString &b);
    // The path to open for a port a person named. The serial library looks for a name without a
    // leading slash under /dev; people mean a relative path from the current folder, and a bare
    // name that exists only under /dev ("ttyACM3") means the node there.
    static QString openablePath(const QString &given);
    // Port names in the order people expect: ttyACM2 before ttyACM10, numbers anywhere in a name
    // (a by-id link's serial number) compared as numbers.
    static bool naturalLess(const QString &a, const QString &b);

    // The watch over the system's ports; null without an application object. Call it on the
    // application object's thread.
    static PortWatch *watch();

    // Where the device nodes and the tty class are ("/dev", "/sys/class/tty"); empty texts
    // restore those. For tests, which build both in a temporary folder. Forgets what was found.
    static void setSystemRoots(const QString &devDir, const QString &ttyClassDir);
    // How often the system's ports have been read, over the whole process.
    static int enumerationCount();
    // The call that adds a folder watch, inotify_add_watch(2) unless a test puts one in its
    // place that fails as a used-up watch limit does; an empty function restores it. Without the
    // watches the ports are read every second. Takes effect when the watch is next (re)opened.
    using AddWatch = std::function<int(int fd, const QByteArray &path, quint32 mask)>;
    static void setAddWatch(AddWatch addWatch);

    static constexpr int settleMs = 300;
    static constexpr quint16 extraPortVendorId = 1155;
    static constexpr quint16 extraPortProductId = 7146;
};
