#!/usr/bin/env bash
# Builds everything and runs every test through ctest: the unit tests
# under ThreadSanitizer, then the native unit tests, the test server's
# checks and the Wine end-to-end suite.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan "$@"
ctest --preset native "$@"
