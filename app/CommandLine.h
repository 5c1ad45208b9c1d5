#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace sim {
class PtyServer;
}

// What the command line asks for besides the window itself.
struct LaunchOptions
{
    // Serial ports listed in addition to the system's, in the order given.
    QStringList ports;
    // A model number to simulate on a pseudo-terminal of its own; empty for none.
    QString simulateModel;
    // The simulated unit's starting state (0: the factory state) and RDM UID (empty: the
    // model's own).
    int simulateSeed = 0;
    QString simulateUid;
};

struct CommandLineResult
{
    // False: the program ends at once with exitCode, printing output and error.
    bool run = true;
    int exitCode = 0;
    QString output; // for standard output (help, version)
    QString error;  // for standard error
    LaunchOptions options;
};

// Exit code for an unusable command line.
constexpr int commandLineErrorExitCode = 2;

// Parses the program's arguments (the first is the program itself), passing over the toolkit's
// own options ("-style fusion", "-session <id>"), which the application object handles. Needs
// the application object, whose name heads the help text.
CommandLineResult parseCommandLine(const QStringList &arguments);

// Puts what the options ask for into place and keeps it alive for as long as the session lives:
// the extra ports are added to the port list, and a simulated device is started and listed.
class LaunchSession
{
public:
    LaunchSession();
    ~LaunchSession();
    LaunchSession(const LaunchSession &) = delete;
    LaunchSession &operator=(const LaunchSession &) = delete;

    // False with a message in error when the simulated device cannot be started.
    bool start(const LaunchOptions &options, QString *error);
    // The simulated device's port, empty without one.
    QString simulatedPortPath() const;
    sim::PtyServer *simulator() const { return m_simulator.get(); }
    // For standard error: the named ports that do not exist yet, one line each.
    QString notices() const { return m_notices; }

private:
    std::unique_ptr<sim::PtyServer> m_simulator;
    QString m_notices;
};
