#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit
# tests under ASan/UBSan, the Wine integration tests, and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --preset linux
if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh 15
fi
