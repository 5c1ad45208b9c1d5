#include "cli/Options.h"

#include "cli/OptionScan.h"
#include "core/SimulateOptions.h"
#include "unit/DeviceSettings.h"

#include <algorithm>

namespace cli {

namespace {

const QStringList commands = {
    QStringLiteral("list"),  QStringLiteral("info"),  QStringLiteral("get"),
    QStringLiteral("set"),   QStringLiteral("save"),  QStringLiteral("diff"),
    QStringLiteral("apply"), QStringLiteral("reset"),
};

// Which commands an option is for; options not named here go with every command.
struct OptionScope
{
    const char *option;
    QStringList commands;
};
const OptionScope optionScopes[] = {
    {"--only", {"get", "diff", "apply"}},
    {"--except", {"get", "diff", "apply"}},
    {"--json", {"list", "info", "get", "diff", "apply"}},
    {"--dry-run", {"apply"}},
    {"--yes", {"reset"}},
};

bool matches(const QString &key, const QString &prefix)
{
    return key == prefix || (key.startsWith(prefix) && key.at(prefix.size()) == QLatin1Char('.'));
}

bool anyMatches(const QString &key, const QStringList &prefixes)
{
    for (const QString &prefix : prefixes) {
        if (matches(key, prefix))
            return true;
    }
    return false;
}

} // namespace

QString parseOptions(const QStringList &words, Options &options)
{
    const QStringList valued = {"--port", "--simulate", "--seed", "--uid", "--only", "--except"};
    const QStringList flags = {"--json", "--dry-run", "--yes", "--help", "-h", "--version"};
    const OptionScan scan = scanOptions(words, valued, flags);
    if (!scan.unknown.isEmpty())
        return QStringLiteral("unknown option '%1'").arg(scan.unknown);
    if (!scan.error.isEmpty())
        return scan.error;
    QStringList positional = scan.positional;
    QString simulate, seed, uid;
    for (const OptionScan::Option &option : scan.options) {
        const QString &name = option.name;
        const QString &value = option.value;
        options.given.append(name);
        if (!valued.contains(name))
            continue;
        if (name == QLatin1String("--only") || name == QLatin1String("--except")) {
            const QStringList items = value.split(QLatin1Char(','));
            for (const QString &item : items) {
                if (item.isEmpty())
                    return QStringLiteral("%1 holds an empty key").arg(name);
            }
            (name == QLatin1String("--only") ? options.only : options.except) += items;
            continue;
        }
        QString &target = name == QLatin1String("--port")       ? options.port
                          : name == QLatin1String("--simulate") ? simulate
                          : name == QLatin1String("--seed")     ? seed
                                                                : uid;
        if (!target.isEmpty())
            return QStringLiteral("%1 can be given only once").arg(name);
        if (value.isEmpty())
            return QStringLiteral("%1 needs a value").arg(name);
        target = value;
    }
    options.json = options.given.contains(QLatin1String("--json"));
    options.dryRun = options.given.contains(QLatin1String("--dry-run"));
    options.yes = options.given.contains(QLatin1String("--yes"));
    options.help = options.given.contains(QLatin1String("--help"));
    options.version = options.given.contains(QLatin1String("--version"));
    if (options.help || options.version)
        return QString();

    if (positional.isEmpty())
        return QStringLiteral("no command given (see --help)");
    options.command = positional.takeFirst();
    options.arguments = positional;
    if (!commands.contains(options.command))
        return QStringLiteral("unknown command '%1'").arg(options.command);
    for (const OptionScope &scope : optionScopes) {
        if (options.given.contains(QLatin1String(scope.option)) &&
            !scope.commands.contains(options.command)) {
            return QStringLiteral("%1 does not go with %2")
                .arg(QLatin1String(scope.option), options.command);
        }
    }
    if (!options.port.isEmpty() && !simulate.isEmpty())
        return QStringLiteral("--port and --simulate exclude each other");
    const auto given = [](const QString &text) {
        return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
    };
    sim::SimulateOptions simulated;
    const QString refused =
        sim::parseSimulateOptions(given(simulate), given(seed), given(uid), simulated);
    if (!refused.isEmpty())
        return refused;
    options.simulate = simulated.model;
    options.seed = simulated.seed;
    options.uid = simulated.uid;

    const QString &c = options.command;
    const int count = options.arguments.size();
    if ((c == QLatin1String("list") || c == QLatin1String("info") || c == QLatin1String("reset")) &&
        count > 0)
        return QStringLiteral("unexpected argument '%1'").arg(options.arguments.first());
    if ((c == QLatin1String("save") || c == QLatin1String("diff") || c == QLatin1String("apply")) &&
        count != 1)
        return QStringLiteral("%1 needs one FILE").arg(c);
    if (c == QLatin1String("set") && count == 0)
        return QStringLiteral("set needs KEY=VALUE");
    if (c == QLatin1String("reset") && !options.yes)
        return QStringLiteral("reset restores the factory defaults only with --yes");
    return QString();
}

QStringList familyKeys(Family family, bool writableOnly)
{
    QStringList keys;
    for (const settings::Setting &setting : settings::forFamily(family)) {
        if (!writableOnly || !setting.isReadOnly())
            keys.append(setting.key);
    }
    return keys;
}

QStringList everyKey(bool writableOnly)
{
    QStringList keys;
    for (Family family : catalogue::families()) {
        for (const QString &key : familyKeys(family, writableOnly)) {
            if (!keys.contains(key))
                keys.append(key);
        }
    }
    return keys;
}

QStringList select(const QStringList &universe, const QStringList &base, const Options &options,
                   const QString &where, QString *why)
{
    const QList<QPair<QString, QStringList>> lists = {
        {QString(), base},
        {QStringLiteral("--only "), options.only},
        {QStringLiteral("--except "), options.except}};
    for (const auto &list : lists) {
        for (const QString &prefix : list.second) {
            if (!std::any_of(universe.begin(), universe.end(),
                             [&](const QString &key) { return matches(key, prefix); })) {
                *why = QStringLiteral("%1%2 matches no key %3").arg(list.first, prefix, where);
                return {};
            }
        }
    }
    QStringList keys;
    for (const QString &key : universe) {
        if ((base.isEmpty() || anyMatches(key, base)) &&
            (options.only.isEmpty() || anyMatches(key, options.only)) &&
            !anyMatches(key, options.except))
            keys.append(key);
    }
    if (keys.isEmpty())
        *why = QStringLiteral("the selection holds no key");
    return keys;
}

} // namespace cli
