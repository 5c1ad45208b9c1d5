#include "cli/PatchCommands.h"

#include "cli/ExitCodes.h"
#include "cli/OptionScan.h"
#include "cli/Output.h"
#include "patch/FixtureTypes.h"
#include "patch/SceneExport.h"

#include <QTextStream>

namespace cli {

namespace {

const QString command = QStringLiteral("gdtf");
const QStringList valuedOptions = {"--out"};
const QStringList flagOptions = {"--help", "-h"};

} // namespace

int patchCommandAt(const QStringList &words)
{
    // Every command's valued options, so that "--port X gdtf" is not taken for the command X.
    const QStringList valued = {"--out", "--port", "--simulate", "--seed",
                                "--uid", "--only", "--except",   "--log"};
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (word == QLatin1String("--"))
            return i + 1 < words.size() && words.at(i + 1) == command ? i + 1 : -1;
        if (!word.startsWith(QLatin1Char('-')) || word == QLatin1String("-"))
            return word == command ? i : -1;
        if (!word.contains(QLatin1Char('=')) && valued.contains(word))
            ++i;
    }
    return -1;
}

int patchCommand(const QStringList &words, QTextStream &out, QTextStream &err)
{
    const OptionScan scan = scanOptions(words, valuedOptions, flagOptions);
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

} // namespace cli
