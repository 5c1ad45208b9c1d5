// What a user feels as a frozen window: the cost of one command/reply transaction and of each
// page's full refresh, measured against the simulator on a real pseudo-terminal and set beside a
// raw write/poll/read round trip to the same simulator in the same process, which is the floor
// no program can beat.
//
//   bench_device [--quick] [Google Benchmark flags]
//
// Also: applying a settings file that differs in every key to a 7146, against a raw replay of the
// same commands, and vantelo-cli info as a process of its own against vantelo-sim in another.
//
// Ends with Markdown tables of the figures and their goals.

#include "BenchStats.h"
#include "RawPort.h"

#include "app/Debug.h"
#include "app/PageSets.h"
#include "files/SettingsApply.h"
#include "files/SettingsFile.h"
#include "link/Serial.h"
#include "pages/BaseWidget.h"
#include "server/PtyServer.h"
#include "ui/Theme.h"
#include "unit/ModelCatalogue.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using benchstats::Clock;
using benchstats::microsecondsSince;

namespace {

// One simulated device with the program's channel and the raw client open on the same port.
struct Device
{
    explicit Device(const QString &model) : model(model), server(model) {}
    ~Device()
    {
        serial.close();
        server.stop();
    }

    bool start(QString *error)
    {
        if (!server.start(error))
            return false;
        // The channel's port takes the terminal exclusively once open, so the raw client goes
        // first; both then share it, one exchange at a time.
        if (!raw.open(server.portPath())) {
            *error = QStringLiteral("raw open failed: ") + QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        serial.setPortName(server.portPath());
        if (serial.open() != Serial::OpenResult::Opened) {
            *error = QStringLiteral("Serial::open failed on ") + server.portPath();
            return false;
        }
        serial.setPrompt(getModelPrefix(model));
        prompt = getModelPrefix(model).toLatin1();
        return true;
    }

    // The device thinks this long before each answer. The server's own latency setting counts in
    // whole elapsed milliseconds and answers a 1 ms latency at once, so the wait is done here.
    void setDelayMs(int ms)
    {
        if (ms <= 0) {
            server.setReplyOverride(nullptr);
            return;
        }
        const std::chrono::milliseconds delay(ms);
        server.setReplyOverride([delay](const QByteArray &) -> std::optional<QByteArray> {
            std::this_thread::sleep_for(delay);
            return std::nullopt; // the interpreter's own answer
        });
    }

    QString model;
    sim::PtyServer server;
    Serial serial;
    RawPort raw;
    QByteArray prompt;
};

// A model's four pages built from the program's own page table, wired as the main window wires
// them, with a status icon that shows the wait animation exactly as the window's does.
struct PageSet
{
    QList<BaseWidget *> pages;
    QStringList names;
};

struct PageCase
{
    std::string name;
    QString model;
    int position = 0;
};

struct Rig
{
    Debug debug;
    QLabel statusIcon;
    int waitFrame = 0;
    std::map<QString, std::unique_ptr<Device>> devices;
    std::map<QString, PageSet> pageSets;

    ~Rig()
    {
        for (auto &entry : pageSets)
            qDeleteAll(entry.second.pages);
    }

    bool start(QString *error)
    {
        statusIcon.resize(40, 40);
        setUsbConnectedIcon(&statusIcon);
        statusIcon.show();
        for (const QString &model :
             {QStringLiteral("7146"), QStringLiteral("7126"), QStringLiteral("7185")}) {
            auto device = std::make_unique<Device>(model);
            if (!device->start(error))
                return false;
            devices[model] = std::move(device);
            if (!buildPages(model, error))
                return false;
        }
        return true;
    }

    bool buildPages(const QString &model, QString *error)
    {
        const ModelInfo *info = catalogue::find(model);
        const PageFamily *family = info ? findPageFamily(pageFamilies(), info->family) : nullptr;
        if (!family) {
            *error = QStringLiteral("no page set for ") + model;
            return false;
        }
        PageSet &set = pageSets[model];
        for (const PagePosition &position : family->positions) {
            BaseWidget *page = position.create(*info, nullptr);
            if (position.configure)
                position.configure(page);
            BaseWidget *progress = position.progressSource ? position.progressSource(page) : page;
            QObject::connect(progress, &BaseWidget::iconUpdateSignal, &statusIcon, [this] {
                setWaitSlide(&statusIcon, waitFrame);
                statusIcon.repaint();
                waitFrame = (waitFrame + 1) % 8;
            });
            set.pages.append(page);
            set.names.append(position.buttonText);
        }
        if (family->afterBuild)
            family->afterBuild(set.pages);
        for (BaseWidget *page : qAsConst(set.pages)) {
            page->setDebug(&debug);
            page->setSerial(&devices[model]->serial);
            page->show();
        }
        return true;
    }

    std::vector<PageCase> pageCases() const
    {
        std::vector<PageCase> cases;
        for (const QString &model :
             {QStringLiteral("7146"), QStringLiteral("7126"), QStringLiteral("7185")}) {
            const PageSet &set = pageSets.at(model);
            for (int i = 0; i < set.pages.size(); ++i) {
                // The smaller dimmer differs from the larger only in its channel count.
                if (model == QLatin1String("7126") && set.names.at(i) != QLatin1String("Dimmer"))
                    continue;
                cases.push_back(
                    {(set.names.at(i) + QLatin1Char(' ') + model).toStdString(), model, i});
            }
        }
        return cases;
    }
};

Rig *rig = nullptr;

void transaction(benchmark::State &state, const QByteArray &command, int first, int last)
{
    Device &device = *rig->devices.at(QStringLiteral("7146"));
    device.setDelayMs(static_cast<int>(state.range(0)));
    const QString text = QString::fromLatin1(command);
    QString reply;
    for (int i = 0; i < 20; ++i) {
        device.raw.roundTrip(command, device.prompt);
        device.serial.sendCommand(text, reply);
    }
    if (reply.isEmpty() || !device.serial.isOpen()) {
        device.setDelayMs(0);
        state.SkipWithError("the simulator did not answer");
        return;
    }

    std::vector<double> raw, whole, fields;
    for (auto _ : state) {
        // Interleaved, so that load from elsewhere on the machine hits all three alike.
        auto t = Clock::now();
        const bool ok = device.raw.roundTrip(command, device.prompt);
        raw.push_back(microsecondsSince(t));

        t = Clock::now();
        device.serial.sendCommand(text, reply);
        const double wholeUs = microsecondsSince(t);
        whole.push_back(wholeUs);

        t = Clock::now();
        device.serial.sendCommand(text, reply, first, last);
        fields.push_back(microsecondsSince(t));

        state.SetIterationTime(wholeUs / 1e6);
        if (!ok || reply.isEmpty()) {
            state.SkipWithError("an exchange got no answer");
            break;
        }
    }
    device.setDelayMs(0);
    const double rawMedian = benchstats::median(raw);
    state.counters["raw_p50_us"] = rawMedian;
    state.counters["raw_p99_us"] = benchstats::percentile(raw, 0.99);
    state.counters["send_p50_us"] = benchstats::median(whole);
    state.counters["send_p99_us"] = benchstats::percentile(whole, 0.99);
    state.counters["fields_p50_us"] = benchstats::median(fields);
    state.counters["fields_p99_us"] = benchstats::percentile(fields, 0.99);
    state.counters["send_ratio"] = benchstats::median(whole) / rawMedian;
    state.counters["fields_ratio"] = benchstats::median(fields) / rawMedian;
}

void pageRefresh(benchmark::State &state, const PageCase &pageCase)
{
    const int delayMs = static_cast<int>(state.range(0));
    Device &device = *rig->devices.at(pageCase.model);
    BaseWidget *page = rig->pageSets.at(pageCase.model).pages.at(pageCase.position);

    device.setDelayMs(delayMs);
    // The page's own command sequence, replayed raw, is its floor.
    device.server.clearLog();
    page->refresh();
    QCoreApplication::processEvents();
    const QStringList log = device.server.commandLog();
    std::vector<QByteArray> commands;
    for (const QString &line : log)
        commands.push_back(line.toLatin1() + '\n');
    const auto transactions = static_cast<int>(commands.size());
    if (transactions == 0 || !device.serial.isOpen()) {
        state.SkipWithError("the page sent nothing, or the channel closed");
        device.setDelayMs(0);
        return;
    }

    std::vector<double> refresh, floor;
    for (auto _ : state) {
        device.server.clearLog();
        auto t = Clock::now();
        page->refresh();
        const double refreshUs = microsecondsSince(t);
        refresh.push_back(refreshUs);
        state.SetIterationTime(refreshUs / 1e6);
        const int sent = device.server.commandLog().size();

        t = Clock::now();
        bool ok = true;
        for (const QByteArray &command : commands)
            ok = device.raw.roundTrip(command, device.prompt) && ok;
        floor.push_back(microsecondsSince(t));

        // Repaints and other posted work happen after the refresh in the program too; they are
        // not part of the blocked refresh.
        QCoreApplication::processEvents();
        if (!ok || sent != transactions || !device.serial.isOpen()) {
            state.SkipWithError("a refresh or its raw replay lost an exchange");
            break;
        }
    }
    device.setDelayMs(0);

    const double refreshMedian = benchstats::median(refresh);
    const double floorMedian = benchstats::median(floor);
    state.counters["transactions"] = transactions;
    state.counters["refresh_us"] = refreshMedian;
    state.counters["floor_us"] = floorMedian;
    state.counters["per_txn_us"] = refreshMedian / transactions;
    state.counters["ratio"] = refreshMedian / floorMedian;
}

// The piece of page work that every refresh repeats: one frame of the status icon's wait animation
// as the main window shows it.
void iconFrame(benchmark::State &state, bool preloaded)
{
    QLabel &icon = rig->statusIcon;
    QPixmap frames[8];
    if (preloaded) {
        for (int f = 0; f < 8; ++f) {
            setWaitSlide(&icon, f);
            frames[f] = icon.pixmap(Qt::ReturnByValue);
        }
    }
    int frame = 0;
    for (auto _ : state) {
        const auto t = Clock::now();
        if (preloaded)
            icon.setPixmap(frames[frame]);
        else
            setWaitSlide(&icon, frame);
        icon.repaint();
        state.SetIterationTime(microsecondsSince(t) / 1e6);
        frame = (frame + 1) % 8;
    }
}

// A file saved from seed 1 applied to a unit in seed 2, which differs in every key: load and check
// the file, read the unit, write each key with its read-back, read everything back. The floor is
// the same command lines replayed raw on the same terminal, from the same starting state.
void applyFile(benchmark::State &state)
{
    Device &device = *rig->devices.at(QStringLiteral("7146"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("seed1.json"));
    device.server.setSeed(1);
    const settingsapply::Snapshot shot = settingsapply::snapshot(
        device.serial, device.model, Family::Dimmer5, QDateTime::currentDateTime());
    QString why;
    if (!shot.complete() || !settingsfile::save(path, shot.contents, &why)) {
        state.SkipWithError("the file could not be saved from the simulator");
        return;
    }
    device.server.setLatencyMs(static_cast<int>(state.range(0)));

    std::vector<double> program, floor;
    int commands = 0;
    for (auto _ : state) {
        device.server.setSeed(2);
        device.server.clearLog();
        auto t = Clock::now();
        const auto file = settingsfile::load(path, &why);
        const settingsapply::Plan plan =
            settingsapply::plan(device.serial, file->family, file->settings);
        const settingsapply::Report report =
            settingsapply::execute(device.serial, plan, plan.differing());
        const double programUs = microsecondsSince(t);
        program.push_back(programUs);
        state.SetIterationTime(programUs / 1e6);

        const QStringList log = device.server.commandLog();
        commands = log.size();
        device.server.setSeed(2);
        bool ok = true;
        t = Clock::now();
        for (const QString &line : log)
            ok = device.raw.roundTrip(line.toUtf8() + '\n', device.prompt) && ok;
        floor.push_back(microsecondsSince(t));
        if (!ok || !report.allTaken() || report.written.size() != file->settings.size()) {
            state.SkipWithError("the apply or its raw replay lost an exchange");
            break;
        }
    }
    device.server.setLatencyMs(0);
    state.counters["commands"] = commands;
    state.counters["program_ms"] = benchstats::median(program) / 1000.0;
    state.counters["floor_ms"] = benchstats::median(floor) / 1000.0;
    state.counters["ratio"] = benchstats::median(program) / benchstats::median(floor);
}

// What a script waits for: vantelo-cli info from process start to exit, against vantelo-sim in a
// process of its own. Identification ends only after 100 ms of silence (the prompt is unknown
// until the model is), which no program can avoid; it is taken off.
void cliInfo(benchmark::State &state)
{
    const QString bin = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    QProcess simulator;
    simulator.start(bin + QStringLiteral("/simulator/vantelo-sim"), {QStringLiteral("7146")});
    QString port;
    if (simulator.waitForReadyRead(5000))
        port = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    if (port.isEmpty()) {
        state.SkipWithError("vantelo-sim did not start");
        return;
    }
    std::vector<double> total;
    for (auto _ : state) {
        QProcess cli;
        const auto t = Clock::now();
        cli.start(bin + QStringLiteral("/cli/vantelo-cli"),
                  {QStringLiteral("--port"), port, QStringLiteral("info")});
        const bool finished = cli.waitForFinished(10000);
        const double us = microsecondsSince(t);
        total.push_back(us);
        state.SetIterationTime(us / 1e6);
        if (!finished || cli.exitCode() != 0 ||
            !cli.readAllStandardOutput().contains("model 7146")) {
            state.SkipWithError("vantelo-cli info failed");
            break;
        }
    }
    simulator.terminate();
    simulator.waitForFinished(5000);
    state.counters["total_ms"] = benchstats::median(total) / 1000.0;
    state.counters["without_silence_ms"] = benchstats::median(total) / 1000.0 - 100.0;
}

// Keeps every repetition's counters so the summary can give medians and their spread.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    using Counters = std::map<std::string, double>;

    void ReportRuns(const std::vector<Run> &reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        for (const Run &run : reports) {
            if (run.error_occurred)
                ++m_errors;
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            Counters counters;
            for (const auto &counter : run.counters)
                counters[counter.first] = counter.second.value;
            counters["time_us"] = run.GetAdjustedRealTime() *
                                  (run.time_unit == benchmark::kMillisecond ? 1000.0 : 1.0);
            m_runs[run.run_name.function_name +
                   (run.run_name.args.empty() ? std::string() : "/" + run.run_name.args)]
                .push_back(counters);
        }
    }

    bool has(const std::string &name) const { return m_runs.count(name) > 0; }
    int errors() const { return m_errors; }

    // Median over repetitions of one counter.
    double value(const std::string &name, const std::string &counter) const
    {
        return benchstats::median(values(name, counter));
    }

    double spread(const std::string &name, const std::string &counter) const
    {
        return benchstats::spread(values(name, counter));
    }

    int repetitions(const std::string &name) const
    {
        return has(name) ? static_cast<int>(m_runs.at(name).size()) : 0;
    }

private:
    std::vector<double> values(const std::string &name, const std::string &counter) const
    {
        std::vector<double> out;
        if (!has(name))
            return out;
        for (const Counters &counters : m_runs.at(name)) {
            const auto it = counters.find(counter);
            if (it != counters.end())
                out.push_back(it->second);
        }
        return out;
    }

    std::map<std::string, std::vector<Counters>> m_runs;
    int m_errors = 0;
};

std::string pct(double fraction)
{
    return benchstats::format("%.0f%%", fraction * 100.0);
}

void printSummary(const SummaryReporter &r, const std::vector<PageCase> &cases,
                  const std::vector<int> &delays)
{
    using benchstats::format;
    using benchstats::verdict;
    std::printf("\n## Transaction (median and p99 in µs; spread = (max - min) / median over "
                "repetitions)\n\n");
    std::printf("| Command | raw p50 | raw p99 | sendCommand p50 | p99 | ratio | field-range p50 "
                "| p99 | ratio | goal ratio <= 1.3 | spread of ratio |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto &[command, label] :
         {std::pair<const char *, const char *>{"getDmxAddress/0", "getDmxAddress"},
          {"getFWInfo/0", "getFWInfo (long reply)"},
          {"getDmxAddress/1", "getDmxAddress, 1 ms device delay"},
          {"getDmxAddress/5", "getDmxAddress, 5 ms device delay"}}) {
        const std::string name = std::string("transaction/") + command;
        if (!r.has(name))
            continue;
        const double sendRatio = r.value(name, "send_ratio");
        const double fieldsRatio = r.value(name, "fields_ratio");
        std::printf(
            "| %s | %.0f | %.0f | %.0f | %.0f | %.2f | %.0f | %.0f | %.2f | %s | %s |\n", label,
            r.value(name, "raw_p50_us"), r.value(name, "raw_p99_us"), r.value(name, "send_p50_us"),
            r.value(name, "send_p99_us"), sendRatio, r.value(name, "fields_p50_us"),
            r.value(name, "fields_p99_us"), fieldsRatio,
            verdict(sendRatio <= 1.3 && fieldsRatio <= 1.3),
            pct(std::max(r.spread(name, "send_ratio"), r.spread(name, "fields_ratio"))).c_str());
    }

    std::printf("\n## Page refresh (median of refreshes; floor = the page's own commands "
                "replayed raw)\n\n");
    std::printf("| Page | txns |");
    for (int d : delays)
        std::printf(" %d ms: refresh ms | program µs/txn | ratio |", d);
    std::printf("\n|---|---|");
    for (size_t i = 0; i < delays.size(); ++i)
        std::printf("---|---|---|");
    std::printf("\n");
    double worstRatio0 = 0, worstRatioDelay = 0, worstSpread = 0;
    for (const PageCase &c : cases) {
        const std::string base = "refresh/" + c.name + "/";
        const auto measured = std::find_if(delays.begin(), delays.end(),
                                           [&](int d) { return r.has(base + std::to_string(d)); });
        if (measured == delays.end())
            continue;
        std::printf("| %s | %.0f |", c.name.c_str(),
                    r.value(base + std::to_string(*measured), "transactions"));
        for (int d : delays) {
            const std::string name = base + std::to_string(d);
            if (!r.has(name)) {
                std::printf(" - | - | - |");
                continue;
            }
            const double ratio = r.value(name, "ratio");
            (d == 0 ? worstRatio0 : worstRatioDelay) =
                std::max(d == 0 ? worstRatio0 : worstRatioDelay, ratio);
            worstSpread = std::max(worstSpread, r.spread(name, "ratio"));
            std::printf(" %.2f | %.0f | %.2f |", r.value(name, "refresh_us") / 1000.0,
                        (r.value(name, "refresh_us") - r.value(name, "floor_us")) /
                            r.value(name, "transactions"),
                        ratio);
        }
        std::printf("\n");
    }
    std::printf("\nWorst ratio without device delay: %.2f (goal <= 2.0: %s). Worst ratio with "
                "a device delay: %.3f (goal <= 1.05: %s). Largest spread of a ratio over "
                "repetitions: %s.\n",
                worstRatio0, verdict(worstRatio0 <= 2.0), worstRatioDelay,
                verdict(worstRatioDelay <= 1.05), pct(worstSpread).c_str());

    std::printf("\n## Growth\n\n");
    std::printf("Channel count: the dimmer page with 2 and 5 channels. Program overhead = refresh "
                "minus the raw replay of the same commands, fitted over all pages against their "
                "number of transactions; its constant is what a refresh costs beyond its "
                "transactions.\n\n");
    std::printf("| Device delay | dimmer 2 ch ms (txns) | dimmer 5 ch ms (txns) | ms per added "
                "txn | pair constant ms | overhead per txn µs | overhead constant ms | 5 ch: ms "
                "of refresh per ms of delay per txn | goal constant < 1 ms |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    const std::string base5 = "refresh/Dimmer 7146/0";
    for (int d : delays) {
        const std::string small = "refresh/Dimmer 7126/" + std::to_string(d);
        const std::string large = "refresh/Dimmer 7146/" + std::to_string(d);
        if (!r.has(small) || !r.has(large))
            continue;
        const double n2 = r.value(small, "transactions"), n5 = r.value(large, "transactions");
        const double t2 = r.value(small, "refresh_us"), t5 = r.value(large, "refresh_us");
        const double perTxn = (t5 - t2) / (n5 - n2);
        const double constant = t2 - perTxn * n2;
        std::vector<double> xs, ys;
        for (const PageCase &c : cases) {
            const std::string name = "refresh/" + c.name + "/" + std::to_string(d);
            if (!r.has(name))
                continue;
            xs.push_back(r.value(name, "transactions"));
            ys.push_back(r.value(name, "refresh_us") - r.value(name, "floor_us"));
        }
        const benchstats::LinearFit fit = benchstats::fitLine(xs, ys);
        std::string perDelay = "-";
        if (d > 0 && r.has(base5))
            perDelay = format("%.3f", (t5 - r.value(base5, "refresh_us")) / (d * 1000.0 * n5));
        std::printf("| %d ms | %.2f (%.0f) | %.2f (%.0f) | %.3f | %.3f | %.1f | %.3f | %s | %s |\n",
                    d, t2 / 1000.0, n2, t5 / 1000.0, n5, perTxn / 1000.0, constant / 1000.0,
                    fit.slope, fit.intercept / 1000.0, perDelay.c_str(),
                    verdict(std::fabs(fit.intercept) < 1000.0));
    }
    std::printf("\nThe pair constant with a device delay also carries the jitter of the "
                "device's wait; the overhead fit removes it. A ms of refresh per ms of delay "
                "above 1 is the simulated device oversleeping its delay.\n");

    std::printf("\n## Settings file and command line (medians over repetitions)\n\n");
    std::printf("| Figure | commands | program ms | floor ms | ratio | goal | met | spread of "
                "ratio |\n|---|---|---|---|---|---|---|---|\n");
    for (const auto &[delay, goal] : {std::pair<int, double>{0, 1.3}, {5, 1.05}}) {
        const std::string name = "apply/7146 every key/" + std::to_string(delay);
        if (!r.has(name))
            continue;
        const double ratio = r.value(name, "ratio");
        std::printf("| apply a file differing in every key, %d ms device delay | %.0f | %.2f | "
                    "%.2f | %.3f | <= %.2f | %s | %s |\n",
                    delay, r.value(name, "commands"), r.value(name, "program_ms"),
                    r.value(name, "floor_ms"), ratio, goal, verdict(ratio <= goal),
                    pct(r.spread(name, "ratio")).c_str());
    }
    if (r.has("cli/info")) {
        const double without = r.value("cli/info", "without_silence_ms");
        std::printf("| vantelo-cli info, process start to exit, less the 100 ms identification "
                    "silence | | %.1f (total %.1f) | | | < 50 ms | %s | %s |\n",
                    without, r.value("cli/info", "total_ms"), verdict(without < 50.0),
                    pct(r.spread("cli/info", "without_silence_ms")).c_str());
    }

    std::printf("\n## Pieces of page work (µs, median over repetitions)\n\n");
    std::printf("| Piece | time |\n|---|---|\n");
    for (const auto &[name, text] :
         {std::pair<const char *, const char *>{"icon/setWaitSlide+repaint",
                                                "one wait-animation frame as the window shows it"},
          {"icon/preloaded+repaint", "the same frame from a pixmap loaded once"}}) {
        if (r.has(name))
            std::printf("| %s | %.1f |\n", text, r.value(name, "time_us"));
    }
}

} // namespace

int main(int argc, char **argv)
{
    bool quick = false;
    std::vector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else
            args.push_back(argv[i]);
    }
    int benchArgc = static_cast<int>(args.size());
    args.push_back(nullptr);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    benchmark::Initialize(&benchArgc, args.data());
    if (benchmark::ReportUnrecognizedArguments(benchArgc, args.data()))
        return 2;

    auto owned = std::make_unique<Rig>();
    rig = owned.get();
    QString error;
    if (!rig->start(&error)) {
        std::fprintf(stderr, "bench_device: %s\n", error.toLocal8Bit().constData());
        return 1;
    }

    const int transactionIterations = quick ? 300 : 3000;
    benchmark::RegisterBenchmark("transaction/getDmxAddress", transaction,
                                 QByteArrayLiteral("getDmxAddress\n"), 6, 6)
        ->Arg(0)
        ->Iterations(transactionIterations)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("transaction/getFWInfo", transaction,
                                 QByteArrayLiteral("getFWInfo\n"), 9, 9)
        ->Arg(0)
        ->Iterations(transactionIterations)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);

    benchmark::RegisterBenchmark("transaction/getDmxAddress", transaction,
                                 QByteArrayLiteral("getDmxAddress\n"), 6, 6)
        ->Arg(1)
        ->Iterations(quick ? 10 : 300)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("transaction/getDmxAddress", transaction,
                                 QByteArrayLiteral("getDmxAddress\n"), 6, 6)
        ->Arg(5)
        ->Iterations(quick ? 2 : 60)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);

    benchmark::RegisterBenchmark("icon/setWaitSlide+repaint", iconFrame, false)
        ->Iterations(quick ? 50 : 2000)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("icon/preloaded+repaint", iconFrame, true)
        ->Iterations(quick ? 50 : 2000)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);

    for (const int delay : {0, 5}) {
        benchmark::RegisterBenchmark("apply/7146 every key", applyFile)
            ->Arg(delay)
            ->Iterations(quick ? 1 : (delay == 0 ? 30 : 5))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("cli/info", cliInfo)
        ->Iterations(quick ? 1 : 15)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);

    // Iterations per device delay, so that each delay costs a few seconds at most.
    const std::vector<std::pair<int, int>> delays =
        quick ? std::vector<std::pair<int, int>>{{0, 10}, {1, 1}}
              : std::vector<std::pair<int, int>>{{0, 100}, {1, 30}, {5, 8}, {20, 2}};
    const std::vector<PageCase> cases = rig->pageCases();
    for (const auto &[delay, iterations] : delays) {
        for (const PageCase &c : cases) {
            benchmark::RegisterBenchmark(("refresh/" + c.name).c_str(), pageRefresh, c)
                ->Arg(delay)
                ->Iterations(iterations)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }

    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::vector<int> delayList;
    for (const auto &entry : delays)
        delayList.push_back(entry.first);
    printSummary(reporter, cases, delayList);
    std::fflush(stdout);

    rig = nullptr;
    owned.reset();
    benchmark::Shutdown();
    // A benchmark that could not run is a broken bench, whatever the figures.
    return reporter.errors() == 0 ? 0 : 1;
}
