// The rig record at the size of a large rig: 10,000 units holding a slot each and 100,000
// results (1,000 and 10,000 with --quick), on a SQLite file and on a throwaway PostgreSQL server.
// Times "record units" (every held slot) and "record map" (one universe), in-process and as the
// command, and ends with a Markdown table of the figures and their goals; exits 1 when a run
// went wrong, not when a goal is missed.
#include "BenchStats.h"
#include "record/Record.h"
#include "support/PgServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>

namespace {

int unitCount = 10000;
constexpr int resultsPerUnit = 10;
constexpr int perUniverse = 500;

bool fill(QSqlDatabase &db)
{
    QSqlQuery(db).exec(QStringLiteral("BEGIN"));
    QSqlQuery unit(db), slot(db), result(db);
    unit.prepare(QStringLiteral("INSERT INTO units (uid, model, family, first_seen, last_seen) "
                                "VALUES (?, '7146', '714x', '2026-01-01T00:00:00Z', "
                                "'2026-01-01T00:00:00Z')"));
    slot.prepare(QStringLiteral("INSERT INTO slots (uuid, universe, address, footprint, label, "
                                "unit_uid) VALUES (?, ?, ?, 1, ?, ?)"));
    result.prepare(QStringLiteral(
        "INSERT INTO results (unit_uid, slot_uuid, station, time, template, template_sha256, "
        "universe, address, footprint, label, settings, result) VALUES (?, ?, 'bench', ?, "
        "'t.json', 'ab', ?, ?, 1, ?, '{\"dmx.address\": 1}', ?)"));
    for (int i = 0; i < unitCount; ++i) {
        const QString uid = QStringLiteral("4B56%1").arg(i, 8, 16, QLatin1Char('0')).toUpper();
        const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        const int universe = i / perUniverse + 1, address = i % perUniverse + 1;
        const QString label = QStringLiteral("Unit %1").arg(i);
        unit.addBindValue(uid);
        slot.addBindValue(uuid);
        slot.addBindValue(universe);
        slot.addBindValue(address);
        slot.addBindValue(label);
        slot.addBindValue(uid);
        if (!unit.exec() || !slot.exec()) {
            std::fprintf(stderr, "%s\n",
                         qPrintable(unit.lastError().text() + slot.lastError().text()));
            return false;
        }
        for (int r = 0; r < resultsPerUnit; ++r) {
            result.addBindValue(uid);
            result.addBindValue(uuid);
            result.addBindValue(
                QStringLiteral("2026-01-%1T00:00:00Z").arg(r + 1, 2, 10, QLatin1Char('0')));
            result.addBindValue(universe);
            result.addBindValue(address);
            result.addBindValue(label);
            result.addBindValue(r % 3 == 1 ? QStringLiteral("FAIL") : QStringLiteral("PASS"));
            if (!result.exec()) {
                std::fprintf(stderr, "%s\n", qPrintable(result.lastError().text()));
                return false;
            }
        }
    }
    return QSqlQuery(db).exec(QStringLiteral("COMMIT"));
}

// The table's rows, as they are measured.
QStringList rows;
bool failed = false;

// Median and slowest of repeated runs, in milliseconds; a row of the table when goalMs is given.
template <typename F>
void timed(const char *engine, const char *what, int runs, F &&work, double goalMs = 0)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        const auto start = benchstats::Clock::now();
        if (!work()) {
            failed = true;
            return (void)std::printf("%-9s %-34s FAILED\n", engine, what);
        }
        samples.push_back(benchstats::microsecondsSince(start) / 1000.0);
    }
    const double median = benchstats::median(samples);
    std::printf("%-9s %-34s median %7.1f ms  max %7.1f ms  (%d runs)\n", engine, what, median,
                *std::max_element(samples.begin(), samples.end()), runs);
    if (goalMs > 0) {
        rows.append(
            QStringLiteral("| %1, %2 units and %3 results: %4 | %5 ms (max %6) | < %7 ms | %8 |")
                .arg(QLatin1String(engine))
                .arg(unitCount)
                .arg(unitCount * resultsPerUnit)
                .arg(QLatin1String(what))
                .arg(median, 0, 'f', 1)
                .arg(*std::max_element(samples.begin(), samples.end()), 0, 'f', 1)
                .arg(goalMs)
                .arg(QLatin1String(benchstats::verdict(median < goalMs))));
    }
}

bool measure(const char *engine, const QString &url, const QString &ownerUrl)
{
    {
        record::Record init;
        if (!init.init(ownerUrl)) {
            std::fprintf(stderr, "%s\n", qPrintable(init.errorString()));
            return false;
        }
    }
    {
        // The bulk rows go in as the owner over a plain connection of their own.
        QString why;
        const record::Location where = *record::parseUrl(ownerUrl, &why);
        QSqlDatabase db = QSqlDatabase::addDatabase(
            where.engine == record::Engine::Sqlite ? "QSQLITE" : "QPSQL", engine);
        db.setDatabaseName(where.engine == record::Engine::Sqlite ? where.path : where.database);
        db.setHostName(where.host);
        db.setUserName(where.user);
        db.setPassword(where.password);
        const auto start = benchstats::Clock::now();
        if (!db.open() || !fill(db))
            return false;
        std::printf("%-9s filled with %d units and %d results in %.1f s\n", engine, unitCount,
                    unitCount * resultsPerUnit, benchstats::microsecondsSince(start) / 1e6);
        QSqlQuery(db).exec(QStringLiteral("ANALYZE"));
        db.close();
    }
    QSqlDatabase::removeDatabase(engine);
    record::Record record;
    if (!record.open(url))
        return false;
    timed(engine, "units (in-process, every unit)", 20, [&] {
        const auto held = record.units(std::nullopt);
        return held && held->size() == unitCount;
    });
    timed(engine, "map of universe 2 (in-process)", 20, [&] {
        const auto map = record.map(2);
        return map && map->held.size() == perUniverse;
    });
    const QString cli = QCoreApplication::applicationDirPath() + "/../cli/vantelo-cli";
    const auto command = [&](const QStringList &arguments) {
        QProcess process;
        process.start(cli, arguments);
        return process.waitForFinished(60000) && process.exitCode() == 0;
    };
    timed(
        engine, "vantelo-cli record units", 5,
        [&] {
            return command({"record", "units", "--record", url});
        },
        200);
    timed(
        engine, "vantelo-cli record units --json", 5,
        [&] {
            return command({"record", "units", "--json", "--record", url});
        },
        200);
    timed(
        engine, "vantelo-cli record map --universe 2", 5,
        [&] {
            return command({"record", "map", "--universe", "2", "--record", url});
        },
        200);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--quick")))
        unitCount = 1000;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("rig.db"));
    if (!measure("sqlite", file, file))
        return 1;
    PgServer server;
    QString why;
    const QString url = server.start(&why) ? server.freshDatabase(&why) : QString();
    if (url.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    if (!measure("postgres", url, url))
        return 1;
    std::printf("\n## Rig record (medians; the command as a process of its own)\n\n"
                "| Figure | Measured | Goal | Met |\n|---|---|---|---|\n%s\n",
                qPrintable(rows.join(QLatin1Char('\n'))));
    std::fflush(stdout);
    return failed ? 1 : 0;
}
