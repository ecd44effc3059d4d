#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test both
# programs: CMake and Ninja, GoogleTest, mingw-w64 (posix threads), Wine with
# its 32-bit part, clang's libFuzzer, wixl/msitools, osslsigncode, LLVM's
# resource compiler and PE reader (llvm), and, with npm, the Zig toolchain
# (clang, lld, mingw-w64 for ARM64) pinned by version and integrity in
# cmake/zig/package-lock.json, into cmake/zig/node_modules; for the ARM64
# tests, qemu-user-static, binfmt-support and debootstrap, with which
# scripts/arm64-root.sh builds an arm64 root with Debian's arm64 Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 wine32:i386 clang libclang-rt-14-dev wixl msitools osslsigncode openssl llvm
  qemu-user-static binfmt-support debootstrap)
# Node.js and npm from Debian, unless the machine has an npm already.
if ! command -v npm >/dev/null; then packages+=(nodejs npm); fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if ! npm ls --prefix cmake/zig >/dev/null 2>&1; then
  echo "Installing the Zig toolchain: npm ci in cmake/zig"
  npm ci --prefix cmake/zig --ignore-scripts --no-audit --no-fund
fi
