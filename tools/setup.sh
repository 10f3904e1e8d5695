#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing. Safe to run again:
# with everything present it only checks.
set -euo pipefail

packages=(
  cmake g++ make
  googletest zlib1g-dev libsqlite3-dev sqlite3 libffi-dev
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
  wine wine64 xvfb xauth
  clang
  lua5.4 tcl8.6 python3
)

# dpkg-query fails when a package is unknown to it; the ones it knows are still listed.
installed=" $( (dpkg-query -W -f='${db:Status-Status} ${Package}\n' "${packages[@]}" 2>/dev/null || true) |
              sed -n 's/^installed //p' | tr '\n' ' ')"
missing=()
for p in "${packages[@]}"; do
  [[ "$installed" == *" $p "* ]] || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "setup: not root and no sudo; install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
