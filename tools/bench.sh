#!/usr/bin/env bash
# Builds and runs the benchmark suite and prints the tables of figures:
#   tools/bench.sh           the full run (a few minutes): transactions, page refreshes with device
#                            delays of 0, 1, 5 and 20 ms, growth, applying a settings file (0 and
#                            5 ms), vantelo-cli info as a process, start-up (5 runs), idle (2 x 30 s),
#                            the provisioning station (8 units against 1, per-unit cost, 200 units
#                            through provision --watch as a process), the patch export of
#                            10,000 slots and plans of 2,000 fixtures, the rig record at 10,000
#                            units and 100,000 results on SQLite and PostgreSQL
#   tools/bench.sh --quick   one short pass of every bench (seconds), so that none of them rots
# The build directory is $VANTELO_BUILD_DIR (default build/), jobs $VANTELO_JOBS (default 2).
# Figures are only as quiet as the machine: run it while nothing else compiles.
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${VANTELO_BUILD_DIR:-$ROOT/build}

quick=0
case "${1:-}" in
    --quick) quick=1 ;;
    "") ;;
    *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

# Google Benchmark and the PostgreSQL server (the record's rows start one) come from Debian's
# packages.
ensure_packages libbenchmark-dev postgresql postgresql-contrib

# Configured every time: a build directory made before Google Benchmark was installed has to
# find it now.
configure_testing_build "$BUILD" -DVANTELO_BENCHMARKS=ON
cmake --build "$BUILD" --target bench_device bench_startup bench_station bench_patch bench_record vantelo-cli vantelo-sim -j "$JOBS" >/dev/null

# Headless, as in CI.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
web_engine_env

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "# Vantelo benchmarks ($(date -u '+%Y-%m-%d %H:%M UTC'))"
echo
echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(uname -sr); load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)."

status=0
if [ "$quick" -eq 1 ]; then
    "$BUILD/bench/bench_device" --quick >"$out/device.txt" 2>&1 || status=1
    "$BUILD/bench/bench_startup" --quick >"$out/startup.txt" 2>&1 || status=1
    "$BUILD/bench/bench_station" --quick >"$out/station.txt" 2>&1 || status=1
    "$BUILD/bench/bench_patch" --quick >"$out/patch.txt" 2>&1 || status=1
    "$BUILD/bench/bench_record" --quick >"$out/record.txt" 2>&1 || status=1
else
    "$BUILD/bench/bench_device" --benchmark_repetitions=3 >"$out/device.txt" 2>&1 || status=1
    "$BUILD/bench/bench_startup" --runs 5 --idle-seconds 30 >"$out/startup.txt" 2>&1 || status=1
    "$BUILD/bench/bench_station" >"$out/station.txt" 2>&1 || status=1
    "$BUILD/bench/bench_patch" >"$out/patch.txt" 2>&1 || status=1
    "$BUILD/bench/bench_record" >"$out/record.txt" 2>&1 || status=1
fi

# The executables end with their Markdown tables; the raw benchmark lines stay in the logs.
sed -n '/^## /,$p' "$out/device.txt"
echo
sed -n '/^## /,$p' "$out/startup.txt"
echo
sed -n '/^## /,$p' "$out/station.txt"
echo
sed -n '/^## /,$p' "$out/patch.txt"
echo
sed -n '/^## /,$p' "$out/record.txt"
echo
echo "Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)."

if [ "$status" -ne 0 ]; then
    echo
    echo "A bench failed to run; its log follows." >&2
    cat "$out/device.txt" "$out/startup.txt" "$out/station.txt" "$out/patch.txt" "$out/record.txt" >&2
    exit 1
fi
