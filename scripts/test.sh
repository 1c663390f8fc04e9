#!/usr/bin/env bash
# Builds the project and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
# Two at a time: the suite's tests are independent (each window test keeps its settings
# in a folder of its own), and most of them leave a core idle.
ctest -j2 --output-on-failure
