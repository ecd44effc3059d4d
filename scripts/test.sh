#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the unit
# tests under ASan/UBSan, the Wine integration tests (with the ARM64 programs
# under emulation, label arm64; TOV_ARM64_TESTS=OFF leaves these out), and a
# short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
ctest --preset linux
if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh 15
fi
