#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in their own build directory and runs each for a
# bounded time, starting from its committed seed corpus. Fails when any target finds a crash, a
# sanitizer report or a broken invariant; the input that did it is kept under <build>/artifacts/.
#   tools/fuzz.sh [SECONDS] [TARGET...]     SECONDS per target (default 30); all targets by default
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${VANTELO_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}
SECONDS_EACH=${1:-30}
[ $# -gt 0 ] && shift
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
    TARGETS=(field_range quoted model_extraction fail_time sim_command settings_file plan
        provision_log)
fi

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (Debian 12: apt-get install clang libclang-rt-14-dev)" >&2
    exit 2
fi

compiler_launcher launcher
cmake -S "$ROOT/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_UNITY_BUILD=ON "${launcher[@]}" \
    >/dev/null
cmake --build "$BUILD" -j "$JOBS"

mkdir -p "$BUILD/artifacts" "$BUILD/logs"
failed=()
for target in "${TARGETS[@]}"; do
    seeds=$ROOT/fuzz/corpus/$target
    # New inputs go to a scratch corpus in the build directory; the committed seeds are only read.
    work=$BUILD/corpus/$target
    log=$BUILD/logs/$target.log
    mkdir -p "$work"
    status=0
    "$BUILD/fuzz_$target" "$work" "$seeds" \
        -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$BUILD/artifacts/$target-" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    if [ "$status" -eq 0 ]; then
        printf '%-18s ok      %10s executions in %ss\n' "$target" "${runs:-?}" "$SECONDS_EACH"
    else
        printf '%-18s FAILED  (exit %s), log: %s\n' "$target" "$status" "$log"
        grep -E -A30 'invariant broken|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' \
            "$log" | head -60 || true
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz.sh: findings in ${failed[*]}; inputs under $BUILD/artifacts/" >&2
    exit 1
fi
