#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UBSan into build-fuzz and runs
# each for a while, all at once. Crashes are kept as build-fuzz/findings/<target>/crash-*.
#   scripts/fuzz.sh           every target for 180 seconds
#   scripts/fuzz.sh 600 fuzz_tiff_joiner fuzz_ini_settings
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-180}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_pdf_png fuzz_pdf_jpeg fuzz_pdf_jpx fuzz_pdf_bmp fuzz_tiff_joiner fuzz_ini_settings
        fuzz_image_import)
fi
build=$root/build-fuzz
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DFOLVEX_FUZZ=ON -DFOLVEX_SANITIZE=ON -DFOLVEX_WITH_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel 4 --target "${targets[@]}"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in "${targets[@]}"; do
    mkdir -p "$build/findings/$target" "$build/corpus/$target"
    (cd "$build/findings/$target" &&
        "$build/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=4096 \
            "$build/corpus/$target" >"$build/findings/$target/log" 2>&1) &
done
for job in $(jobs -p); do
    wait "$job" || status=1
done
for target in "${targets[@]}"; do
    log=$build/findings/$target/log
    runs=$(grep -o 'Done [0-9]* runs' "$log" | tail -1 || true)
    crashes=$(find "$build/findings/$target" -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' | wc -l)
    echo "$target: ${runs:-no summary} (findings: $crashes; log $log)"
done
exit $status
