#pragma once

#include "core/SimDevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace sim {

// Serves one simulated device on a pseudo-terminal from a thread of its own, so it answers while
// the program's GUI thread is blocked in a transaction. portPath() is a stable link to the current
// slave side: unplug() removes the device (its pseudo-terminal closes, the link goes away) and
// replug() brings a fresh one back behind the same path, as a USB device that comes back would.
// Every method is thread-safe.
class PtyServer
{
public:
    explicit PtyServer(const QString &model);
    ~PtyServer();
    PtyServer(const PtyServer &) = delete;
    PtyServer &operator=(const PtyServer &) = delete;

    bool start(QString *error = nullptr);
    void stop();
    QString portPath() const;  // stable link, e.g. /tmp/vantelo-sim-XXXX/ttySIM7146
    QString slavePath() const; // the current /dev/pts/N; empty while unplugged
    bool plugged() const;
    // Further links to the current slave side that come and go with portPath(), as a
    // /dev/serial/by-id name does. May be set before start(); false if a link could not be made.
    bool setExtraLinks(const QStringList &paths);

    // Fault injection.
    void setLatencyMs(int ms);   // before each answer
    void setSilent(bool silent); // read commands, answer nothing
    void unplug();               // close the device's side now
    bool replug();               // a new pseudo-terminal behind portPath()
    // Unplug on receiving command number count (1-based from now); 0 = off.
    void setUnplugAfterCommands(int count);
    void setChunking(int chunkBytes, int pauseMs);  // split each answer; 0 = off
    void setTrailingBytes(const QByteArray &bytes); // sent right after every prompt
    void setGarbage(const QByteArray &bytes);       // put before the text of every answer
    // Replace the interpreter's answer: return a value to send it instead (no prompt added).
    void setReplyOverride(std::function<std::optional<QByteArray>(const QByteArray &line)> fn);
    void clearFaults();

    // The oracle for tests: every command line received (without its line break), in order.
    QStringList commandLog() const;
    void clearLog();
    // The log so far, cleared: for a long-running server that copies it out as it grows.
    QStringList takeCommandLog();
    DeviceState state() const;
    void modifyState(const std::function<void(DeviceState &)> &fn);
    // Puts the unit into seeded state N (0: the factory state).
    void setSeed(int seed);
    // The RDM UID the unit reports; twelve hexadecimal digits.
    void setUid(const QString &uid);
    QString uid() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sim
