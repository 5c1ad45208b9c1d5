#pragma once

#include "core/SimFamily.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// The device simulator's command interpreter: one object per device, pure (no I/O, no time).
// It takes one command line and returns the device's whole answer, ending in a line break and
// the family prompt.
namespace sim {

struct ChannelState
{
    QString label;
    int curve = 0;      // 0..3
    int respTime = 0;   // 0..5
    int modulation = 0; // 0..7
    int offset = 0;
};

// Every setting the configuration pages read and write.
struct DeviceState
{
    QString rootLabel;
    QString portLabel;
    int failDelay = 0; // tenths of a second, 65535 = infinite
    int failHold = 0;
    int failLevel = 0;
    int universe = 1;
    int dmxAddress = 1;
    bool sixteenBit = false;
    bool rdmTraffic = false;
    QVector<ChannelState> channels; // empty on receiver cards
    bool bumpEnabled = false;
    bool wirelessInput = false;
    int vexaId = 0;
    int vexaKey = 0;
    int antenna = 0;            // 0..3
    int power = 0;              // 0..3
    bool pwmOutput = false;     // receiver cards only
    bool zeroTenOutput = false; // receiver cards only

    bool operator==(const DeviceState &other) const;
    bool operator!=(const DeviceState &other) const { return !(*this == other); }
};

class SimDevice
{
public:
    // model: one of the six model numbers ("7146", "7147", "7126", "7127", "7185", "7186").
    explicit SimDevice(const QString &model);

    // The models the simulator offers: the program's catalogue, in its order, as far as the
    // simulator holds firmware data for them (SimModels.cpp, kept out of the fuzz build).
    static bool isKnownModel(const QString &model);
    static QStringList knownModels();
    // The UID a unit of this model reports out of the box; empty for a model without data.
    static QString defaultUid(const QString &model);

    QString model() const { return m_model; }
    Family family() const { return m_family; }
    QString prompt() const; // "714x:", "712x:" or "718x:"

    // One command line (with or without its line break) in, the whole answer out.
    QByteArray respond(const QByteArray &line);

    DeviceState &state() { return m_state; }
    const DeviceState &state() const { return m_state; }
    DeviceState factoryDefaults() const;
    // Another valid state: seed 0 is the factory state, and seeds N and N+1 differ in every
    // setting that can be written.
    DeviceState seededState(int seed) const;

    // The RDM UID the unit reports (twelve hexadecimal digits); each model has its own default.
    QString uid() const { return m_uid; }
    void setUid(const QString &uid) { m_uid = uid; }

private:
    QString m_model;
    Family m_family;
    QString m_uid;
    DeviceState m_state;
};

} // namespace sim
