# Sourced by the scripts in tools/: what they all need to know about running here.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${VANTELO_JOBS:-$(nproc)}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Debian packages that are not installed yet, installed in one go.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# The compiler cache, when there is one, as CMake arguments (an array named by $1).
compiler_launcher() {
    local -n out=$1
    out=()
    if command -v ccache >/dev/null; then out=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
}

# The embedded web engine refuses to start as root without these, and has no GPU without a
# display; they belong to the environment, never to the program. Without a display the offscreen
# platform stands in for one.
web_engine_env() {
    if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
    fi
    if [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then export QT_QUICK_BACKEND=software; fi
    export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}
}

# Configures a build directory with the suite, benchmarks and tools switched on.
configure_testing_build() {
    local dir=$1
    shift
    local launcher
    compiler_launcher launcher
    # A unity build: each layer's sources compiled as a few files, which parses Qt's headers a
    # few times instead of once a source and makes the build several times faster on two cores.
    # The package is built file by file, so a missing include still shows there.
    # Line tables are all a failing test's backtrace or a profile needs; full debug information
    # made the build a fifth longer.
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
        -DCMAKE_UNITY_BUILD=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
        "${launcher[@]}" "$@" >/dev/null
}
