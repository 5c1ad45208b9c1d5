#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in its own build directory
# and runs the whole test suite there (leak checking on, suppressions in tools/lsan.supp).
#   tools/sanitize.sh [CTEST ARGS]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VANTELO_ASAN_BUILD_DIR:-$ROOT/build-asan}
JOBS=${VANTELO_JOBS:-$(nproc)}

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTELO_SANITIZE=ON \
    "${launcher[@]}" >/dev/null
cmake --build "$BUILD" -j "$JOBS"
ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
