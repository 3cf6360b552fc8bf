#!/usr/bin/env bash
# Installs what Folvex needs, builds it and starts it (on a virtual screen when there is no display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/Folvex"
fi
exec "$root/build/Folvex"
