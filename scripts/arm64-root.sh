#!/usr/bin/env bash
# An arm64 Debian 12 root with Debian's arm64 Wine, run under qemu-user, for
# the ARM64 programs' tests.
#
#   scripts/arm64-root.sh                 builds the root if missing (once)
#   scripts/arm64-root.sh run CMD ARG...  runs CMD in the root
#   wine|wineboot|wineserver|winepath ARG...
#                                         the same, through the links of the
#                                         same name in scripts/arm64-wine
#
# The root is built once with debootstrap (about 6 minutes and 89 MB of
# packages) into ${TOV_ARM64_ROOT:-${XDG_CACHE_HOME:-~/.cache}/tovmouse/arm64-root}
# from the Debian mirror of the machine's apt sources (TOV_ARM64_MIRROR
# overrides it). Every run gets a mount namespace of its own, with /proc,
# /dev, /sys, the repository and TOV_ARM64_BINDS (directories separated by
# colons, such as an outside build tree) mounted at their own paths: the
# mounts go away with the run and nothing is left mounted in the cache.
# Needs root, qemu-user-static and binfmt-support (scripts/install-deps.sh),
# and binfmt_misc, which it mounts when missing; it fails with one line when
# that cannot be done (an unprivileged container), naming TOV_ARM64_TESTS=OFF,
# which leaves the ARM64 Wine tests out.
set -euo pipefail
repo="$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)"
root="${TOV_ARM64_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/tovmouse/arm64-root}"
binfmt=/proc/sys/fs/binfmt_misc

fail() {
  echo "arm64-root: $*; set TOV_ARM64_TESTS=OFF to leave the ARM64 tests out" >&2
  exit 1
}

# qemu-aarch64 registered with binfmt_misc: the kernel hands it every arm64
# program, in the root too (the interpreter is opened when registered).
binfmt_ready() {
  [ -e "$binfmt/qemu-aarch64" ] && return 0
  [ "$(id -u)" -eq 0 ] || fail "needs root to register qemu-aarch64 with binfmt_misc"
  command -v update-binfmts >/dev/null || fail "qemu-user-static and binfmt-support are missing: run scripts/install-deps.sh"
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      fail "binfmt_misc cannot be mounted here (an unprivileged container?), so no ARM64 program can run"
  fi
  update-binfmts --enable qemu-aarch64 >/dev/null 2>&1 || true
  [ -e "$binfmt/qemu-aarch64" ] || fail "qemu-aarch64 could not be registered with binfmt_misc"
}

# The first Debian mirror of the apt sources, not the security one.
mirror() {
  grep -hsE '^(deb|URIs:)' /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources |
    grep -oE 'https?://[^ ]*/debian/?( |$)' | head -n 1 | tr -d ' '
}

build_root() {
  [ -f "$root/.complete" ] && return 0
  command -v debootstrap >/dev/null || fail "debootstrap is missing: run scripts/install-deps.sh"
  mkdir -p "${root%/*}"
  exec 9>"$root.lock"
  flock 9
  [ -f "$root/.complete" ] && return 0
  local url="${TOV_ARM64_MIRROR:-$(mirror)}" start=$SECONDS
  echo "arm64-root: building $root from ${url:=http://deb.debian.org/debian} (once, about 6 minutes)" >&2
  rm -rf "$root.new"
  debootstrap --arch=arm64 --variant=minbase --include=wine,wine64 bookworm "$root.new" "$url" >"$root.log" 2>&1 ||
    fail "debootstrap failed, see $root.log"
  rm -f "$root.new"/var/cache/apt/archives/*.deb # the downloaded packages, no longer needed
  rm -rf "$root"
  mv "$root.new" "$root"
  touch "$root/.complete"
  exec 9>&- # not held by the programs run in the root
  echo "arm64-root: built in $((SECONDS - start)) s" >&2
}

# run CMD ARG...: in a private mount namespace, mounts and chroot; the current
# directory is kept (it lies in the repository or a bound directory), and so
# is the environment but PATH (whose scripts/arm64-wine would lead back here).
run() {
  local dirs="$repo${TOV_ARM64_BINDS:+:$TOV_ARM64_BINDS}"
  exec unshare --mount --propagation private /bin/bash -c '
    set -e
    root=$1 dirs=$2 dir=$3
    shift 3
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mount --rbind /sys "$root/sys"
    IFS=: read -ra binds <<<"$dirs"
    for d in "${binds[@]}"; do
      [ -d "$d" ] || continue
      mkdir -p "$root$d"
      mount --bind "$d" "$root$d"
    done
    exec chroot "$root" /usr/bin/env PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin \
      /bin/sh -c "cd \"\$0\" 2>/dev/null || cd /; exec \"\$@\"" "$dir" "$@"
  ' bash "$root" "$dirs" "$PWD" "$@"
}

binfmt_ready
build_root
case "${0##*/}" in
wine | wineboot | wineserver | winepath) run "${0##*/}" "$@" ;;
*) if [ "${1:-}" = run ]; then run "${@:2}"; fi ;;
esac
