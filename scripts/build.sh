#!/usr/bin/env bash
# Builds everything: the 64-bit setup tool (build/win64), the 32-bit service
# (build/win32), and the Linux build with the simulated machine, unit tests
# and the example installer (build/linux).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win64 win32 linux; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
