#include "cli/RecordCommands.h"

#include "cli/ExitCodes.h"
#include "cli/OptionScan.h"
#include "record/Record.h"
#include "record/RecordMap.h"
#include "record/Schema.h"
#include "station/ProvisionLog.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextStream>

#include <optional>

namespace cli {

namespace {

// vantelo-cli's exit codes (cli/Cli.h), by the names the record's commands use.
const QStringList recordValued = {"--record", "--universe", "--svg", "--station"};
const QStringList recordFlags = {"--json", "--help", "-h"};
// The other commands' valued options, so that "--port X record ..." finds the command.
const QStringList otherCommandsValued = {
    "--port", "--simulate", "--seed",          "--uid",       "--only",     "--except",
    "--log",  "--label",    "--start-address", "--footprint", "--port-dir", "--record-dir"};
const QStringList recordVerbs = {"init", "units", "history", "map", "import"};

struct RecordRequest
{
    QString verb;
    QStringList arguments;
    QString url;
    std::optional<int> universe;
    QString svg;
    QString station;
    bool json = false;
    bool help = false;
};

QString parseRecord(const QStringList &words, RecordRequest &request)
{
    const OptionScan scan = scanOptions(words, recordValued, recordFlags);
    if (!scan.unknown.isEmpty())
        return otherCommandsValued.contains(scan.unknown)
                   ? QStringLiteral("%1 does not go with record").arg(scan.unknown)
                   : QStringLiteral("unknown option '%1'").arg(scan.unknown);
    if (!scan.error.isEmpty())
        return scan.error;
    QStringList given;
    for (const OptionScan::Option &option : scan.options) {
        if (given.contains(option.name))
            return QStringLiteral("%1 can be given only once").arg(option.name);
        given.append(option.name);
        if (recordValued.contains(option.name) && option.value.isEmpty())
            return QStringLiteral("%1 needs a value").arg(option.name);
        if (option.name == QLatin1String("--record")) {
            request.url = option.value;
        } else if (option.name == QLatin1String("--svg")) {
            request.svg = option.value;
        } else if (option.name == QLatin1String("--station")) {
            request.station = option.value;
        } else if (option.name == QLatin1String("--universe")) {
            bool ok = false;
            request.universe = option.value.toInt(&ok);
            if (!ok || *request.universe < 1 || *request.universe > 63999)
                return QStringLiteral("--universe needs a number from 1 to 63999");
        }
    }
    request.json = given.contains(QLatin1String("--json"));
    request.help = given.contains(QLatin1String("--help"));
    if (request.help)
        return QString();
    if (scan.positional.isEmpty())
        return QStringLiteral("record needs one of: %1").arg(recordVerbs.join(QLatin1String(", ")));
    request.verb = scan.positional.first();
    request.arguments = scan.positional.mid(1);
    const QString &verb = request.verb;
    if (!recordVerbs.contains(verb))
        return QStringLiteral("unknown record command '%1'").arg(verb);
    const int count = request.arguments.size();
    if ((verb == QLatin1String("init") || verb == QLatin1String("units") ||
         verb == QLatin1String("map")) &&
        count > 0)
        return QStringLiteral("unexpected argument '%1'").arg(request.arguments.first());
    if (verb == QLatin1String("history") && count != 1)
        return QStringLiteral("record history needs one UID");
    if (verb == QLatin1String("import") && count == 0)
        return QStringLiteral("record import needs at least one LOG");
    if (verb == QLatin1String("map") && !request.universe)
        return QStringLiteral("record map needs --universe U");
    const struct
    {
        const char *option;
        bool allowed;
    } scopes[] = {
        {"--universe", verb == QLatin1String("units") || verb == QLatin1String("map")},
        {"--svg", verb == QLatin1String("map")},
        {"--station", verb == QLatin1String("import")},
        {"--json", verb != QLatin1String("import") && verb != QLatin1String("init")},
    };
    for (const auto &scope : scopes) {
        if (!scope.allowed && given.contains(QLatin1String(scope.option)))
            return QStringLiteral("%1 does not go with record %2").arg(scope.option, verb);
    }
    if (request.url.isEmpty())
        request.url = record::defaultUrl();
    if (request.url.isEmpty())
        return QStringLiteral("no record given (--record URL, or VANTELO_RECORD)");
    if (request.station.isEmpty())
        request.station = record::defaultStation();
    return QString();
}

// Rows of words as aligned columns.
void printTable(QTextStream &out, const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            widths.resize(qMax(widths.size(), i + 1));
            widths[i] = qMax(widths[i], row.at(i).size());
        }
    }
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row.at(i).leftJustified(widths.at(i) + 2) : row.at(i);
        out << line.trimmed() << '\n';
    }
}

QJsonObject slotJson(const record::HeldSlot &slot)
{
    return {{"uid", slot.uid},         {"model", slot.model},         {"universe", slot.universe},
            {"address", slot.address}, {"footprint", slot.footprint}, {"label", slot.label},
            {"station", slot.station}, {"time", slot.time},           {"slot", slot.slot}};
}

class Run
{
public:
    Run(const RecordRequest &request, QTextStream &out, QTextStream &err)
        : m_request(request), m_out(out), m_err(err)
    {
        m_json[QStringLiteral("command")] = QStringLiteral("record ") + request.verb;
    }

    int execute()
    {
        const QString &verb = m_request.verb;
        const bool ready = verb == QLatin1String("init") ? m_record.init(m_request.url)
                                                         : m_record.open(m_request.url);
        if (!ready)
            return failed();
        if (verb == QLatin1String("init")) {
            m_out << QStringLiteral("%1: the record's tables are at version %2\n")
                         .arg(m_record.redactedUrl())
                         .arg(record::schema::version);
        } else if (verb == QLatin1String("units")) {
            units();
        } else if (verb == QLatin1String("history")) {
            history();
        } else if (verb == QLatin1String("map")) {
            map();
        } else {
            import();
        }
        return finish();
    }

private:
    int failed() { return fail(RecordProblem, m_record.errorString()); }

    int fail(int code, const QString &line)
    {
        m_err << "vantelo-cli: " << line << '\n';
        m_errors.append(line);
        m_code = qMax(m_code, code);
        return finish();
    }

    int finish()
    {
        if (m_request.json) {
            m_json[QStringLiteral("exit")] = m_code;
            m_json[QStringLiteral("errors")] = QJsonArray::fromStringList(m_errors);
            // Straight to the stream's file when it has one: a large rig's document is not
            // converted to UTF-16 and back.
            const QByteArray document = QJsonDocument(m_json).toJson(QJsonDocument::Indented);
            m_out.flush();
            if (m_out.device())
                m_out.device()->write(document);
            else
                m_out << document;
        }
        m_out.flush();
        m_err.flush();
        return m_code;
    }

    void units()
    {
        const auto held = m_record.units(m_request.universe);
        if (!held) {
            failed();
            return;
        }
        // One form or the other: a large rig's rows are built once.
        if (m_request.json) {
            QJsonArray array;
            for (const record::HeldSlot &slot : *held)
                array.append(slotJson(slot));
            m_json[QStringLiteral("units")] = array;
            return;
        }
        QVector<QStringList> rows = {{"UID", "MODEL", "UNIVERSE", "ADDRESS", "FOOTPRINT", "LABEL",
                                      "STATION", "TIME", "SLOT"}};
        rows.reserve(held->size() + 1);
        for (const record::HeldSlot &slot : *held) {
            rows.append({slot.uid, slot.model, QString::number(slot.universe),
                         QString::number(slot.address), QString::number(slot.footprint), slot.label,
                         slot.station, slot.time, slot.slot});
        }
        printTable(m_out, rows);
    }

    void history()
    {
        const QString uid = m_request.arguments.first().toUpper();
        const auto entries = m_record.history(uid);
        if (!entries) {
            failed();
            return;
        }
        if (entries->isEmpty()) {
            fail(NoUnit, QStringLiteral("the record holds no result for %1").arg(uid));
            return;
        }
        QJsonArray array;
        for (const record::HistoryEntry &e : *entries) {
            const record::Placement &p = e.placement;
            array.append(QJsonObject{
                {"time", e.time},
                {"result", e.pass ? "PASS" : "FAIL"},
                {"station", e.station},
                {"template", e.templateName},
                {"template_sha256", e.templateSha256},
                {"universe", p.universe},
                {"address", p.address},
                {"footprint", p.footprint},
                {"label", p.label},
                {"slot", e.slot},
                {"reason", e.reason},
                {"settings", e.settings},
                {"changes", QJsonArray::fromStringList(e.changes)},
            });
            if (m_request.json)
                continue;
            m_out << QStringLiteral("%1  %2  universe %3 address %4+%5 label \"%6\"  station %7")
                         .arg(e.time, e.pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
                         .arg(p.universe)
                         .arg(p.address)
                         .arg(p.footprint)
                         .arg(p.label, e.station)
                  << (e.reason.isEmpty() ? QString() : QStringLiteral(": ") + e.reason) << '\n';
            for (const QString &change : e.changes)
                m_out << "    changed " << change << '\n';
        }
        m_json[QStringLiteral("uid")] = uid;
        m_json[QStringLiteral("results")] = array;
    }

    void map()
    {
        const auto map = m_record.map(*m_request.universe);
        if (!map) {
            failed();
            return;
        }
        QJsonArray spans;
        for (const record::MapSpan &span : record::mapSpans(*map)) {
            QJsonObject item{{"first", span.first}, {"last", span.last}};
            if (span.kind == record::MapSpan::Held) {
                item = slotJson(map->held.at(span.index));
                item[QStringLiteral("first")] = span.first;
                item[QStringLiteral("last")] = span.last;
            } else if (span.kind == record::MapSpan::Reserved) {
                const record::Reservation &r = map->reservations.at(span.index);
                item[QStringLiteral("station")] = r.station;
                item[QStringLiteral("lease_seconds")] = (r.leaseEndMs - map->nowMs) / 1000;
            }
            item[QStringLiteral("kind")] = QStringList{"held", "reserved", "free"}.at(span.kind);
            spans.append(item);
        }
        m_json[QStringLiteral("universe")] = map->universe;
        m_json[QStringLiteral("spans")] = spans;
        if (!m_request.json) {
            for (const QString &line : record::mapText(*map))
                m_out << line << '\n';
        }
        if (m_request.svg.isEmpty())
            return;
        QSaveFile file(m_request.svg);
        const QByteArray svg = record::mapSvg(*map);
        if (!file.open(QIODevice::WriteOnly) || file.write(svg) != svg.size() || !file.commit())
            fail(RecordProblem,
                 QStringLiteral("cannot write %1: %2").arg(m_request.svg, file.errorString()));
    }

    void import()
    {
        for (const QString &path : m_request.arguments) {
            QVector<record::LogRow> rows;
            QString why;
            if (!provision::readLogRows(path, rows, &why)) {
                fail(RecordProblem, why);
                continue;
            }
            const auto summary = m_record.importRows(rows, path, m_request.station);
            if (!summary) {
                failed();
                continue;
            }
            m_out << QStringLiteral("%1: %2 results added, %3 already in the record\n")
                         .arg(path)
                         .arg(summary->added)
                         .arg(summary->skipped);
            for (const QString &note : summary->notes)
                m_err << "vantelo-cli: note: " << note << '\n';
        }
    }

    const RecordRequest &m_request;
    QTextStream &m_out;
    QTextStream &m_err;
    record::Record m_record;
    QJsonObject m_json;
    QStringList m_errors;
    int m_code = Done;
};

} // namespace

int recordCommandAt(const QStringList &words)
{
    return commandAt(words, QStringLiteral("record"));
}

QString recordHelpText()
{
    return QStringLiteral(
        "Usage: vantelo-cli record COMMAND [ARGS] [--record URL]\n"
        "The rig record: every unit, the slot it holds and every provisioning result.\n"
        "\n"
        "Commands:\n"
        "  init                    create the record's tables, or upgrade them (the record's "
        "owner only)\n"
        "  units [--universe U]    every held slot: uid, model, universe, address, footprint, "
        "label,\n"
        "                          station, time, slot\n"
        "  history UID             every result of the unit, newest first, with what changed\n"
        "  map --universe U [--svg FILE]\n"
        "                          the universe's 512 slots: units, reservations, free gaps\n"
        "  import LOG... [--station NAME]\n"
        "                          provisioning logs into the record; rows it holds are "
        "skipped\n"
        "\n"
        "Options:\n"
        "  --record URL            FILE, sqlite:FILE or "
        "postgresql://[user@]host[:port]/db[?sslmode=...]\n"
        "                          (default: $VANTELO_RECORD; the password may come from "
        "PGPASSWORD\n"
        "                          or ~/.pgpass and is never shown)\n"
        "  --json                  units, history, map: one JSON document on standard output\n"
        "\n"
        "Exit codes: 0 done; 2 usage error; 3 history: no result for the UID; 4 the record "
        "cannot\n"
        "be used (unreachable, login refused, no write rights, no tables or another schema "
        "version),\n"
        "or a log or picture file cannot be read or written.\n");
}

int recordCommand(const QStringList &words, QTextStream &out, QTextStream &err)
{
    RecordRequest request;
    const QString why = parseRecord(words, request);
    if (!why.isEmpty()) {
        err << "vantelo-cli: " << why
            << "\nTry 'vantelo-cli record --help' for more information.\n";
        err.flush();
        return Usage;
    }
    if (request.help) {
        out << recordHelpText();
        out.flush();
        return Done;
    }
    return Run(request, out, err).execute();
}

} // namespace cli
