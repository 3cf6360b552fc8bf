#!/usr/bin/env bash
# Builds Folvex in Release and runs every benchmark in bench/ (never part of the test run).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# setup.sh also installs sane-utils: bench_scan_throughput compares the scanner library with its scanimage.
bash "$root/scripts/setup.sh"
# bench_pdf_writer compares the PDF writer with img2pdf.
if ! command -v img2pdf >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends img2pdf
fi
export QT_QPA_PLATFORM=offscreen
export FOLVEX_BUILD_DIR=$root/build-bench
bash "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release -DFOLVEX_BUILD_BENCHMARKS=ON
for program in "$FOLVEX_BUILD_DIR"/bench/bench_*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program"
done
