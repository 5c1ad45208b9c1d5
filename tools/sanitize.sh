#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in its own build directory
# and runs the whole test suite there (leak checking on, suppressions in tools/lsan.supp).
#   tools/sanitize.sh [CTEST ARGS]
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD=${VANTELO_ASAN_BUILD_DIR:-$ROOT/build-asan}

configure_testing_build "$BUILD" -DVANTELO_SANITIZE=ON
cmake --build "$BUILD" -j "$JOBS"
ctest --test-dir "$BUILD" --output-on-failure -j "$JOBS" "$@"
