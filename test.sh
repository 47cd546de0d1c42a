#!/usr/bin/env bash
# Builds everything and runs every test (native unit tests, the test
# server's checks and the Wine end-to-end suite) through ctest.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native "$@"
