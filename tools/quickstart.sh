#!/usr/bin/env bash
# First steps: installs what is missing, builds the tov runner and runs the example script.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
cmake --preset release --log-level=WARNING
cmake --build --preset release --target tov
echo "==> build/release/bin/tov examples/hello.tov"
status=0
build/release/bin/tov examples/hello.tov || status=$?
echo "==> exit status $status"
exit "$status"
