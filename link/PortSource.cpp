#include "link/PortSource.h"

#include "unit/ModelCatalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Roots
{
    QString dev = QStringLiteral("/dev");
    QString ttyClass = QStringLiteral("/sys/class/tty");
};

Roots &roots()
{
    static Roots paths;
    return paths;
}

int &enumerations()
{
    static int count = 0;
    return count;
}

PortSource::Lister &currentLister()
{
    static PortSource::Lister lister;
    return lister;
}

QStringList &extraPorts()
{
    static QStringList paths;
    return paths;
}

PortSource::AddWatch &addWatchCall()
{
    static PortSource::AddWatch call;
    return call;
}

int addWatch(int fd, const QByteArray &path, quint32 mask)
{
    if (addWatchCall())
        return addWatchCall()(fd, path, mask);
    return inotify_add_watch(fd, path.constData(), mask);
}

// Without folder watches (no inotify instance, or the watch limit used up) the ports are read at
// this interval, so units plugged in later still appear.
constexpr int pollMs = 1000;

QPointer<PortWatch> &theWatch()
{
    static QPointer<PortWatch> watch;
    return watch;
}

// Whether a node (or what a link points at) exists; its device number goes to number.
bool nodeExists(const QString &path, quint64 *number = nullptr)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    if (number)
        *number = S_ISCHR(st.st_mode) ? quint64(st.st_rdev) : 0;
    return true;
}

QByteArray attribute(const QString &dir, const char *name)
{
    QFile file(dir + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().trimmed();
}

// The identifiers sit on the USB device, one level above the interface a ttyACM's device link
// names and two above a usb-serial converter's port.
void readUsbIdentity(const QString &deviceLink, PortInfo &port)
{
    QString dir = QFileInfo(deviceLink).canonicalFilePath();
    for (int level = 0; level < 4 && !dir.isEmpty(); ++level) {
        const QByteArray vendor = attribute(dir, "idVendor");
        const QByteArray product = attribute(dir, "idProduct");
        if (!vendor.isEmpty() && !product.isEmpty()) {
            port.vendorIdentifier = vendor.toUShort(&port.hasVendorIdentifier, 16);
            port.productIdentifier = product.toUShort(&port.hasProductIdentifier, 16);
            port.serialNumber = QString::fromUtf8(attribute(dir, "serial"));
            return;
        }
        dir.truncate(qMax(0, dir.lastIndexOf(QLatin1Char('/'))));
    }
}

// Every tty with a device behind it and a node to open. Virtual terminals, the console and
// ptmx have no device; the serial core's reserved ports without a UART (type 0) have one but
// cannot be opened.
QList<PortInfo> readSystemPorts()
{
    ++enumerations();
    const Roots paths = roots();
    QStringList names =
        QDir(paths.ttyClass).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), PortSource::naturalLess);
    QList<PortInfo> ports;
    for (const QString &name : qAsConst(names)) {
        const QString entry = paths.ttyClass + QLatin1Char('/') + name;
        const QString deviceLink = entry + QStringLiteral("/device");
        if (!QFileInfo::exists(deviceLink) || attribute(entry, "type") == "0")
            continue;
        PortInfo port;
        port.portName = name;
        port.systemLocation = paths.dev + QLatin1Char('/') + name;
        if (!nodeExists(port.systemLocation, &port.deviceNumber))
            continue;
        readUsbIdentity(deviceLink, port);
        ports.append(port);
    }
    return ports;
}

} // namespace

bool PortInfo::isSupported() const
{
    return hasVendorIdentifier && hasProductIdentifier &&
           catalogue::isSupportedUsbDevice(vendorIdentifier, productIdentifier);
}

bool PortInfo::operator==(const PortInfo &other) const
{
    return portName == other.portName && systemLocation == other.systemLocation &&
           serialNumber == other.serialNumber && deviceNumber == other.deviceNumber &&
           hasVendorIdentifier == other.hasVendorIdentifier &&
           vendorIdentifier == other.vendorIdentifier &&
           hasProductIdentifier == other.hasProductIdentifier &&
           productIdentifier == other.productIdentifier;
}

struct PortWatch::State
{
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer settle;
    QTimer poll;
    QList<PortInfo> ports;
};

PortWatch::PortWatch() : d(std::make_unique<State>())
{
    d->settle.setSingleShot(true);
    d->settle.setInterval(PortSource::settleMs);
    connect(&d->settle, &QTimer::timeout, this, &PortWatch::settled);
    d->poll.setInterval(pollMs);
    connect(&d->poll, &QTimer::timeout, this, &PortWatch::settled);
    open();
}

PortWatch::~PortWatch()
{
    shut();
}

void PortWatch::open()
{
    d->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d->fd >= 0) {
        d->notifier = new QSocketNotifier(d->fd, QSocketNotifier::Read, this);
        connect(d->notifier, &QSocketNotifier::activated, this, [this] {
            char events[4096];
            while (::read(d->fd, events, sizeof events) > 0) {
            }
            // A folder that was just created (the by-id links' folder) is watched from now on.
            arm();
            d->settle.start();
        });
        arm();
    }
    if (d->fd < 0)
        d->poll.start();
    // Watched before reading, so that a change in between is not lost.
    d->ports = readSystemPorts();
}

void PortWatch::shut()
{
    d->settle.stop();
    d->poll.stop();
    delete d->notifier;
    d->notifier = nullptr;
    if (d->fd >= 0)
        ::close(d->fd);
    d->fd = -1;
}

// Nodes come and go in the device folder; the links by serial number follow once the system has
// named the unit, in folders that exist only while such a unit is plugged in. Adding a watch
// that is already there changes nothing, and the kernel drops those of removed folders.
void PortWatch::arm()
{
    const uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                          IN_MOVE_SELF | IN_ONLYDIR;
    const QString dev = roots().dev;
    if (d->fd < 0)
        return;
    for (const QString &dir :
         {dev, dev + QStringLiteral("/serial"), dev + QStringLiteral("/serial/by-id")}) {
        // A folder not there yet is no failure: its parent's watch reports its creation.
        if (addWatch(d->fd, QFile::encodeName(dir), mask) < 0 && errno != ENOENT) {
            fallBack();
            return;
        }
    }
}

// A watch that cannot be added (the user's watch limit used up) would leave a folder unwatched
// and its units unseen; reading every second sees them all.
void PortWatch::fallBack()
{
    // Called from the notifier's own signal, so it goes once that returns.
    d->notifier->setEnabled(false);
    d->notifier->deleteLater();
    d->notifier = nullptr;
    ::close(d->fd);
    d->fd = -1;
    d->poll.start();
}

void PortWatch::settled()
{
    const QList<PortInfo> found = readSystemPorts();
    if (found == d->ports)
        return;
    d->ports = found;
    emit changed();
}

// What was read at the last change, less the nodes that have gone since: a unit pulled a moment
// ago must not be offered again while the folder settles.
QList<PortInfo> PortWatch::current() const
{
    // Without watches every answer is read afresh.
    if (d->fd < 0)
        return readSystemPorts();
    QList<PortInfo> ports;
    for (const PortInfo &port : qAsConst(d->ports)) {
        if (nodeExists(port.systemLocation))
            ports.append(port);
    }
    return ports;
}

QList<PortInfo> PortSource::availablePorts()
{
    QList<PortInfo> ports;
    if (currentLister()) {
        ports = currentLister()();
    } else {
        PortWatch *watch = PortSource::watch();
        ports = watch && QThread::currentThread() == watch->thread() ? watch->current()
                                                                     : readSystemPorts();
    }
    for (const QString &path : qAsConst(extraPorts())) {
        PortInfo port;
        // Listed while the path exists, as a unit that is unplugged drops out of the system's
        // list; a path that appears later is listed from then on.
        if (!nodeExists(path, &port.deviceNumber))
            continue;
        // A unit the system lists already, named again by its node or its by-id link.
        if (std::any_of(ports.begin(), ports.end(), [&path](const PortInfo &p) {
                return PortSource::sameUnit(p.path(), path);
            }))
            continue;
        port.portName = path;
        port.systemLocation = path;
        port.hasVendorIdentifier = true;
        port.vendorIdentifier = extraPortVendorId;
        port.hasProductIdentifier = true;
        port.productIdentifier = extraPortProductId;
        ports.append(port);
    }
    return ports;
}

void PortSource::setLister(Lister lister)
{
    currentLister() = std::move(lister);
}

void PortSource::addExtraPort(const QString &path)
{
    if (!extraPorts().contains(path))
        extraPorts().append(path);
}

void PortSource::clearExtraPorts()
{
    extraPorts().clear();
}

PortWatch *PortSource::watch()
{
    QPointer<PortWatch> &watch = theWatch();
    QCoreApplication *app = QCoreApplication::instance();
    if (!watch && app && QThread::currentThread() == app->thread()) {
        watch = new PortWatch;
        watch->setParent(app);
    }
    return watch;
}

void PortSource::setSystemRoots(const QString &devDir, const QString &ttyClassDir)
{
    const Roots standard;
    roots().dev = devDir.isEmpty() ? standard.dev : devDir;
    roots().ttyClass = ttyClassDir.isEmpty() ? standard.ttyClass : ttyClassDir;
    if (PortWatch *watch = theWatch()) {
        watch->shut();
        watch->open();
    }
}

int PortSource::enumerationCount()
{
    return enumerations();
}

void PortSource::setAddWatch(AddWatch addWatch)
{
    addWatchCall() = std::move(addWatch);
}

quint64 PortSource::deviceNumberOf(const QString &path)
{
    quint64 number = 0;
    nodeExists(path, &number);
    return number;
}

bool PortSource::sameUnit(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    quint64 numberA = 0, numberB = 0;
    if (!nodeExists(a, &numberA) || !nodeExists(b, &numberB))
        return false;
    if (numberA != 0 || numberB != 0)
        return numberA == numberB;
    return QFileInfo(a).canonicalFilePath() == QFileInfo(b).canonicalFilePath();
}

QString PortSource::openablePath(const QString &given)
{
    if (given.isEmpty() || QDir::isAbsolutePath(given))
        return given;
    const QString underDev = roots().dev + QLatin1Char('/') + given;
    if (!given.contains(QLatin1Char('/')) && !nodeExists(given) && nodeExists(underDev))
        return underDev;
    return QFileInfo(given).absoluteFilePath();
}

bool PortSource::naturalLess(const QString &a, const QString &b)
{
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            int ei = i, ej = j;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            const QString na = a.mid(i, ei - i), nb = b.mid(j, ej - j);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
            continue;
        }
        if (a.at(i) != b.at(j))
            return a.at(i) < b.at(j);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}
