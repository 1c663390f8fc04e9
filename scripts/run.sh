#!/usr/bin/env bash
# Builds the project and runs the example study; extra arguments go to intermod-study.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec build/cli/intermod-study "${@:-examples/mesa_ridge.int}"
