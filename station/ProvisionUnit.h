#pragma once

#include "files/SettingsFile.h"
#include "link/Serial.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

namespace provision {

// What identification found. A port that is no unit has no model; a unit whose identity could
// not be read whole has a failure.
struct Identity
{
    QString model;
    Family family = Family::Dimmer5;
    QString uid;
    QString software;
    QHash<QString, settings::Value> current;
    QString failure;
    bool busy = false; // another program holds the port

    bool isUnit() const { return !model.isEmpty(); }
};

// Lives on its unit's thread from identify() to the end of that thread; its channel is created
// in identify() and destroyed on the same thread, before the thread ends.
class UnitWorker : public QObject
{
    Q_OBJECT

public:
    UnitWorker(int id, const QString &port, const QMap<int, QStringList> &extraKeys,
               std::shared_ptr<std::atomic_bool> cancel)
        : m_id(id), m_port(port), m_extraKeys(extraKeys), m_cancel(std::move(cancel))
    {
    }
    ~UnitWorker() override { m_serial.reset(); }

    void identify();
    void write(const QVector<settingsfile::Entry> &wanted, const QString &recordPath);
    void release() { end(); }

signals:
    void identified(int id, const provision::Identity &identity);
    void progress(int id, int done, int total);
    void done(int id, bool pass, const QString &failure);

private:
    void end()
    {
        m_serial.reset();
        QThread::currentThread()->quit();
    }
    QString check(const QVector<settingsfile::Entry> &wanted, const QString &recordPath);

    const int m_id;
    const QString m_port;
    const QMap<int, QStringList> m_extraKeys;
    const std::shared_ptr<std::atomic_bool> m_cancel;
    std::unique_ptr<Serial> m_serial;
    Family m_family = Family::Dimmer5;
    QString m_model;
};

} // namespace provision

Q_DECLARE_METATYPE(provision::Identity)
