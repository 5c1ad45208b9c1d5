#include "cli/Cli.h"

#include "Version.h"
#include "cli/AuditCommand.h"
#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/PatchCommands.h"
#include "cli/Provision.h"
#include "cli/RecordCommands.h"
#include "cli/ReplaceCommand.h"

namespace cli {

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    // The commands with options of their own read their words themselves; the others share
    // one option parser below.
    struct OwnParser
    {
        int (*at)(const QStringList &words);
        int (*run)(const QStringList &words, QTextStream &out, QTextStream &err);
    };
    static const OwnParser ownParsers[] = {
        {provisionCommandAt, provisionCommand}, {patchCommandAt, patchCommand},
        {exportCommandAt, exportCommand},       {auditCommandAt, auditCommand},
        {replaceCommandAt, replaceCommand},     {recordCommandAt, recordCommand},
    };
    for (const OwnParser &command : ownParsers) {
        if (const int at = command.at(arguments); at >= 0) {
            QStringList words = arguments;
            words.removeAt(at);
            return command.run(words, out, err);
        }
    }
    Options options;
    const QString why = parseOptions(arguments, options);
    if (!why.isEmpty())
        return usageError(err, why);
    if (options.help) {
        out << helpText();
        out.flush();
        return Done;
    }
    if (options.version) {
        out << "vantelo-cli " << VANTELO_VERSION_TEXT << '\n';
        out.flush();
        return Done;
    }
    Context context(out, err, options.json);
    context.json[QStringLiteral("command")] = options.command;
    runCommand(options, context);
    return context.finish();
}

} // namespace cli
