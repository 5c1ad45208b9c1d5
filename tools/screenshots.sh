#!/usr/bin/env bash
# Saves a picture of every page of the main window, for a simulated device of each family, into
# the folder given (default docs/screenshots/). The program runs on a virtual X display, so the
# pictures are real windows as a user sees them.
#   tools/screenshots.sh [OUTDIR]
# Environment: VANTELO_BUILD_DIR (default build/), VANTELO_JOBS (default 2),
# VANTELO_SCREENSHOT_MODELS (default "7146 7127 7186").
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VANTELO_BUILD_DIR:-$ROOT/build}
JOBS=${VANTELO_JOBS:-2}
OUT=${1:-$ROOT/docs/screenshots}
read -r -a MODELS <<<"${VANTELO_SCREENSHOT_MODELS:-7146 7127 7186}"
# One model normally takes well under half a minute; this bounds a hang.
PER_MODEL_TIMEOUT=${VANTELO_SCREENSHOT_TIMEOUT:-120}

for tool in xvfb-run xauth timeout cmake; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" >/dev/null
fi
cmake --build "$BUILD" --target vantelo_screenshots -j "$JOBS" >/dev/null
DRIVER=$BUILD/tools/screenshots/vantelo_screenshots

mkdir -p "$OUT"

# The guide viewer's web engine refuses to start as root without its sandbox switched off, and
# has no GPU on a virtual display. These belong to the environment, never to the program.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}
export QT_QPA_PLATFORM=xcb
export QT_LOGGING_RULES=${QT_LOGGING_RULES:-qt.qpa.*=false}
unset WAYLAND_DISPLAY

failed=0
taken=0
for model in "${MODELS[@]}"; do
    log=$(mktemp)
    if timeout --kill-after=10 "$PER_MODEL_TIMEOUT" \
        xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
        "$DRIVER" "$model" "$OUT" >"$log" 2>&1; then
        count=$(grep -c '\.png$' "$log" || true)
        echo "screenshots: $model: $count pages"
        taken=$((taken + count))
        if [ "$count" -ne 4 ]; then failed=1; cat "$log" >&2; fi
    else
        echo "screenshots: $model failed" >&2
        cat "$log" >&2
        failed=1
    fi
    rm -f "$log"
done

echo "screenshots: $taken pictures in $OUT"
exit "$failed"
