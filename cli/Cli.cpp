#include "cli/Cli.h"

#include "Version.h"
#include "cli/AuditCommand.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/PatchCommands.h"
#include "cli/Provision.h"
#include "cli/RecordCommands.h"
#include "cli/ReplaceCommand.h"

namespace cli {

QString helpText()
{
    return QStringLiteral(
               "Usage: vantelo-cli [--port PATH | --simulate MODEL] COMMAND [ARGS] [--json]\n"
               "Reads, compares and writes the settings of a Korvane dimmer or receiver card.\n"
               "\n"
               "Commands:\n"
               "  list                    serial ports: port, model (or why not), USB serial "
               "number\n"
               "  info                    model, description, versions, RDM UID, label\n"
               "  get [KEY...]            current values, one \"key value\" line each (all keys "
               "when none given)\n"
               "  set KEY=VALUE...        write each, read it back, print what the unit now "
               "holds\n"
               "  save FILE               the unit's settings to FILE\n"
               "  diff FILE               only the keys in which the unit differs from FILE, "
               "with both values\n"
               "  apply FILE [--dry-run]  write what differs, then read every key of FILE back "
               "and report each\n"
               "  reset --yes             restore the unit's factory defaults\n"
               "  gdtf MODEL --out FILE   the dimmer model's GDTF fixture type (modes 8-bit, "
               "16-bit)\n"
               "  export --record URL --out FILE\n"
               "                          the record's held dimmers as an MVR scene or CSV "
               "patch\n"
               "  provision TEMPLATE... --log FILE\n"
               "                          set up every unit found from its family's template, "
               "each\n"
               "                          with its own address and label; verify and log each\n"
               "  audit --record URL      compare each unit with its last PASS in the record\n"
               "  replace OLD_UID --record URL\n"
               "                          give the unit everything OLD_UID's last PASS holds, "
               "and its slot\n"
               "  record init|units|history|map|import\n"
               "                          the rig record (see vantelo-cli record --help)\n"
               "\n"
               "Options (before or after the command):\n"
               "  --port PATH             the unit on this serial port\n"
               "  --simulate MODEL        a simulated unit: %1\n"
               "  --seed N                the simulated unit starts in state N (0: factory "
               "state)\n"
               "  --uid HEX               the simulated unit's RDM UID, twelve hexadecimal "
               "digits\n"
               "  --only KEY,...          get, diff, apply: only these keys (repeatable)\n"
               "  --except KEY,...        get, diff, apply: not these keys (repeatable)\n"
               "                          a KEY is also a prefix up to a dot: \"channel\", "
               "\"channel.b\"\n"
               "  --json                  list, info, get, diff, apply: one JSON document on "
               "standard output\n"
               "  --dry-run               apply: show what would be written, write nothing\n"
               "  --yes                   reset: yes, restore the factory defaults\n"
               "  -h, --help              this text\n"
               "  --version               the program's version\n"
               "Without --port or --simulate the one attached supported unit is used.\n"
               "\n"
               "Provisioning options:\n"
               "  --log FILE              the CSV log: read for units already provisioned, "
               "appended to\n"
               "  --start-address N       addresses in sequence from N (without: the "
               "template's)\n"
               "  --universe U            every unit's DMX universe\n"
               "  --label PATTERN         every unit's label; {n}, {address}, {model}, {uid}\n"
               "  --footprint MODEL=N     slots a model takes (a receiver card takes none "
               "unless given)\n"
               "  --port PATH             this unit (repeatable); --port-dir DIR: every port "
               "in DIR\n"
               "  --all                   also every other attached supported unit\n"
               "  --watch                 provision units as they appear, until Ctrl-C\n"
               "  --dry-run               identify and show addresses and labels, write "
               "nothing\n"
               "  --again                 also units the log shows as provisioned\n"
               "  --record-dir DIR        save each passed unit's settings as DIR/UID.json\n"
               "Provisioning exits 0 when every unit passed (or was provisioned before), 1 when "
               "one\n"
               "failed, 3 when no supported unit was found.\n"
               "\n"
               "Exit codes (when several apply, the first of 2, 4, 3, 1 wins):\n"
               "  0  done, and the unit matches (also: list found nothing; apply --dry-run has "
               "nothing to write)\n"
               "  1  a value differs (diff, apply --dry-run) or did not take (set, apply)\n"
               "  2  usage error: unknown command or option, bad KEY=VALUE, unknown or read-only "
               "key,\n"
               "     --port with --simulate, reset without --yes, a selection that matches no "
               "key\n"
               "     (or none of the file), a KEY given twice, set values that end past slot "
               "512\n"
               "  3  no unit: the port does not exist, cannot be opened, never answers or holds "
               "no\n"
               "     supported model; the unit stopped answering; a key read as \"no value\"\n"
               "  4  a file that cannot be used: unreadable, unwritable, not a settings file, a "
               "newer\n"
               "     format version, another family, a malformed value, values that end past "
               "slot 512;\n"
               "     save onto something that is not a regular file\n"
               "\n"
               "Keys, values and the file format: vantelo-cli(1).\n")
        .arg(catalogue::modelList());
}

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
