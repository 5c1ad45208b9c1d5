#pragma once

#include "link/Serial.h"
#include "server/PtyServer.h"

#include <QString>

// A simulated device on a real pseudo-terminal, with a real command channel opened on it and
// told the family prompt, as the program has it after identification.
class DeviceFixture
{
public:
    explicit DeviceFixture(const QString &model);
    ~DeviceFixture();

    // Starts the simulator and opens the channel; false (with a test failure message in
    // lastError) when either step fails.
    bool connect();
    QString lastError() const { return m_error; }

    sim::PtyServer server;
    Serial serial;

private:
    QString m_model;
    QString m_error;
};
