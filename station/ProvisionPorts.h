#pragma once

#include "station/ProvisionTypes.h"

#include <QObject>
#include <QTimer>
#include <QVector>

#include <memory>

class QFileSystemWatcher;

namespace provision {

// A port the station may open: the path it was given or found by, the device behind it (0: no
// character device there) and the USB serial number the system lists for it.
struct PortCandidate
{
    QString path;
    quint64 device = 0;
    QString serialNumber;
};

// Which ports a station takes, in which order, and when: the selection's ports at the start and,
// watching, each one that appears later, once per arrival. It opens nothing; the station's thread
// bookkeeping starts a unit for each port it hands out.
class PortFinder : public QObject
{
    Q_OBJECT

public:
    explicit PortFinder(QObject *parent = nullptr);
    ~PortFinder() override;

    // Watching, changed() follows each change in the selection's folders (and otherFolders, such
    // as the log's) and in the system's list of ports.
    void start(const Selection &selection, bool watch, const QStringList &otherFolders);
    void stop();

    // The ports that arrived since the last call, in the station's order: the named ports as
    // given, then the others by name with their digit runs compared as numbers. Without watch,
    // every port of the selection at the first call; one unit reached through two paths is one.
    QVector<PortCandidate> arrivals();

signals:
    void changed();

private:
    QVector<PortCandidate> candidates() const;
    void watchFolders();

    Selection m_selection;
    bool m_watch = false;
    QStringList m_folders;
    QHash<quint64, QStringList> m_seen;
    std::unique_ptr<QFileSystemWatcher> m_folderWatch;
    QTimer m_settle;
    QMetaObject::Connection m_portWatch;
};

} // namespace provision
