#include "cli/PatchCommands.h"

#include "cli/ExitCodes.h"
#include "cli/OptionScan.h"
#include "cli/Output.h"
#include "patch/FixtureTypes.h"
#include "patch/SceneExport.h"
#include "record/Record.h"
#include "station/RigExport.h"

#include <QTextStream>

namespace cli {

namespace {

const QString command = QStringLiteral("gdtf");
const QStringList gdtfValued = {"--out"};
const QStringList patchFlags = {"--help", "-h"};
const QStringList exportValued = {"--record", "--out", "--universe"};

} // namespace

int patchCommandAt(const QStringList &words)
{
    return commandAt(words, command);
}

int exportCommandAt(const QStringList &words)
{
    return commandAt(words, QStringLiteral("export"));
}

int patchCommand(const QStringList &words, QTextStream &out, QTextStream &err)
{
    const OptionScan scan = scanOptions(words, gdtfValued, patchFlags);
    if (!scan.unknown.isEmpty())
        return usageError(err, QStringLiteral("%1 does not go with gdtf").arg(scan.unknown));
    if (!scan.error.isEmpty())
        return usageError(err, scan.error);
    if (scan.has(QStringLiteral("--help"))) {
        out << "Usage: vantelo-cli gdtf MODEL --out FILE.gdtf\n"
               "Writes the GDTF fixture type of a dimmer model: modes 8-bit and 16-bit.\n";
        out.flush();
        return Done;
    }
    QString path;
    for (const OptionScan::Option &option : scan.options) {
        if (option.name == QLatin1String("--out"))
            path = option.value;
    }
    if (scan.positional.size() != 1)
        return usageError(err, QStringLiteral("gdtf needs one MODEL"));
    if (path.isEmpty())
        return usageError(err, QStringLiteral("gdtf needs --out FILE.gdtf"));
    const QString model = scan.positional.first();
    const gdtf::FixtureType *type = gdtf::forModel(model);
    if (!type) {
        QStringList dimmers;
        for (const gdtf::FixtureType &each : gdtf::fixtureTypes())
            dimmers += each.models;
        return usageError(err,
                          QStringLiteral("no fixture type for '%1': a dimmer model is one of %2")
                              .arg(model, dimmers.join(QStringLiteral(", "))));
    }
    QString why;
    if (!patch::saveFile(path, gdtf::archive(*type), &why)) {
        err << "vantelo-cli: " << why << '\n';
        err.flush();
        return BadFile;
    }
    out << path << ": " << type->name << " (" << type->idText() << ")\n";
    out.flush();
    return Done;
}

int exportCommand(const QStringList &words, QTextStream &out, QTextStream &err)
{
    const OptionScan scan = scanOptions(words, exportValued, patchFlags);
    if (!scan.unknown.isEmpty())
        return usageError(err, QStringLiteral("%1 does not go with export").arg(scan.unknown));
    if (!scan.error.isEmpty())
        return usageError(err, scan.error);
    if (scan.has(QStringLiteral("--help"))) {
        out << "Usage: vantelo-cli export --record URL --out FILE.mvr|FILE.csv [--universe U]...\n"
               "Writes the record's held dimmer slots as an MVR scene (with the GDTF types it "
               "uses) or a\nCSV patch. Exit codes: 0 written; 2 usage error; 3 no dimmer held "
               "in the universes asked\nfor; 4 the record or the file cannot be used.\n";
        out.flush();
        return Done;
    }
    QString url, path;
    QList<int> universes;
    for (const OptionScan::Option &option : scan.options) {
        if (option.name == QLatin1String("--record")) {
            url = option.value;
        } else if (option.name == QLatin1String("--out")) {
            path = option.value;
        } else if (option.name == QLatin1String("--universe")) {
            bool ok = false;
            const int universe = option.value.toInt(&ok);
            if (!ok || universe < 1 || universe > 63999)
                return usageError(err, QStringLiteral("--universe needs a number from 1 to 63999"));
            if (!universes.contains(universe))
                universes.append(universe);
        }
    }
    if (!scan.positional.isEmpty())
        return usageError(err,
                          QStringLiteral("unexpected argument '%1'").arg(scan.positional.first()));
    if (path.isEmpty() || !rig::exportableName(path))
        return usageError(err, QStringLiteral("export needs --out FILE.mvr or FILE.csv"));
    if (url.isEmpty())
        url = record::defaultUrl();
    if (url.isEmpty())
        return usageError(err, QStringLiteral("no record given (--record URL, or VANTELO_RECORD)"));
    record::Record record;
    const rig::Outcome outcome =
        record.open(url) ? rig::exportHeld(record, universes, path)
                         : rig::Outcome{rig::Outcome::RecordProblem, 0, 0, record.errorString()};
    const int codes[] = {Done, NoUnit, BadFile, BadFile};
    (outcome.kind == rig::Outcome::Written ? out : err)
        << (outcome.kind == rig::Outcome::Written ? "" : "vantelo-cli: ") << outcome.message
        << '\n';
    out.flush();
    err.flush();
    return codes[outcome.kind];
}

} // namespace cli
