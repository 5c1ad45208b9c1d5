#include "cli/Commands.h"

#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/UnitAccess.h"
#include "files/SettingsApply.h"
#include "files/SettingsFile.h"

#include <QHash>
#include <QJsonArray>

namespace cli {

namespace {

const QString anyFamily = QStringLiteral("of any family");

QString ofFamily(Family family)
{
    return QStringLiteral("of family ") + catalogue::familyName(family);
}

// The keys that the options select; none, with the usage error in the context, when the
// selection is refused.
QStringList selected(const QStringList &universe, const QStringList &base, const Options &options,
                     const QString &where, Context &context)
{
    QString why;
    const QStringList keys = select(universe, base, options, where, &why);
    if (keys.isEmpty())
        context.fail(Usage, why);
    return keys;
}

// Reads one key; none, with the loss in the context, when the unit stopped answering.
std::optional<settings::Reading> readKey(Unit &unit, const QString &key, Context &context)
{
    const settings::Reading reading =
        settings::read(unit.serial, *settings::find(unit.family(), key));
    if (!session::unitLost(unit.serial))
        return reading;
    unitLost(context, key);
    return std::nullopt;
}

// One row of the list: what the port holds, or why it cannot say.
void listRow(const PortInfo &port, QVector<QStringList> &rows, QJsonArray &list)
{
    const QString path = port.path();
    QString status;
    QJsonValue model;
    if (port.isSupported()) {
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
    context.printTable(rows);
    context.json[QStringLiteral("ports")] = list;
}

void info(const Options &options, Context &context)
{
    Unit unit;
    if (!connectUnit(options, unit, context))
        return;
    const ModelInfo &model = *unit.session.info;
    QVector<QPair<QString, QString>> fields = {
        {QStringLiteral("model"), unit.session.model},
        {QStringLiteral("description"), model.name},
        {QStringLiteral("family"), catalogue::familyName(model.family)},
    };
    const QStringList keys = {"identity.software", "identity.boot", "identity.uid", "device.label"};
    const QStringList names = {"software", "boot", "uid", "label"};
    for (int i = 0; i < keys.size(); ++i) {
        const auto reading = readKey(unit, keys.at(i), context);
        if (!reading)
            return;
        fields.append({names.at(i), reading->value ? reading->value->toString() : reading->words});
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
        const auto reading = readKey(unit, key, context);
        if (!reading)
            break;
        const settings::Setting &setting = *settings::find(unit.family(), key);
        values[key] = jsonOf(setting, reading->value);
        if (!reading->value) {
            context.fail(NoUnit, noValueLine(key, reading->words));
            continue;
        }
        context.print(key + QLatin1Char(' ') + settings::toText(setting, *reading->value));
    }
    context.json[QStringLiteral("settings")] = values;
}

void get(const Options &options, Context &context)
{
    if (selected(everyKey(false), options.arguments, options, anyFamily, context).isEmpty())
        return;
    Unit unit;
    if (!connectUnit(options, unit, context))
        return;
    const QStringList keys = selected(familyKeys(unit.family(), false), options.arguments, options,
                                      ofFamily(unit.family()), context);
    if (!keys.isEmpty())
        printKeys(unit, keys, context);
}

struct Assignment
{
    QString key;
    QString text;
};

// KEY=VALUE words, checked against every family before the unit is known (and against the
// unit's family once it is): each key's setting and the value it is written with.
QVector<settingsfile::Entry> assignments(const QStringList &words, std::optional<Family> family,
                                         Context &context)
{
    QVector<settingsfile::Entry> out;
    QStringList seen;
    for (const QString &word : words) {
        const int equals = word.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            context.fail(Usage, QStringLiteral("'%1' is not KEY=VALUE").arg(word));
            continue;
        }
        const Assignment assignment{word.left(equals), word.mid(equals + 1)};
        // Which of two values is meant cannot be told; the unit would end with the last.
        if (seen.contains(assignment.key)) {
            context.fail(Usage, QStringLiteral("%1 is given twice").arg(assignment.key));
            continue;
        }
        seen.append(assignment.key);
        const settings::Setting *setting = nullptr;
        for (Family f : catalogue::families()) {
            if (!setting && (!family || f == *family))
                setting = settings::find(f, assignment.key);
        }
        if (!setting) {
            context.fail(Usage,
                         QStringLiteral("%1 is not a key%2")
                             .arg(assignment.key,
                                  family ? QLatin1Char(' ') + ofFamily(*family) : QString()));
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
        out.append({setting, *value});
    }
    return out;
}

// Writes in the apply order, and only values that leave the unit within slot 512 together
// with what it holds; the unit's address and personality are read for that when either is set.
void setKeys(Unit &unit, const QVector<settingsfile::Entry> &list, Context &context)
{
    QVector<settingsfile::Entry> footprintEntries, others;
    for (const settingsfile::Entry &entry : list) {
        const bool footprintKey = entry.setting->key == QLatin1String("dmx.address") ||
                                  entry.setting->key == QLatin1String("dmx.personality");
        (footprintKey ? footprintEntries : others).append(entry);
    }
    settingsapply::Plan plan;
    if (!footprintEntries.isEmpty()) {
        plan = settingsapply::plan(unit.serial, unit.family(), footprintEntries);
        if (plan.lost) {
            unitLost(context, plan.lostAt);
            return;
        }
    }
    QStringList keys;
    for (const settingsfile::Entry &entry : others)
        plan.rows.append({entry.setting, entry.value, std::nullopt, QString()});
    for (const settingsapply::Row &row : qAsConst(plan.rows))
        keys.append(row.setting->key);
    const QString refused = settingsapply::slotRefusal(plan, keys);
    if (!refused.isEmpty()) {
        context.fail(Usage, refused);
        return;
    }
    for (const QString &key : settingsapply::inWriteOrder(plan, keys)) {
        const settingsapply::Row &row = plan.rows.at(keys.indexOf(key));
        const settings::Setting &setting = *row.setting;
        const settings::WriteResult result = settings::write(unit.serial, setting, row.wanted);
        if (session::unitLost(unit.serial)) {
            unitLost(context, key);
            return;
        }
        if (!result.after.value) {
            context.fail(NoUnit, noValueLine(key, result.after.words));
            continue;
        }
        context.print(key + QLatin1Char(' ') + settings::toText(setting, *result.after.value));
        if (!settings::sameValue(setting, *result.after.value, row.wanted)) {
            context.fail(Differs, QStringLiteral("%1 did not take: the unit holds %2")
                                      .arg(key, shown(setting, result.after.value)));
        }
    }
}

void set(const Options &options, Context &context)
{
    assignments(options.arguments, std::nullopt, context);
    if (context.failed())
        return;
    Unit unit;
    if (!connectUnit(options, unit, context))
        return;
    const QVector<settingsfile::Entry> toSet =
        assignments(options.arguments, unit.family(), context);
    if (!context.failed())
        setKeys(unit, toSet, context);
}

void save(const Options &options, Context &context)
{
    const QString &path = options.arguments.first();
    settingsfile::Writer writer;
    QString why;
    if (!writer.open(path, &why)) {
        context.fail(BadFile, why);
        return;
    }
    Unit unit;
    if (!connectUnit(options, unit, context))
        return;
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
    if (plan.lost)
        unitLost(context, plan.lostAt);
    return plan.complete();
}

// diff, and apply with or without --dry-run, when the unit already holds the file's values.
QString nothingToDo(int keys)
{
    return QStringLiteral("nothing to do: the unit holds the file's values (%1 key%2)")
        .arg(keys)
        .arg(keys == 1 ? QString() : QStringLiteral("s"));
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
        context.printTable(rows);
    else if (plan.complete())
        context.print(nothingToDo(plan.rows.size()));
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
    const auto uid = readKey(unit, QStringLiteral("identity.uid"), context);
    if (uid && uid->value && uid->value->toString() != file.identity.uid) {
        context.note(QStringLiteral("the unit's RDM UID %1 is not the file's %2")
                         .arg(uid->value->toString(), file.identity.uid));
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
    if (report.written.isEmpty() && report.allTaken())
        context.print(nothingToDo(report.rows.size()));
    else if (rows.size() > 1)
        context.printTable(rows);
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

// diff and apply.
void compare(const Options &options, Context &context)
{
    if (selected(everyKey(true), {}, options, anyFamily, context).isEmpty())
        return;
    const QString &path = options.arguments.first();
    QString why;
    const std::optional<settingsfile::Contents> file = settingsfile::load(path, &why);
    if (!file) {
        context.fail(BadFile, why);
        return;
    }
    context.json[QStringLiteral("file")] = path;
    const QStringList keys =
        selected(familyKeys(file->family, true), {}, options, ofFamily(file->family), context);
    if (keys.isEmpty())
        return;
    const QVector<settingsfile::Entry> wanted = chosenEntries(*file, keys);
    if (wanted.isEmpty() && !(options.only.isEmpty() && options.except.isEmpty())) {
        context.fail(Usage, QStringLiteral("the selection holds no key of the file"));
        return;
    }
    Unit unit;
    if (!connectUnit(options, unit, context))
        return;
    const QString refusal = settingsfile::familyRefusal(*file, unit.family());
    if (!refusal.isEmpty()) {
        context.fail(BadFile, refusal);
        return;
    }
    if (options.command == QLatin1String("diff"))
        diff(unit, *file, wanted, context);
    else
        apply(unit, wanted, options.dryRun, context);
}

void reset(const Options &options, Context &context)
{
    Unit unit;
    if (!connectUnit(options, unit, context))
        return;
    settings::factoryReset(unit.serial);
    if (session::unitLost(unit.serial)) {
        unitLost(context, QStringLiteral("the factory reset"));
        return;
    }
    printKeys(unit, familyKeys(unit.family(), true), context);
}

} // namespace

void runCommand(const Options &options, Context &context)
{
    using Command = void (*)(const Options &, Context &);
    static const QHash<QString, Command> commands = {
        {QStringLiteral("list"), listPorts}, {QStringLiteral("info"), info},
        {QStringLiteral("get"), get},        {QStringLiteral("set"), set},
        {QStringLiteral("save"), save},      {QStringLiteral("diff"), compare},
        {QStringLiteral("apply"), compare},  {QStringLiteral("reset"), reset},
    };
    commands.value(options.command)(options, context);
}

} // namespace cli
