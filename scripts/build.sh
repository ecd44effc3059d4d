#!/usr/bin/env bash
# Builds everything: the x64 setup tool (build/win64), the x86 service
# (build/win32), both programs for ARM64 and the x64 setup tool with clang
# (build/win-arm64, build/win64-clang: the Zig toolchain, whose first build
# per target also builds its C++ runtime into zig's cache), and the Linux
# build with the simulated machine, unit tests and the example installers
# (build/linux).
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in win64 win32 win-arm64 win64-clang linux; do
  case "$preset" in
    win-arm64 | win64-clang)
      echo "== Building $preset with the Zig toolchain (a first build fills zig's cache with its C++ runtime: minutes)" ;;
    *) echo "== Building $preset" ;;
  esac
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
