#include "station/ProvisionPorts.h"

#include "link/PortSource.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <algorithm>

namespace provision {

PortFinder::PortFinder(QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    // Long enough for a link and the file it is renamed from to settle into one entry.
    m_settle.setInterval(50);
    connect(&m_settle, &QTimer::timeout, this, &PortFinder::changed);
}

PortFinder::~PortFinder() = default;

void PortFinder::start(const Selection &selection, bool watch, const QStringList &otherFolders)
{
    stop();
    m_selection = selection;
    m_watch = watch;
    m_seen.clear();
    m_folders.clear();
    if (!watch)
        return;
    // The folders, and the folders they are in: a link folder that a simulator removes and makes
    // again is watched again.
    if (!selection.portDir.isEmpty())
        m_folders.append(QFileInfo(selection.portDir).absoluteFilePath());
    for (const QString &port : selection.ports)
        m_folders.append(QFileInfo(port).absolutePath());
    for (int i = 0, count = m_folders.size(); i < count; ++i)
        m_folders.append(QFileInfo(m_folders.at(i)).absolutePath());
    m_folders += otherFolders;
    m_folders.removeDuplicates();
    m_folderWatch = std::make_unique<QFileSystemWatcher>();
    watchFolders();
    connect(m_folderWatch.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
        watchFolders();
        m_settle.start();
    });
    if (selection.attached) {
        if (PortWatch *ports = PortSource::watch())
            m_portWatch = connect(ports, &PortWatch::changed, this, &PortFinder::changed);
    }
}

void PortFinder::stop()
{
    m_settle.stop();
    m_folderWatch.reset();
    QObject::disconnect(m_portWatch);
}

// A folder that is not there yet (udev makes /dev/serial/by-id with the first unit) is waited for
// in the nearest folder that is.
void PortFinder::watchFolders()
{
    for (QString folder : qAsConst(m_folders)) {
        while (!QFileInfo(folder).isDir() && !QDir(folder).isRoot())
            folder = QFileInfo(folder).absolutePath();
        if (!m_folderWatch->directories().contains(folder))
            m_folderWatch->addPath(folder);
    }
}

QVector<PortCandidate> PortFinder::candidates() const
{
    QVector<PortCandidate> named, others;
    QHash<quint64, QString> serials;
    const QList<PortInfo> system = PortSource::availablePorts();
    for (const PortInfo &port : system) {
        if (port.deviceNumber != 0 && !port.serialNumber.isEmpty())
            serials.insert(port.deviceNumber, port.serialNumber);
    }
    for (const QString &given : qAsConst(m_selection.ports)) {
        const QString path = PortSource::openablePath(given);
        named.append({path, PortSource::deviceNumberOf(path), QString()});
    }
    if (!m_selection.portDir.isEmpty()) {
        const QDir dir(m_selection.portDir);
        const QStringList names =
            dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &name : names) {
            const QString path = PortSource::openablePath(dir.filePath(name));
            if (const quint64 device = PortSource::deviceNumberOf(path))
                others.append({path, device, QString()});
        }
    }
    if (m_selection.attached) {
        for (const PortInfo &port : system) {
            if (!port.isSupported())
                continue;
            const QString path = port.path();
            others.append({path,
                           port.deviceNumber ? port.deviceNumber : PortSource::deviceNumberOf(path),
                           QString()});
        }
    }
    std::stable_sort(others.begin(), others.end(),
                     [](const PortCandidate &a, const PortCandidate &b) {
                         return PortSource::naturalLess(QFileInfo(a.path).fileName(),
                                                        QFileInfo(b.path).fileName());
                     });
    // One unit reached through two paths (a node and its by-id link) is one unit: the first path
    // given or found stands for it.
    QVector<PortCandidate> all;
    for (PortCandidate &c : named + others) {
        if (std::any_of(all.begin(), all.end(), [&](const PortCandidate &kept) {
                return PortSource::sameUnit(kept.path, c.path);
            }))
            continue;
        c.serialNumber = serials.value(c.device);
        all.append(c);
    }
    return all;
}

QVector<PortCandidate> PortFinder::arrivals()
{
    const QVector<PortCandidate> found = candidates();
    if (!m_watch)
        return found;
    QVector<PortCandidate> arrived;
    // A port is a new arrival unless one of its unit's paths was there at the last look; a
    // device number alone may pass to another unit (pseudo-terminals are numbered again).
    QHash<quint64, QStringList> now;
    for (const PortCandidate &c : found) {
        if (c.device != 0)
            now[c.device].append(c.path);
    }
    for (const PortCandidate &c : found) {
        if (c.device == 0)
            continue;
        const QStringList before = m_seen.value(c.device);
        const QStringList &paths = now[c.device];
        if (std::none_of(paths.begin(), paths.end(),
                         [&](const QString &p) { return before.contains(p); }))
            arrived.append(c);
    }
    m_seen = now;
    return arrived;
}

} // namespace provision
