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
    const int provisionAt = provisionCommandAt(arguments);
    if (provisionAt >= 0) {
        QStringList words = arguments;
        words.removeAt(provisionAt);
        return provisionCommand(words, out, err);
    }
    if (const int at = patchCommandAt(arguments); at >= 0) {
        QStringList words = arguments;
        words.removeAt(at);
        return patchCommand(words, out, err);
    }
    if (const int at = exportCommandAt(arguments); at >= 0) {
        QStringList words = arguments;
        words.removeAt(at);
        return exportCommand(words, out, err);
    }
    if (const int auditAt = auditCommandAt(arguments); auditAt >= 0) {
        QStringList words = arguments;
        words.removeAt(auditAt);
        return auditCommand(words, out, err);
    }
    if (const int replaceAt = replaceCommandAt(arguments); replaceAt >= 0) {
        QStringList words = arguments;
        words.removeAt(replaceAt);
        return replaceCommand(words, out, err);
    }
    if (const int recordAt = recordCommandAt(arguments); recordAt >= 0) {
        QStringList words = arguments;
        words.removeAt(recordAt);
        return recordCommand(words, out, err);
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
