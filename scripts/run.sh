#!/usr/bin/env bash
# Sets up, builds and starts the reader, the tray program vrel. Arguments are
# passed on (for instance /c for its settings, or /s for the screen saver).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec build/src/app/vrel "$@"
