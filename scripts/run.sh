#!/usr/bin/env bash
# Sets up, builds and starts the reader. Arguments are passed on.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec build/src/cli/vrel-cli "$@"
