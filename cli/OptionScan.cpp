#include "cli/OptionScan.h"

namespace cli {

bool OptionScan::has(const QString &name) const
{
    for (const Option &option : options) {
        if (option.name == name)
            return true;
    }
    return false;
}

OptionScan scanOptions(const QStringList &words, const QStringList &valued,
                       const QStringList &flags)
{
    OptionScan scan;
    bool onlyPositional = false;
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (onlyPositional || !word.startsWith(QLatin1Char('-')) || word == QLatin1String("-")) {
            scan.positional.append(word);
            continue;
        }
        if (word == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        const int equals = word.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? word : word.left(equals);
        if (flags.contains(name)) {
            if (equals >= 0) {
                scan.error = QStringLiteral("%1 takes no value").arg(name);
                return scan;
            }
            scan.options.append(
                {name == QLatin1String("-h") ? QStringLiteral("--help") : name, QString()});
            continue;
        }
        if (!valued.contains(name)) {
            scan.unknown = name;
            return scan;
        }
        if (equals < 0 && i + 1 >= words.size()) {
            scan.error = QStringLiteral("%1 needs a value").arg(name);
            return scan;
        }
        scan.options.append({name, equals >= 0 ? word.mid(equals + 1) : words.at(++i)});
    }
    return scan;
}

int commandAt(const QStringList &words, const QString &name)
{
    static const QStringList valued = {
        "--out",       "--port",     "--simulate",   "--seed",     "--uid",   "--only",
        "--except",    "--log",      "--record",     "--universe", "--label", "--start-address",
        "--footprint", "--port-dir", "--record-dir", "--station",  "--lease", "--svg"};
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (word == QLatin1String("--"))
            return i + 1 < words.size() && words.at(i + 1) == name ? i + 1 : -1;
        if (!word.startsWith(QLatin1Char('-')) || word == QLatin1String("-"))
            return word == name ? i : -1;
        if (!word.contains(QLatin1Char('=')) && valued.contains(word))
            ++i;
    }
    return -1;
}

} // namespace cli
