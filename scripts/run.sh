#!/usr/bin/env bash
# Builds the project and starts the program; arguments go to it (a study file to open).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec build/app/korvane-intermod "$@"
