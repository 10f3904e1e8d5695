#!/usr/bin/env bash
# Runs the tests of a Windows build under Wine: the unit tests (among them the GUI tests, which run
# tov.exe without the console UI and answer its boxes), then the script cases of tests/scripts and
# tests/windows through tov.exe with the console UI. Everything runs inside one virtual
# X display, in a fresh Wine prefix that is removed afterwards. The prefix is a 64-bit one; it runs the
# programs of a 32-bit build through Wine's 32-bit loader (Debian's wine32), where that is installed.
#
#   tools/wine-tests.sh BUILD-DIR        (e.g. tools/wine-tests.sh build/win64, build/win32)
set -euo pipefail

build=$(cd "${1:?usage: tools/wine-tests.sh BUILD-DIR}" && pwd)
cd "$(dirname "$0")/.."
wine=/usr/lib/wine/wine64

# Start again inside a virtual display large enough for the dialogs that GUI tests will show.
if [[ -z ${TOV_WINE_SESSION:-} ]]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" env TOV_WINE_SESSION=1 tools/wine-tests.sh "$build"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tov-wine.XXXXXX")
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: their installers would ask for a download.
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A new prefix, and no crash dialog: a crashing test program must end instead of waiting for a click.
# The virtual display has no window manager: Wine then handles windows itself ("Managed" off); otherwise
# it would wait two seconds for a window manager each time a window with a caption closes.
if ! { "$wine" wineboot --init &&
       "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
       "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f; } \
       >"$work/setup.log" 2>&1; then
  cat "$work/setup.log" >&2
  echo "wine-tests: cannot prepare the Wine prefix" >&2
  exit 1
fi

"$wine" "$build/bin/unit_tests.exe"

folders=(tests/scripts)
[[ -d tests/windows ]] && folders+=(tests/windows)
"$wine" "$build/bin/script_tests.exe" --tov-option --console "$build/bin/tov.exe" "${folders[@]}"
