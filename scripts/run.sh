#!/usr/bin/env bash
# Installs what Folvex needs, builds it and starts it (on a virtual screen when there is no display).
#   bash scripts/run.sh                  Folvex with the scanners SANE finds on this machine
#   bash scripts/run.sh --test-scanner   Folvex with SANE's test devices only (test:0 and test:1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
test_scanner=0
for arg in "$@"; do
    case $arg in
        --test-scanner) test_scanner=1 ;;
        *) echo "run.sh: unknown option $arg (known: --test-scanner)" >&2; exit 2 ;;
    esac
done
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
if [ "$test_scanner" = 1 ]; then
    # A private SANE configuration whose dll.conf lists only the test backend; removed at the end.
    sane_dir=$(mktemp -d "${TMPDIR:-/tmp}/folvex-sane-XXXXXX")
    trap 'rm -rf "$sane_dir"' EXIT
    echo test >"$sane_dir/dll.conf"
    if [ -f /etc/sane.d/test.conf ]; then
        cp /etc/sane.d/test.conf "$sane_dir/test.conf"
    fi
    export SANE_CONFIG_DIR=$sane_dir
    echo "run.sh: SANE's test devices only (configuration in $sane_dir)"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display found, so Folvex runs on a virtual screen (xvfb-run) that nobody sees."
    echo "run.sh: end it with Ctrl+C here; to look at it, start run.sh from a desktop session instead."
    xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/Folvex"
    exit
fi
"$root/build/Folvex"
