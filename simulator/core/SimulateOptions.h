#pragma once

#include <QString>

#include <climits>
#include <optional>

// --simulate MODEL, --seed N and --uid HEX, read the same way by vantelo, vantelo-cli and
// vantelo-sim (whose units are MODEL[:UID] words and whose seed is the first unit's).
namespace sim {

struct SimulateOptions
{
    QString model; // empty: no simulated unit
    std::optional<int> seed;
    QString uid; // upper case; empty: the model's own
};

// The texts as given (none: the option was not given). Empty when they are usable, with the
// values in options; otherwise the one-line reason.
QString parseSimulateOptions(const std::optional<QString> &model,
                             const std::optional<QString> &seed, const std::optional<QString> &uid,
                             SimulateOptions &options);

// The pieces. Each gives the value, or none with the reason in *why.
std::optional<QString> simulatedModel(const QString &text, QString *why);
std::optional<int> seedFromText(const QString &text, QString *why, int max = INT_MAX);
std::optional<QString> uidFromText(const QString &text, QString *why);

} // namespace sim
