// The provisioning station: many units at once must cost about as much as the slowest one, each
// unit must cost little more than its device's answers, and a station left running must not grow.
//
//   bench_station [--quick]
//
// 1. Eight simulated 7146 units with 5 ms device delay provisioned in one run, against one unit
//    alone (the station in this process, the units on pseudo-terminals served from this process).
// 2. One unit: the station's wall time, less the 100 ms of silence that ends identification,
//    against a raw replay of the same command lines on the same terminal from the same state.
// 3. vantelo-cli provision --watch as a process of its own, fed 200 units (24 with --quick) by
//    vantelo-sim in another process through its control lines, eight at a time; its resident
//    memory, threads and descriptors read from /proc before, during and after.
// 4. The rig record on a throwaway PostgreSQL server (a fresh database each run): the eight
//    units of 1. with the record against without, and three vantelo-cli provision processes of
//    eight units each into one universe of one record at once against one such process alone,
//    every held range checked against the others afterwards.
//
// Ends with a Markdown table of the figures and their goals; exits 1 when a run went wrong (a
// unit that did not pass, a process that failed), not when a goal is missed.

#include "BenchStats.h"
#include "RawPort.h"

#include "support/PgServer.h"

#include "files/SettingsApply.h"
#include "files/SettingsFile.h"
#include "link/Serial.h"
#include "record/Record.h"
#include "server/PtyServer.h"
#include "station/Provisioning.h"
#include "unit/ModelCatalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

bool failed = false;

void complain(const QString &text)
{
    std::fprintf(stderr, "bench_station: %s\n", qPrintable(text));
    failed = true;
}

// Simulated 7146 units in seed 2, reached through links in one folder.
struct Units
{
    Units(const QString &folder, int count, int delayMs, const QString &uidPrefix = "4B5600BB")
    {
        QDir().mkpath(folder);
        for (int i = 0; i < count; ++i) {
            auto unit = std::make_unique<sim::PtyServer>(QStringLiteral("7146"));
            unit->setUid(uidPrefix + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')));
            unit->setSeed(2);
            unit->setLatencyMs(delayMs);
            unit->setExtraLinks({QStringLiteral("%1/u%2").arg(folder).arg(i)});
            if (!unit->start())
                complain(QStringLiteral("a simulated unit did not start"));
            servers.push_back(std::move(unit));
        }
    }
    std::vector<std::unique_ptr<sim::PtyServer>> servers;
};

// Provisions every unit in the folder once; the wall time in ms from start() to finished(), and
// when the last unit was reported identified and finished (its result final and logged).
double provisionAll(const provision::Template &t, const QString &folder, const QString &log,
                    double *identifiedMs = nullptr, double *finishedMs = nullptr,
                    const QString &recordUrl = QString())
{
    provision::Setup setup;
    setup.templates = {t};
    setup.startAddress = 1;
    setup.labelPattern = QStringLiteral("Bench {n}");
    setup.logPath = log;
    setup.recordUrl = recordUrl;
    setup.stationName = QStringLiteral("bench");
    provision::Station station;
    QEventLoop loop;
    QObject::connect(&station, &provision::Station::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    QObject::connect(&station, &provision::Station::unitChanged, [&](const provision::Unit &unit) {
        if (identifiedMs && !unit.model.isEmpty() && unit.n == 0)
            *identifiedMs = clock.nsecsElapsed() / 1e6;
    });
    QObject::connect(&station, &provision::Station::unitFinished, [&] {
        if (finishedMs)
            *finishedMs = clock.nsecsElapsed() / 1e6;
    });
    clock.start();
    QString why;
    if (!station.start(setup, {{}, folder, false}, false, &why)) {
        complain(why);
        return 0;
    }
    loop.exec();
    const double ms = clock.nsecsElapsed() / 1e6;
    for (const provision::Unit &unit : station.units()) {
        if (unit.result != provision::Result::Pass)
            complain(QStringLiteral("%1: %2").arg(unit.port, unit.failure));
    }
    return ms;
}

struct Sample
{
    long rssKiB = 0;
    int threads = 0;
    int descriptors = 0;
};

Sample sample(qint64 pid)
{
    Sample s;
    const QString proc = QStringLiteral("/proc/%1").arg(pid);
    QFile status(proc + QStringLiteral("/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                s.rssKiB = line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    const auto count = [&](const char *dir) {
        return QDir(proc + QLatin1Char('/') + QLatin1String(dir))
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
            .size();
    };
    s.threads = count("task");
    s.descriptors = count("fd");
    return s;
}

QString readLine(QProcess &process, QProcess::ProcessChannel channel = QProcess::StandardOutput)
{
    process.setReadChannel(channel);
    QElapsedTimer clock;
    clock.start();
    while (!process.canReadLine() && clock.elapsed() < 30000)
        process.waitForReadyRead(1000);
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

bool control(QProcess &simulator, const QString &line)
{
    simulator.write(line.toLatin1() + '\n');
    const QString answer = readLine(simulator);
    if (answer != QLatin1String("ok"))
        complain(QStringLiteral("vantelo-sim answered '%1' to '%2'").arg(answer, line));
    return answer == QLatin1String("ok");
}

struct Soak
{
    int units = 0;
    double seconds = 0;
    Sample idle, warm, end;
    int passed = 0;
    int exitCode = -1;
};

// vantelo-cli provision --watch fed units in batches of eight: plug, wait for their lines,
// unplug. warm is read after the first batch, end after the last, both with no unit plugged.
Soak soak(const QString &dir, const QString &templatePath, int count)
{
    Soak result;
    result.units = count;
    const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    const QString links = dir + QStringLiteral("/rig");
    QStringList models;
    for (int i = 0; i < count; ++i)
        models.append(QStringLiteral("7126"));
    QProcess simulator;
    simulator.start(bin + QStringLiteral("/simulator/vantelo-sim"),
                    models + QStringList{QStringLiteral("--seed"), QStringLiteral("2"),
                                         QStringLiteral("--link-dir"), links});
    for (int i = 0; i < count; ++i) {
        if (readLine(simulator).isEmpty()) {
            complain(QStringLiteral("vantelo-sim did not start its units"));
            return result;
        }
    }
    for (int i = 0; i < count; ++i)
        control(simulator, QStringLiteral("unplug %1").arg(i));

    QProcess cli;
    cli.start(bin + QStringLiteral("/cli/vantelo-cli"),
              {QStringLiteral("provision"), templatePath, QStringLiteral("--log"),
               dir + QStringLiteral("/soak.csv"), QStringLiteral("--port-dir"), links,
               QStringLiteral("--watch")});
    if (!readLine(cli, QProcess::StandardError).contains(QLatin1String("waiting for units"))) {
        complain(QStringLiteral("vantelo-cli provision --watch did not start"));
        return result;
    }
    const auto settle = [] {
        QEventLoop wait;
        QTimer::singleShot(500, &wait, &QEventLoop::quit);
        wait.exec();
    };
    settle();
    result.idle = sample(cli.processId());
    QElapsedTimer clock;
    clock.start();
    const int batch = 8;
    for (int first = 0; first < count; first += batch) {
        const int last = qMin(count, first + batch);
        for (int i = first; i < last; ++i)
            control(simulator, QStringLiteral("plug %1").arg(i));
        for (int i = first; i < last; ++i) {
            const QString line = readLine(cli);
            if (line.startsWith(QLatin1String("PASS ")))
                ++result.passed;
            else
                complain(QStringLiteral("unit %1: '%2'").arg(i).arg(line));
        }
        for (int i = first; i < last; ++i)
            control(simulator, QStringLiteral("unplug %1").arg(i));
        if (first == 0) {
            settle();
            result.warm = sample(cli.processId());
        }
    }
    result.seconds = clock.elapsed() / 1000.0;
    settle();
    result.end = sample(cli.processId());
    ::kill(pid_t(cli.processId()), SIGINT);
    if (!cli.waitForFinished(30000))
        complain(QStringLiteral("vantelo-cli did not stop on SIGINT"));
    result.exitCode = cli.exitCode();
    control(simulator, QStringLiteral("quit"));
    simulator.waitForFinished(10000);
    return result;
}

// A fresh database of the server with the record's tables; empty when that failed.
QString freshRecord(PgServer &server)
{
    QString why;
    const QString url = server.freshDatabase(&why);
    record::Record record;
    if (url.isEmpty() || !record.init(url)) {
        complain(QStringLiteral("no record: ") + (url.isEmpty() ? why : record.errorString()));
        return QString();
    }
    return url;
}

// Whether every held range of the universe is clear of the next one, in address order.
bool rangesApart(const QString &url, int universe, int *held)
{
    record::Record record;
    std::optional<QVector<record::HeldSlot>> ranges;
    if (!record.open(url) || !(ranges = record.units(universe))) {
        complain(QStringLiteral("the record could not be read: ") + record.errorString());
        return false;
    }
    std::sort(
        ranges->begin(), ranges->end(),
        [](const record::HeldSlot &a, const record::HeldSlot &b) { return a.address < b.address; });
    *held = ranges->size();
    for (int i = 1; i < ranges->size(); ++i) {
        if (ranges->at(i - 1).address + ranges->at(i - 1).footprint > ranges->at(i).address)
            return false;
    }
    return true;
}

// vantelo-cli provision processes, one per folder of units, started together into universe 1
// of one record; the wall time from the first start to the last exit, in ms, and how many units
// they reported PASS.
double stationsAtOnce(const QString &templatePath, const QStringList &folders, const QString &url,
                      int *passed)
{
    const QString cli =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/vantelo-cli");
    std::vector<std::unique_ptr<QProcess>> stations;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < folders.size(); ++i) {
        stations.push_back(std::make_unique<QProcess>());
        stations.back()->start(
            cli, {QStringLiteral("provision"), templatePath, QStringLiteral("--log"),
                  folders.at(i) + QStringLiteral(".csv"), QStringLiteral("--port-dir"),
                  folders.at(i), QStringLiteral("--universe"), QStringLiteral("1"),
                  QStringLiteral("--start-address"), QStringLiteral("1"), QStringLiteral("--label"),
                  QStringLiteral("Bench {n}"), QStringLiteral("--record"), url,
                  QStringLiteral("--station"), QStringLiteral("bench-%1").arg(i)});
    }
    *passed = 0;
    for (const auto &station : stations) {
        if (!station->waitForFinished(120000) || station->exitCode() != 0)
            complain(QStringLiteral("a station failed: ") +
                     QString::fromLocal8Bit(station->readAllStandardError()));
        for (const QByteArray &line : station->readAllStandardOutput().split('\n'))
            *passed += line.startsWith("PASS ");
    }
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    QTemporaryDir dir;

    // The template: a 7146 in seed 1, which differs from seed 2 in every key.
    const QString templatePath = dir.filePath(QStringLiteral("t714.json"));
    const QString smallTemplatePath = dir.filePath(QStringLiteral("t712.json"));
    for (const auto &[model, path] :
         {std::pair<QString, QString>{"7146", templatePath}, {"7126", smallTemplatePath}}) {
        sim::PtyServer unit(model);
        unit.setSeed(1);
        Serial serial;
        serial.setPortName(unit.start() ? unit.portPath() : QString());
        serial.setPrompt(catalogue::familyPrompt(catalogue::find(model)->family));
        QString why;
        const settingsapply::Snapshot shot =
            serial.open() == Serial::OpenResult::Opened
                ? settingsapply::snapshot(serial, model, catalogue::find(model)->family,
                                          QDateTime::currentDateTime())
                : settingsapply::Snapshot();
        serial.close();
        if (!shot.complete() || !settingsfile::save(path, shot.contents, &why)) {
            complain(QStringLiteral("the template could not be saved: ") + why);
            return 1;
        }
    }
    QString why;
    const provision::Template t = *provision::loadTemplate(templatePath, &why);

    // 1. Eight units against one, 5 ms device delay, interleaved.
    const int runs = quick ? 1 : 5;
    std::vector<double> one, eight;
    for (int r = 0; r < runs; ++r) {
        for (const int count : {1, 8}) {
            const QString folder = dir.filePath(QStringLiteral("p%1-%2").arg(count).arg(r));
            Units units(folder, count, 5);
            const double ms = provisionAll(t, folder, folder + QStringLiteral(".csv"));
            (count == 1 ? one : eight).push_back(ms);
        }
    }

    // 2. One unit against a raw replay of its commands.
    struct Overhead
    {
        int delay = 0;
        std::vector<double> program, floor, writeProgram, writeFloor;
        int commands = 0;
    };
    std::vector<Overhead> overheads(2);
    overheads[0].delay = 0;
    overheads[1].delay = 5;
    for (Overhead &o : overheads) {
        const int repeats = quick ? 1 : (o.delay == 0 ? 30 : 5);
        for (int r = 0; r < repeats; ++r) {
            const QString folder = dir.filePath(QStringLiteral("o%1-%2").arg(o.delay).arg(r));
            Units units(folder, 1, o.delay);
            sim::PtyServer &server = *units.servers.front();
            double identified = 0, whole = 0;
            provisionAll(t, folder, folder + QStringLiteral(".csv"), &identified, &whole);
            o.program.push_back(whole - 100.0);
            o.writeProgram.push_back(whole - identified);
            const QStringList log = server.commandLog();
            o.commands = log.size();
            server.setSeed(2);
            RawPort raw;
            if (!raw.open(server.portPath())) {
                complain(QStringLiteral("the raw client could not open the unit"));
                break;
            }
            // Identification is the first four commands: the model, then the UID and the versions.
            bool ok = true;
            QElapsedTimer clock;
            clock.start();
            double identifiedFloor = 0;
            for (int i = 0; i < log.size(); ++i) {
                if (i == 4)
                    identifiedFloor = clock.nsecsElapsed() / 1e6;
                ok = raw.roundTrip(log.at(i).toUtf8() + '\n', "714x:") && ok;
            }
            o.floor.push_back(clock.nsecsElapsed() / 1e6);
            o.writeFloor.push_back(o.floor.back() - identifiedFloor);
            if (!ok)
                complain(QStringLiteral("the raw replay lost an exchange"));
        }
    }

    // Of the difference: opening and closing the port through the program's channel (the serial
    // library takes a lock file) against the raw client's open and close.
    std::vector<double> channelOpen, rawOpen;
    {
        sim::PtyServer unit(QStringLiteral("7146"));
        unit.start();
        for (int r = 0; r < (quick ? 3 : 30); ++r) {
            QElapsedTimer clock;
            clock.start();
            {
                Serial serial;
                serial.setPortName(unit.portPath());
                serial.open();
                serial.close();
            }
            channelOpen.push_back(clock.nsecsElapsed() / 1e6);
            clock.start();
            {
                RawPort raw;
                raw.open(unit.portPath());
            }
            rawOpen.push_back(clock.nsecsElapsed() / 1e6);
        }
    }

    // 3. The watching station as a process.
    const Soak s = soak(dir.path(), smallTemplatePath, quick ? 24 : 200);

    // 4. The record: eight units with it against without, then three stations at once against
    // one, interleaved.
    PgServer server;
    if (!server.start(&why)) {
        complain(QStringLiteral("the PostgreSQL server did not start: ") + why);
        return 1;
    }
    std::vector<double> plain, recorded, alone, together;
    int apart = 0, held = 0, passedTogether = 0, passedAlone = 0;
    for (int r = 0; r < runs; ++r) {
        for (const bool withRecord : {false, true}) {
            const QString folder = dir.filePath(QStringLiteral("r%1-%2").arg(withRecord).arg(r));
            Units units(folder, 8, 5);
            const QString url = withRecord ? freshRecord(server) : QString();
            const double ms =
                provisionAll(t, folder, folder + QStringLiteral(".csv"), nullptr, nullptr, url);
            (withRecord ? recorded : plain).push_back(ms);
        }
        for (const int count : {1, 3}) {
            QStringList folders;
            std::vector<std::unique_ptr<Units>> benches;
            for (int b = 0; b < count; ++b) {
                folders.append(dir.filePath(QStringLiteral("s%1-%2-%3").arg(count).arg(r).arg(b)));
                benches.push_back(std::make_unique<Units>(
                    folders.back(), 8, 5,
                    QStringLiteral("4B56%1C").arg(b, 3, 10, QLatin1Char('0'))));
            }
            const QString url = freshRecord(server);
            int passed = 0, inRecord = 0;
            const double ms = stationsAtOnce(templatePath, folders, url, &passed);
            const bool clear = rangesApart(url, 1, &inRecord);
            if (count == 1) {
                alone.push_back(ms);
                passedAlone += passed;
            } else {
                together.push_back(ms);
                passedTogether += passed;
                held += inRecord;
                apart += clear;
            }
        }
    }

    using benchstats::median;
    using benchstats::verdict;
    const double ratio = median(eight) / median(one);
    std::printf("\n## Provisioning station (medians; %d run%s)\n\n", runs, runs == 1 ? "" : "s");
    std::printf("| Figure | Measured | Goal | Met |\n|---|---|---|---|\n");
    std::printf("| 8 units at once vs 1 unit, 5 ms device delay, wall time | %.0f ms vs %.0f ms "
                "= %.2fx (spread of 8: %.0f%%) | <= 1.3x | %s |\n",
                median(eight), median(one), ratio, benchstats::spread(eight) * 100,
                verdict(ratio <= 1.3));
    for (const Overhead &o : overheads) {
        const double r = median(o.program) / median(o.floor);
        std::printf("| 1 unit, %d ms device delay: start to its logged result, less the 100 ms "
                    "identification silence, vs raw replay of its %d commands | %.2f ms vs %.2f ms "
                    "= %.2fx | <= 1.3x | %s |\n",
                    o.delay, o.commands, median(o.program), median(o.floor), r, verdict(r <= 1.3));
        const double w = median(o.writeProgram) / median(o.writeFloor);
        std::printf(
            "| the same from identified to its logged result (read, write, read back, "
            "log row) vs the raw replay of those %d commands | %.2f ms vs %.2f ms = %.2fx | "
            "<= 1.3x | %s |\n",
            o.commands - 4, median(o.writeProgram), median(o.writeFloor), w, verdict(w <= 1.3));
    }
    std::printf("| of which: opening and closing the port, program's channel vs raw client | "
                "%.2f ms vs %.2f ms | | |\n",
                median(channelOpen), median(rawOpen));
    const long growth = s.end.rssKiB - s.warm.rssKiB;
    std::printf("| `provision --watch`, %d units plugged and unplugged 8 at a time (%.1f s): "
                "resident memory idle / after 8 / after %d | %ld / %ld / %ld KiB, growth from 8 "
                "on %ld KiB | < 5 MiB | %s |\n",
                s.units, s.seconds, s.units, s.idle.rssKiB, s.warm.rssKiB, s.end.rssKiB, growth,
                verdict(growth < 5 * 1024));
    const bool clean = s.end.threads == s.idle.threads && s.end.descriptors == s.idle.descriptors;
    std::printf("| the same: threads / descriptors idle, after 8, after %d | %d / %d, %d / %d, "
                "%d / %d | none left behind | %s |\n",
                s.units, s.idle.threads, s.idle.descriptors, s.warm.threads, s.warm.descriptors,
                s.end.threads, s.end.descriptors, verdict(clean));
    std::printf("| the same: units passed, exit code after SIGINT | %d of %d, %d | all, 0 | %s |\n",
                s.passed, s.units, s.exitCode, verdict(s.passed == s.units && s.exitCode == 0));

    const double withRecord = median(recorded) / median(plain);
    std::printf("| 8 units at once, 5 ms device delay, with a PostgreSQL record vs without | "
                "%.0f ms vs %.0f ms = %.2fx | <= 1.05x | %s |\n",
                median(recorded), median(plain), withRecord, verdict(withRecord <= 1.05));
    const double stations = median(together) / median(alone);
    std::printf("| 3 `vantelo-cli provision` processes of 8 units each into one universe of one "
                "PostgreSQL record at once vs 1 such process | %.0f ms vs %.0f ms = %.2fx | "
                "<= 1.3x | %s |\n",
                median(together), median(alone), stations, verdict(stations <= 1.3));
    std::printf("| the same: units PASS, held in the record, runs with no two ranges overlapping "
                "| %d of %d, %d, %d of %d | all | %s |\n",
                passedTogether, 24 * runs, held, apart, runs,
                verdict(passedTogether == 24 * runs && held == 24 * runs && apart == runs &&
                        passedAlone == 8 * runs));
    std::fflush(stdout);
    return failed ? 1 : 0;
}
