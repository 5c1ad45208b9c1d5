#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   tools/vantelo.sh run [ARGS]   install what is missing, build, start Vantelo with a simulated 7146
#   tools/vantelo.sh test         install what is missing, build, run the whole test suite: the
#                                 bounded fuzz runs, the suite built with AddressSanitizer and
#                                 UndefinedBehaviorSanitizer, then the plain suite
#   tools/vantelo.sh setup|build  the first steps alone
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VANTELO_BUILD_DIR:-$ROOT/build}
JOBS=${VANTELO_JOBS:-$(nproc)}

PACKAGES=(
    build-essential cmake pkg-config
    qtbase5-dev libqt5serialport5-dev qtwebengine5-dev libqt5svg5-dev
    xvfb xauth
    clang libclang-rt-14-dev libbenchmark-dev
    dpkg-dev desktop-file-utils appstream
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

setup() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

build() {
    local launcher=()
    if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
    cmake --build "$BUILD" -j "$JOBS"
}

# The embedded web engine refuses to start as root without these; they belong to the environment,
# never to the program.
web_engine_env() {
    if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
    fi
    if [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then export QT_QUICK_BACKEND=software; fi
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    setup) setup ;;
    build) setup; build "$@" ;;
    run)
        setup; build
        web_engine_env
        exec "$BUILD/vantelo" --simulate 7146 "$@"
        ;;
    test)
        setup; build
        "$ROOT/tools/fuzz.sh" "${VANTELO_FUZZ_SECONDS:-30}"
        VANTELO_JOBS=$JOBS "$ROOT/tools/sanitize.sh"
        # The plain suite last, so its summary closes the output.
        ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
        ;;
    *)
        echo "usage: $0 run|test|setup|build" >&2
        exit 2
        ;;
esac
