#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing. Safe to run again:
# with everything present it only checks.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make
  googletest zlib1g-dev libsqlite3-dev sqlite3 libssl-dev libffi-dev
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
  wine wine64 xvfb xauth
  clang
  lua5.4 tcl8.6 python3
)

# The packages named that are not installed; a name may carry its architecture (wine32:i386). dpkg-query
# fails when a package is unknown to it; the ones it knows are still listed.
not_installed() {
  local installed p
  installed=" $( (dpkg-query -W -f='${db:Status-Status} ${Package}:${Architecture}\n' "$@" 2>/dev/null || true) |
                sed -n 's/^installed \(.*\):\(.*\)$/\1 \1:\2/p' | tr '\n' ' ')"
  for p in "$@"; do
    [[ "$installed" == *" $p "* ]] || echo "$p"
  done
}

sudo=()
as_root() {
  if [[ $(id -u) -ne 0 && ${#sudo[@]} -eq 0 ]]; then
    command -v sudo >/dev/null || { echo "setup: not root and no sudo; cannot run: $*" >&2; exit 1; }
    sudo=(sudo)
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" "$@"
}

mapfile -t missing < <(not_installed "${packages[@]}")
if ((${#missing[@]} > 0)); then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -q
  as_root apt-get install -y -q "${missing[@]}"
fi

# The 32-bit Windows build runs under Wine's 32-bit loader (Debian's wine32, an i386 package), which only
# works where the kernel runs 32-bit programs. tools/test-all.sh says so when it skips those tests.
if [[ -n $(not_installed wine32:i386) ]] && tools/can-run-32bit.sh >/dev/null; then
  echo "setup: installing wine32:i386"
  dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
  as_root apt-get update -q
  as_root apt-get install -y -q wine32:i386
fi
