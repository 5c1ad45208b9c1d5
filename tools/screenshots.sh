#!/usr/bin/env bash
# Saves a picture of every page of the main window, for a simulated device of each family, into
# the folder given (default docs/screenshots/). The program runs on a virtual X display, so the
# pictures are real windows as a user sees them.
#   tools/screenshots.sh [OUTDIR]
# Environment: VANTELO_BUILD_DIR (default build/), VANTELO_JOBS (default 2),
# VANTELO_SCREENSHOT_MODELS (default "7146 7127 7186").
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${VANTELO_BUILD_DIR:-$ROOT/build}
OUT=${1:-$ROOT/docs/screenshots}
read -r -a MODELS <<<"${VANTELO_SCREENSHOT_MODELS:-7146 7127 7186}"
# One model normally takes well under half a minute; this bounds a hang.
PER_MODEL_TIMEOUT=${VANTELO_SCREENSHOT_TIMEOUT:-120}

for tool in xvfb-run xauth timeout cmake; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done

configure_testing_build "$BUILD"
cmake --build "$BUILD" --target vantelo_screenshots -j "$JOBS" >/dev/null
DRIVER=$BUILD/tools/screenshots/vantelo_screenshots

mkdir -p "$OUT"

# A real X server (virtual) rather than the offscreen platform: the pictures are real windows.
export QT_QPA_PLATFORM=xcb
web_engine_env
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
