#!/usr/bin/env bash
# Runs the command on the display there is, or inside Xvfb when there is none.
# Usage: bench/on_display.sh <command>...
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi
# -noreset: the display must outlive each browser the benchmark starts and stops.
exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$@"
