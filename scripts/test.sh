#!/usr/bin/env bash
# Installs what Folvex needs, builds it and runs all tests headless.
#   scripts/test.sh             the whole suite
#   scripts/test.sh --sanitize  the Qt-free libraries' tests under AddressSanitizer and UBSan
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
if [ "${1:-}" = "--sanitize" ]; then
    export FOLVEX_BUILD_DIR=$root/build-sanitize
    bash "$root/scripts/build.sh" -DFOLVEX_SANITIZE=ON -DFOLVEX_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=Debug
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
    export FOLVEX_BUILD_DIR=$root/build
    bash "$root/scripts/build.sh"
fi
cd "$FOLVEX_BUILD_DIR"
ctest --output-on-failure --parallel "$jobs" --timeout 300
