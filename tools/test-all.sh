#!/usr/bin/env bash
# The full test: the Linux build with AddressSanitizer and UndefinedBehaviorSanitizer and its tests, both
# Windows builds and their tests under Wine (the 32-bit ones where this machine runs 32-bit programs), and
# both DLLs' export names. Stops at the first failing stage with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."

logs=$(mktemp -d "${TMPDIR:-/tmp}/tov-test-all.XXXXXX")
trap 'rm -rf "$logs"' EXIT
passed=0 failed=0 began=$SECONDS

summary() { echo "total: $passed passed, $failed failed"; }

# Adds the counts that GoogleTest and script_tests print at their end to the totals.
count() {
  local log=$1 n
  n=$(tr -d '\r' <"$log" | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' | tail -n 1)
  passed=$((passed + ${n:-0}))
  n=$(tr -d '\r' <"$log" | sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:.*/\1/p' | tail -n 1)
  failed=$((failed + ${n:-0}))
  while read -r p f; do
    passed=$((passed + p)) failed=$((failed + f))
  done < <(tr -d '\r' <"$log" | sed -n 's/^\([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p')
}

# stage NAME COMMAND...: runs one stage, timed; its output is shown and counted.
stage() {
  local name=$1 start=$SECONDS status=0
  shift
  echo "==> $name"
  "$@" 2>&1 | tee "$logs/stage.log" || status=$?
  count "$logs/stage.log"
  if ((status != 0)); then
    summary
    echo "test-all: FAILED in stage '$name' (status $status) after $((SECONDS - began)) s" >&2
    exit 1
  fi
  echo "==> $name: passed in $((SECONDS - start)) s"
}

build() { cmake --preset "$1" && cmake --build --preset "$1"; }

# Every entry point of the export list must be exported under its plain name, without the @N of stdcall.
check_exports() {
  local dll=$1 objdump=$2 wanted exported name missing=0
  wanted=$(sed -n '/set(TOV_ENGINE_EXPORTS/,/)/p' src/engine/exports.cmake | sed 's/#.*//; s/set(TOV_ENGINE_EXPORTS//; s/)//' |
           tr -s ' \t' '\n\n' | sed -n 's/@[0-9]*$//; /^[A-Za-z_]/p')
  exported=$("$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p')
  [[ -n $wanted ]] || { echo "no entry points found in src/engine/exports.cmake"; return 1; }
  for name in $wanted; do
    grep -qxF "$name" <<<"$exported" || { echo "$dll does not export $name"; missing=$((missing + 1)); }
  done
  if grep '@' <<<"$exported"; then
    echo "$dll exports decorated names (above)"
    missing=$((missing + 1))
  fi
  echo "$(wc -w <<<"$wanted") entry points checked in $dll, $missing problems"
  ((missing == 0))
}

stage "set-up" tools/setup.sh
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
stage "Linux build (asan)" build asan
stage "Linux unit tests" build/asan/bin/unit_tests
stage "Linux script tests" build/asan/bin/script_tests build/asan/bin/tov tests/scripts
stage "64-bit Windows build" build win64
stage "32-bit Windows build" build win32
stage "64-bit Windows tests under Wine" tools/wine-tests.sh build/win64
no_wine32="the 32-bit Wine loader (Debian package wine32) is not installed"
if ! why=$(tools/can-run-32bit.sh); then
  echo "==> 32-bit Windows tests under Wine: SKIPPED: $why (the 32-bit build and its exports are still checked)"
elif [[ ! -x /usr/lib/wine/wine ]]; then
  echo "==> 32-bit Windows tests under Wine: SKIPPED: $no_wine32 (the 32-bit build and its exports are still checked)"
else
  stage "32-bit Windows tests under Wine" tools/wine-tests.sh build/win32
fi
stage "32-bit DLL exports" check_exports build/win32/bin/tovengine.dll i686-w64-mingw32-objdump
stage "64-bit DLL exports" check_exports build/win64/bin/tovengine.dll x86_64-w64-mingw32-objdump
echo "==> all stages passed in $((SECONDS - began)) s"
summary
