#!/usr/bin/env bash
# Configures and builds Folvex into build/ (or the folder given as FOLVEX_BUILD_DIR).
# Extra arguments go to CMake's configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FOLVEX_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
