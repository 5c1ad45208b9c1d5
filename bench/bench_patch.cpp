// Patch figures: exporting a large rig as an MVR scene (time and the memory it takes on top of
// the process) and checking a large plan, CSV and MVR, each beside its floor.
//
//   bench_patch [--quick]
//
// Peak memory is the process's high-water mark (VmHWM) above its resident size just before the
// export, with the mark reset first (/proc/self/clear_refs), so neither Qt's start nor an earlier
// figure counts. Ends with a Markdown table.

#include "BenchStats.h"

#include "patch/Plan.h"
#include "patch/SceneExport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

long statusKiB(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

bool resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    return file.open(QIODevice::WriteOnly) && file.write("5") == 1;
}

// count slots over as many universes as they need: 5- and 2-channel models, 8- and 16-bit.
QVector<patch::Slot> rig(int count)
{
    const char *models[] = {"7146", "7126", "7147", "7127"};
    QVector<patch::Slot> list;
    list.reserve(count);
    int universe = 1, address = 1;
    for (int i = 0; i < count; ++i) {
        patch::Slot slot;
        slot.model = QLatin1String(models[i % 4]);
        slot.channels = i % 2 ? 2 : 5;
        slot.sixteenBit = i % 3 == 0;
        if (address + slot.footprint() - 1 > 512) {
            ++universe;
            address = 1;
        }
        slot.universe = universe;
        slot.address = address;
        address += slot.footprint();
        slot.label = QStringLiteral("Truss %1").arg(i + 1);
        slot.fixtureId = QString::number(i + 1);
        slot.unitNumber = i + 1;
        slot.uuid = patch::slotUuid(universe, slot.address);
        slot.rdmUid = QStringLiteral("4B56%1").arg(i, 8, 16, QLatin1Char('0')).toUpper();
        slot.templateName = QStringLiteral("714x.json");
        slot.time = QStringLiteral("2026-12-07T04:00:00Z");
        list.append(slot);
    }
    return list;
}

template <typename F> std::vector<double> timesMs(int runs, F &&work)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        const auto start = benchstats::Clock::now();
        work();
        samples.push_back(benchstats::microsecondsSince(start) / 1000.0);
    }
    return samples;
}

void row(const char *figure, double measured, const char *unit, double floor)
{
    std::printf("| %s | %.1f %s | < %.0f %s | %s |\n", figure, measured, unit, floor, unit,
                benchstats::verdict(measured < floor));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int runs = quick ? 1 : 5;
    QTemporaryDir dir;
    const QString mvr = dir.filePath(QStringLiteral("rig.mvr"));
    QString why;

    // Memory first, from a process that has done nothing else yet.
    QVector<patch::Slot> large = rig(10000);
    const bool resettable = resetPeak();
    const long before = statusKiB("VmRSS:");
    if (!patch::exportPatch(large, mvr, &why)) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(why));
        return 1;
    }
    const double peakMiB = (statusKiB("VmHWM:") - before) / 1024.0;
    const std::vector<double> exportMs =
        timesMs(runs, [&] { patch::exportPatch(large, mvr, &why); });

    QFile written(mvr);
    written.open(QIODevice::ReadOnly);
    const qint64 mvrBytes = written.size();
    const QVector<patch::Slot> plan = rig(2000);
    const QByteArray planCsv = patch::patchCsv(plan);
    const QByteArray planMvr = patch::sceneArchive(plan, &why).value_or(QByteArray());
    bool read = true;
    const std::vector<double> csvMs =
        timesMs(runs * 4, [&] { read = read && patch::readCsvPlan(planCsv, &why); });
    const std::vector<double> mvrMs =
        timesMs(runs * 4, [&] { read = read && patch::readMvrPlan(planMvr, {}, &why); });
    if (!read) {
        std::fprintf(stderr, "plan refused: %s\n", qPrintable(why));
        return 1;
    }

    std::printf("## Patch export and plans (median of %d runs; the MVR of 10,000 slots is %.1f "
                "MiB)\n\n",
                runs, mvrBytes / 1048576.0);
    std::printf("| Figure | Measured | Floor | Met |\n|---|---|---|---|\n");
    row("Export 10,000 slots as MVR, time", benchstats::median(exportMs), "ms", 1000);
    if (resettable)
        row("Export 10,000 slots as MVR, peak memory above the process", peakMiB, "MiB", 50);
    else
        std::printf(
            "| Export peak memory | (cannot reset the high-water mark here) | < 50 MiB | |\n");
    row("Plan of 2,000 fixtures checked, CSV", benchstats::median(csvMs), "ms", 100);
    row("Plan of 2,000 fixtures checked, MVR", benchstats::median(mvrMs), "ms", 100);
    return 0;
}
