#include "cli/Cli.h"

#include "cli/OptionScan.h"

#include "Version.h"
#include "cli/Provision.h"
#include "core/SimDevice.h"
#include "link/DeviceSession.h"
#include "link/DeviceSettings.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "link/SettingsApply.h"
#include "link/SettingsFile.h"
#include "server/PtyServer.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>

#include <memory>

namespace cli {

namespace {

// ---- The command line ----------------------------------------------------------------------

struct Options
{
    QString command;
    QStringList arguments;
    QString port;
    QString simulate;
    std::optional<int> seed;
    QString uid;
    QStringList only;
    QStringList except;
    bool json = false;
    bool dryRun = false;
    bool yes = false;
    bool help = false;
    bool version = false;
    QStringList given; // the options as named, for the checks of which command takes which
};

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

// Parses the words; empty when they are usable, else the one-line reason.
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
        if (name == QLatin1String("--seed")) {
            bool ok = false;
            const int seed = value.toInt(&ok);
            if (!ok || seed < 0)
                return QStringLiteral("--seed needs a whole number from 0");
            options.seed = seed;
            continue;
        }
        QString &target = name == QLatin1String("--port")       ? options.port
                          : name == QLatin1String("--simulate") ? options.simulate
                                                                : options.uid;
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
    if (!options.port.isEmpty() && !options.simulate.isEmpty())
        return QStringLiteral("--port and --simulate exclude each other");
    if ((options.seed || !options.uid.isEmpty()) && options.simulate.isEmpty())
        return QStringLiteral("--seed and --uid need --simulate");
    if (!options.simulate.isEmpty() && !sim::SimDevice::isKnownModel(options.simulate)) {
        return QStringLiteral("unknown model '%1' (one of %2)")
            .arg(options.simulate, catalogue::modelList());
    }
    static const QRegularExpression uidForm(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    if (!options.uid.isEmpty() && !uidForm.match(options.uid).hasMatch())
        return QStringLiteral("--uid needs twelve hexadecimal digits");

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

// ---- Keys and selections -------------------------------------------------------------------

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

// The keys of the universe that the options select, in its order. The universe is a family's
// keys; where: "of family 714x" or "of any family", for the refusal.
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

// ---- Results -------------------------------------------------------------------------------

int rank(int code)
{
    switch (code) {
    case Usage:
        return 4;
    case BadFile:
        return 3;
    case NoUnit:
        return 2;
    case Differs:
        return 1;
    default:
        return 0;
    }
}

// Collects the exit code, the errors and the JSON document of one run.
class Context
{
public:
    Context(QTextStream &out, QTextStream &err, const Options &options)
        : m_out(out), m_err(err), m_options(options)
    {
    }

    void raise(int code)
    {
        if (rank(code) > rank(m_code))
            m_code = code;
    }
    void fail(int code, const QString &line)
    {
        m_err << "vantelo-cli: " << line << '\n';
        m_errors.append(line);
        raise(code);
    }
    void note(const QString &line)
    {
        m_err << "vantelo-cli: note: " << line << '\n';
        m_notes.append(line);
    }
    // A line of the human-readable result; none with --json.
    void print(const QString &line)
    {
        if (!m_options.json)
            m_out << line << '\n';
    }
    int code() const { return m_code; }
    bool failed() const { return m_code != Done && m_code != Differs; }

    int finish()
    {
        if (m_options.json && m_code != Usage) {
            json[QStringLiteral("exit")] = m_code;
            json[QStringLiteral("errors")] = QJsonArray::fromStringList(m_errors);
            if (!m_notes.isEmpty())
                json[QStringLiteral("notes")] = QJsonArray::fromStringList(m_notes);
            m_out << QJsonDocument(json).toJson(QJsonDocument::Indented);
        }
        m_out.flush();
        m_err.flush();
        return m_code;
    }

    QJsonObject json;

private:
    QTextStream &m_out;
    QTextStream &m_err;
    const Options &m_options;
    int m_code = Done;
    QStringList m_errors;
    QStringList m_notes;
};

QString shown(const settings::Setting &setting, const std::optional<settings::Value> &value,
              const QString &words = QString())
{
    if (!value)
        return QStringLiteral("(no value: '%1')").arg(words);
    return settings::toText(setting, *value);
}

QJsonValue jsonOf(const settings::Setting &setting, const std::optional<settings::Value> &value)
{
    return value ? settings::toJson(setting, *value) : QJsonValue(QJsonValue::Null);
}

// Rows of words as aligned columns.
void printTable(Context &context, const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = qMax(widths[i], row.at(i).size());
        }
    }
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row.at(i).leftJustified(widths.at(i) + 2) : row.at(i);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        context.print(line);
    }
}

QString noValueLine(const QString &key, const QString &words)
{
    return QStringLiteral("%1: the unit's answer held no value ('%2')").arg(key, words);
}

// ---- The unit ------------------------------------------------------------------------------

struct Unit
{
    // Declared before the channel so that it outlives it.
    std::unique_ptr<sim::PtyServer> simulator;
    Serial serial;
    QString port;
    session::Result session;

    ~Unit() { serial.close(); }
    Family family() const { return session.info->family; }
};

QString portPath(const PortInfo &port)
{
    return port.systemLocation.isEmpty() ? port.portName : port.systemLocation;
}

bool isSupported(const PortInfo &port)
{
    return port.hasVendorIdentifier && port.hasProductIdentifier &&
           catalogue::isSupportedUsbDevice(port.vendorIdentifier, port.productIdentifier);
}

// The system's ports of the maker, each unit once (a node and its by-id link are one unit).
QList<PortInfo> makerPorts()
{
    QList<PortInfo> ports;
    QList<quint64> devices;
    const QList<PortInfo> all = PortSource::availablePorts();
    for (const PortInfo &port : all) {
        if (!port.hasVendorIdentifier || port.vendorIdentifier != catalogue::usbVendorId)
            continue;
        if (port.deviceNumber != 0 && devices.contains(port.deviceNumber))
            continue;
        devices.append(port.deviceNumber);
        ports.append(port);
    }
    return ports;
}

bool startSimulator(const Options &options, Unit &unit, Context &context)
{
    unit.simulator = std::make_unique<sim::PtyServer>(options.simulate);
    if (options.seed)
        unit.simulator->setSeed(*options.seed);
    if (!options.uid.isEmpty())
        unit.simulator->setUid(options.uid.toUpper());
    QString error;
    if (!unit.simulator->start(&error)) {
        context.fail(NoUnit, QStringLiteral("the simulated unit did not start: %1").arg(error));
        return false;
    }
    unit.port = unit.simulator->portPath();
    return true;
}

bool choosePort(const Options &options, Unit &unit, Context &context)
{
    if (!options.simulate.isEmpty())
        return startSimulator(options, unit, context);
    if (!options.port.isEmpty()) {
        unit.port = options.port;
        return true;
    }
    QStringList supported;
    for (const PortInfo &port : makerPorts()) {
        if (isSupported(port))
            supported.append(portPath(port));
    }
    if (supported.size() == 1) {
        unit.port = supported.first();
        return true;
    }
    if (supported.isEmpty()) {
        context.fail(NoUnit, QStringLiteral("no supported unit is attached"));
    } else {
        context.fail(NoUnit, QStringLiteral("%1 supported units are attached (%2); choose one "
                                            "with --port")
                                 .arg(supported.size())
                                 .arg(supported.join(QLatin1String(", "))));
    }
    return false;
}

bool connectUnit(const Options &options, Unit &unit, Context &context)
{
    if (!choosePort(options, unit, context))
        return false;
    unit.session = session::connect(unit.serial, unit.port);
    // Identification gives up after 100 ms without a byte; a unit still busy (just plugged in,
    // or its host under load) gets a second chance before it counts as silent.
    if (unit.session.outcome == session::Outcome::Silent) {
        unit.serial.close();
        unit.session = session::connect(unit.serial, unit.port);
    }
    if (unit.session.ready()) {
        context.json[QStringLiteral("port")] = unit.port;
        context.json[QStringLiteral("model")] = unit.session.model;
        return true;
    }
    const bool missing = unit.session.open == session::OpenResult::Failed &&
                         unit.port.startsWith(QLatin1Char('/')) && !QFileInfo::exists(unit.port);
    context.fail(
        NoUnit, QStringLiteral("%1: %2").arg(unit.port, missing ? QStringLiteral("no such port")
                                                                : session::describe(unit.session)));
    return false;
}

void unitLost(Context &context, const QString &key)
{
    context.fail(NoUnit, QStringLiteral("the unit stopped answering (at %1)").arg(key));
}

// ---- Commands ------------------------------------------------------------------------------

// One row of the list: what the port holds, or why it cannot say.
void listRow(const PortInfo &port, QVector<QStringList> &rows, QJsonArray &list)
{
    const QString path = portPath(port);
    QString status;
    QJsonValue model;
    if (isSupported(port)) {
        // Only the maker's supported products are asked anything; another device of the same
        // vendor is not sent a command it may take for something else.
        Serial serial;
        const session::Result result = session::connect(serial, path);
        serial.close();
        status = session::describe(result);
        if (result.ready())
            model = result.model;
    } else {
        status = QStringLiteral("not supported (USB product 0x%1)")
                     .arg(port.productIdentifier, 4, 16, QLatin1Char('0'));
    }
    rows.append({path, status, port.serialNumber});
    list.append(QJsonObject{
        {"port", path}, {"model", model}, {"status", status}, {"serial", port.serialNumber}});
}

void listPorts(const Options &options, Context &context)
{
    QVector<QStringList> rows;
    QJsonArray list;
    if (!options.port.isEmpty() || !options.simulate.isEmpty()) {
        // The one named port, taken as a supported unit's; a simulated unit lives as long as
        // this scope.
        Unit unit;
        if (!choosePort(options, unit, context))
            return;
        PortInfo port;
        port.portName = unit.port;
        port.hasVendorIdentifier = port.hasProductIdentifier = true;
        port.vendorIdentifier = PortSource::extraPortVendorId;
        port.productIdentifier = PortSource::extraPortProductId;
        listRow(port, rows, list);
    } else {
        for (const PortInfo &port : makerPorts())
            listRow(port, rows, list);
    }
    if (rows.isEmpty() && !options.json)
        context.note(QStringLiteral("no serial port of the maker found"));
    printTable(context, rows);
    context.json[QStringLiteral("ports")] = list;
}

void info(Unit &unit, Context &context)
{
    const ModelInfo &model = *unit.session.info;
    QVector<QPair<QString, QString>> fields = {
        {QStringLiteral("model"), unit.session.model},
        {QStringLiteral("description"), model.name},
        {QStringLiteral("family"), catalogue::familyName(model.family)},
    };
    const QStringList keys = {"identity.software", "identity.boot", "identity.uid", "device.label"};
    const QStringList names = {"software", "boot", "uid", "label"};
    for (int i = 0; i < keys.size(); ++i) {
        const settings::Reading reading =
            settings::read(unit.serial, *settings::find(model.family, keys.at(i)));
        if (!reading.sent || !unit.serial.isOpen()) {
            unitLost(context, keys.at(i));
            return;
        }
        fields.append({names.at(i), reading.value ? reading.value->toString() : reading.words});
    }
    for (const auto &field : qAsConst(fields)) {
        context.print(field.first + QLatin1Char(' ') + field.second);
        context.json[field.first] = field.second;
    }
}

// Reads the keys and prints "key value" lines; used by get and after reset.
void printKeys(Unit &unit, const QStringList &keys, Context &context)
{
    QJsonObject values;
    for (const QString &key : keys) {
        const settings::Setting &setting = *settings::find(unit.family(), key);
        const settings::Reading reading = settings::read(unit.serial, setting);
        if (!reading.sent || !unit.serial.isOpen()) {
            unitLost(context, key);
            break;
        }
        values[key] = jsonOf(setting, reading.value);
        if (!reading.value) {
            context.fail(NoUnit, noValueLine(key, reading.words));
            continue;
        }
        context.print(key + QLatin1Char(' ') + settings::toText(setting, *reading.value));
    }
    context.json[QStringLiteral("settings")] = values;
}

struct Assignment
{
    QString key;
    QString text;
};

// KEY=VALUE words, checked against every family before the unit is known (and against the
// unit's family once it is).
QVector<Assignment> assignments(const QStringList &words, std::optional<Family> family,
                                Context &context)
{
    QVector<Assignment> out;
    for (const QString &word : words) {
        const int equals = word.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            context.fail(Usage, QStringLiteral("'%1' is not KEY=VALUE").arg(word));
            continue;
        }
        const Assignment assignment{word.left(equals), word.mid(equals + 1)};
        const settings::Setting *setting = nullptr;
        for (Family f : catalogue::families()) {
            if (!setting && (!family || f == *family))
                setting = settings::find(f, assignment.key);
        }
        if (!setting) {
            context.fail(Usage, QStringLiteral("%1 is not a key%2")
                                    .arg(assignment.key, family ? QStringLiteral(" of family ") +
                                                                      catalogue::familyName(*family)
                                                                : QString()));
            continue;
        }
        QString why;
        const auto value = setting->isReadOnly()
                               ? std::nullopt
                               : settings::fromText(*setting, assignment.text, &why);
        if (value)
            why = settings::refusal(*setting, *value);
        if (setting->isReadOnly()) {
            context.fail(Usage, QStringLiteral("%1 is read-only").arg(assignment.key));
            continue;
        }
        if (!why.isEmpty()) {
            context.fail(Usage, QStringLiteral("%1: %2").arg(assignment.key, why));
            continue;
        }
        out.append(assignment);
    }
    return out;
}

void setKeys(Unit &unit, const QVector<Assignment> &list, Context &context)
{
    for (const Assignment &assignment : list) {
        const settings::Setting &setting = *settings::find(unit.family(), assignment.key);
        const settings::Value value = *settings::fromText(setting, assignment.text, nullptr);
        const settings::WriteResult result = settings::write(unit.serial, setting, value);
        if (!result.after.sent || !unit.serial.isOpen()) {
            unitLost(context, assignment.key);
            return;
        }
        if (!result.after.value) {
            context.fail(NoUnit, noValueLine(assignment.key, result.after.words));
            continue;
        }
        context.print(assignment.key + QLatin1Char(' ') +
                      settings::toText(setting, *result.after.value));
        if (!settings::sameValue(setting, *result.after.value, value)) {
            context.fail(Differs, QStringLiteral("%1 did not take: the unit holds %2")
                                      .arg(assignment.key, shown(setting, result.after.value)));
        }
    }
}

void save(Unit &unit, settingsfile::Writer &writer, const QString &path, Context &context)
{
    const settingsapply::Snapshot shot = settingsapply::snapshot(
        unit.serial, unit.session.model, unit.family(), QDateTime::currentDateTime());
    for (const settingsapply::Snapshot::Unread &unread : shot.noValue)
        context.fail(NoUnit, noValueLine(unread.key, unread.words));
    if (shot.lost)
        context.fail(NoUnit, QStringLiteral("the unit stopped answering"));
    if (!shot.complete()) {
        context.fail(NoUnit, QStringLiteral("%1 was not written").arg(path));
        return;
    }
    QString why;
    if (!writer.commit(shot.contents, &why)) {
        context.fail(BadFile, why);
        return;
    }
    context.print(QStringLiteral("%1: %2 settings of the %3 (family %4)")
                      .arg(path)
                      .arg(shot.contents.settings.size())
                      .arg(unit.session.model, catalogue::familyName(unit.family())));
}

// The file's entries that the options select.
QVector<settingsfile::Entry> chosenEntries(const settingsfile::Contents &contents,
                                           const QStringList &selected)
{
    QVector<settingsfile::Entry> out;
    for (const settingsfile::Entry &entry : contents.settings) {
        if (selected.contains(entry.setting->key))
            out.append(entry);
    }
    return out;
}

// Reads the unit for diff and apply; false when the comparison cannot be trusted.
bool readPlan(Unit &unit, const QVector<settingsfile::Entry> &wanted, settingsapply::Plan &plan,
              Context &context)
{
    plan = settingsapply::plan(unit.serial, unit.family(), wanted);
    for (const settingsapply::Row &row : plan.rows) {
        if (!row.unit)
            context.fail(NoUnit, noValueLine(row.setting->key, row.unitWords));
    }
    // The plan holds the rows read before the loss; the next key is where it happened.
    if (plan.lost)
        unitLost(context, wanted.at(plan.rows.size()).setting->key);
    return plan.complete();
}

void printDifferences(const settingsapply::Plan &plan, const QString &verb, Context &context)
{
    QVector<QStringList> rows = {{QStringLiteral("KEY"), QStringLiteral("UNIT"), verb}};
    QJsonArray list;
    for (const settingsapply::Row &row : plan.rows) {
        if (!row.differs())
            continue;
        rows.append({row.setting->key, shown(*row.setting, row.unit, row.unitWords),
                     settings::toText(*row.setting, row.wanted)});
        list.append(QJsonObject{{"key", row.setting->key},
                                {"unit", jsonOf(*row.setting, row.unit)},
                                {"file", settings::toJson(*row.setting, row.wanted)}});
    }
    if (rows.size() > 1)
        printTable(context, rows);
    context.json[QStringLiteral("differences")] = list;
    if (!list.isEmpty())
        context.raise(Differs);
}

void diff(Unit &unit, const settingsfile::Contents &file,
          const QVector<settingsfile::Entry> &wanted, Context &context)
{
    settingsapply::Plan plan;
    readPlan(unit, wanted, plan, context);
    printDifferences(plan, QStringLiteral("FILE"), context);
    if (plan.lost || file.identity.uid.isEmpty())
        return;
    const settings::Reading uid =
        settings::read(unit.serial, *settings::find(unit.family(), QStringLiteral("identity.uid")));
    if (!uid.sent || !unit.serial.isOpen()) {
        unitLost(context, QStringLiteral("identity.uid"));
        return;
    }
    if (uid.value && uid.value->toString() != file.identity.uid) {
        context.note(QStringLiteral("the unit's RDM UID %1 is not the file's %2")
                         .arg(uid.value->toString(), file.identity.uid));
    }
}

void apply(Unit &unit, const QVector<settingsfile::Entry> &wanted, bool dryRun, Context &context)
{
    using settingsapply::Status;
    context.json[QStringLiteral("dry_run")] = dryRun;
    settingsapply::Plan plan;
    // Nothing is written to a unit that could not be read whole.
    if (!readPlan(unit, wanted, plan, context))
        return;
    if (dryRun) {
        printDifferences(plan, QStringLiteral("TO WRITE"), context);
        return;
    }
    const settingsapply::Report report =
        settingsapply::execute(unit.serial, plan, plan.differing());
    if (!report.refused.isEmpty()) {
        context.fail(BadFile, report.refused);
        return;
    }
    QVector<QStringList> rows = {
        {QStringLiteral("KEY"), QStringLiteral("RESULT"), QStringLiteral("UNIT NOW")}};
    QJsonArray list;
    for (const settingsapply::Result &r : report.rows) {
        const bool read = r.status != Status::NotWritten && r.status != Status::NotVerified;
        const QString now = read ? shown(*r.setting, r.after, r.afterWords) : QString();
        rows.append({r.setting->key, settingsapply::statusName(r.status), now});
        list.append(QJsonObject{{"key", r.setting->key},
                                {"result", settingsapply::statusName(r.status)},
                                {"before", jsonOf(*r.setting, r.before)},
                                {"file", settings::toJson(*r.setting, r.wanted)},
                                {"now", read ? jsonOf(*r.setting, r.after) : QJsonValue()}});
        if (r.status != Status::Failed)
            continue;
        if (!r.after) {
            context.fail(NoUnit, noValueLine(r.setting->key, r.afterWords));
        } else {
            context.fail(Differs, QStringLiteral("%1 did not take: the unit holds %2, the file "
                                                 "says %3")
                                      .arg(r.setting->key, shown(*r.setting, r.after),
                                           settings::toText(*r.setting, r.wanted)));
        }
    }
    if (rows.size() > 1)
        printTable(context, rows);
    context.json[QStringLiteral("keys")] = list;
    context.json[QStringLiteral("lost")] = report.lost;
    if (report.lost) {
        const QStringList verified = report.withStatus(Status::Written);
        unitLost(context, report.lostAt);
        context.fail(NoUnit, QStringLiteral("written and verified before the loss: %1 (%2 of %3 "
                                            "keys to write)")
                                 .arg(verified.isEmpty() ? QStringLiteral("none")
                                                         : verified.join(QLatin1String(", ")))
                                 .arg(verified.size())
                                 .arg(plan.differing().size()));
        context.json[QStringLiteral("written_and_verified")] = QJsonArray::fromStringList(verified);
    }
}

void reset(Unit &unit, Context &context)
{
    if (!settings::factoryReset(unit.serial) || !unit.serial.isOpen()) {
        unitLost(context, QStringLiteral("the factory reset"));
        return;
    }
    printKeys(unit, familyKeys(unit.family(), true), context);
}

int runCommand(const Options &options, Context &context)
{
    const QString &command = options.command;
    if (command == QLatin1String("list")) {
        listPorts(options, context);
        return context.code();
    }

    // Everything that can be checked without the unit is checked before it is opened.
    QString why;
    const bool getting = command == QLatin1String("get");
    const bool comparing = command == QLatin1String("diff") || command == QLatin1String("apply");
    if (getting || comparing) {
        select(everyKey(comparing), getting ? options.arguments : QStringList(), options,
               QStringLiteral("of any family"), &why);
        if (!why.isEmpty()) {
            context.fail(Usage, why);
            return context.code();
        }
    }
    QVector<Assignment> toSet;
    if (command == QLatin1String("set")) {
        toSet = assignments(options.arguments, std::nullopt, context);
        if (context.failed())
            return context.code();
    }
    std::optional<settingsfile::Contents> file;
    QStringList selected;
    settingsfile::Writer writer;
    if (comparing) {
        file = settingsfile::load(options.arguments.first(), &why);
        if (!file) {
            context.fail(BadFile, why);
            return context.code();
        }
        context.json[QStringLiteral("file")] = options.arguments.first();
        selected = select(familyKeys(file->family, true), {}, options,
                          QStringLiteral("of family ") + catalogue::familyName(file->family), &why);
        if (!why.isEmpty()) {
            context.fail(Usage, why);
            return context.code();
        }
    }
    if (command == QLatin1String("save") && !writer.open(options.arguments.first(), &why)) {
        context.fail(BadFile, why);
        return context.code();
    }

    Unit unit;
    if (!connectUnit(options, unit, context))
        return context.code();
    const QString familyText = QStringLiteral("of family ") + catalogue::familyName(unit.family());
    if (getting) {
        const QStringList keys =
            select(familyKeys(unit.family(), false), options.arguments, options, familyText, &why);
        if (why.isEmpty())
            printKeys(unit, keys, context);
        else
            context.fail(Usage, why);
    } else if (command == QLatin1String("set")) {
        toSet = assignments(options.arguments, unit.family(), context);
        if (!context.failed())
            setKeys(unit, toSet, context);
    } else if (command == QLatin1String("info")) {
        info(unit, context);
    } else if (command == QLatin1String("save")) {
        save(unit, writer, options.arguments.first(), context);
    } else if (command == QLatin1String("reset")) {
        reset(unit, context);
    } else if (comparing) {
        const QString refusal = settingsfile::familyRefusal(*file, unit.family());
        if (!refusal.isEmpty()) {
            context.fail(BadFile, refusal);
            return context.code();
        }
        const QVector<settingsfile::Entry> wanted = chosenEntries(*file, selected);
        if (command == QLatin1String("diff"))
            diff(unit, *file, wanted, context);
        else
            apply(unit, wanted, options.dryRun, context);
    }
    return context.code();
}

} // namespace

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
               "  provision TEMPLATE... --log FILE\n"
               "                          set up every unit found from its family's template, "
               "each\n"
               "                          with its own address and label; verify and log each\n"
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
               "  3  no unit: the port does not exist, cannot be opened, never answers or holds "
               "no\n"
               "     supported model; the unit stopped answering; a key read as \"no value\"\n"
               "  4  a file that cannot be used: unreadable, unwritable, not a settings file, a "
               "newer\n"
               "     format version, another family, a malformed value\n"
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
    Options options;
    const QString why = parseOptions(arguments, options);
    if (!why.isEmpty()) {
        err << "vantelo-cli: " << why << "\nTry 'vantelo-cli --help' for more information.\n";
        err.flush();
        return Usage;
    }
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
    Context context(out, err, options);
    context.json[QStringLiteral("command")] = options.command;
    runCommand(options, context);
    return context.finish();
}

} // namespace cli
