#!/usr/bin/env bash
# Builds everything and runs every test through ctest: the unit tests and
# the fuzz corpora under the address and undefined-behaviour sanitizers,
# the unit tests under ThreadSanitizer (both built with clang), then the
# native unit tests, the test server's checks and the Wine end-to-end
# suite, the exe built with clang included.
set -euo pipefail
cd "$(dirname "$0")"

bash tools/setup.sh
for preset in windows windows-clang asan tsan native; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
ctest --preset asan "$@"
ctest --preset tsan "$@"
ctest --preset native "$@"
