#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   tools/vantelo.sh run [ARGS]   install what is missing, build, start Vantelo with a simulated 7146
#   tools/vantelo.sh test         install what is missing, build, run the whole test suite: the
#                                 bounded fuzz runs, the suite built with AddressSanitizer and
#                                 UndefinedBehaviorSanitizer, then the plain suite
#   tools/vantelo.sh setup|build  the first steps alone
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${VANTELO_BUILD_DIR:-$ROOT/build}

PACKAGES=(
    build-essential cmake pkg-config
    qtbase5-dev libqt5serialport5-dev qtwebengine5-dev libqt5svg5-dev
    xvfb xauth
    clang libclang-rt-14-dev libbenchmark-dev
    dpkg-dev desktop-file-utils appstream
    zlib1g-dev
    libqt5sql5-sqlite libqt5sql5-psql postgresql postgresql-contrib
)

setup() { ensure_packages "${PACKAGES[@]}"; }

build() {
    configure_testing_build "$BUILD" "$@"
    cmake --build "$BUILD" -j "$JOBS"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    setup) setup ;;
    build) setup; build -DVANTELO_BENCHMARKS=ON "$@" ;;
    run)
        setup; build -DVANTELO_BENCHMARKS=ON
        web_engine_env
        exec "$BUILD/vantelo" --simulate 7146 "$@"
        ;;
    test)
        # Each stage says how long it took: the whole run has to fit a CI job.
        stage() { echo "== $1: $((SECONDS - mark)) s (total $SECONDS s)"; mark=$SECONDS; }
        mark=$SECONDS
        setup; stage "set-up"
        build -DVANTELO_BENCHMARKS=OFF; stage "build"
        "$ROOT/tools/fuzz.sh" "${VANTELO_FUZZ_SECONDS:-5}"; stage "fuzz targets"
        VANTELO_JOBS=$JOBS "$ROOT/tools/sanitize.sh"; stage "sanitized suite"
        # The plain suite last, so its summary closes the output.
        ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
        ;;
    *)
        echo "usage: $0 run|test|setup|build" >&2
        exit 2
        ;;
esac
