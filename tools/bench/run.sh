#!/usr/bin/env bash
# Builds what the benchmark needs and runs it: bash tools/bench/run.sh [--size-mib N] [--runs N]
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

# A copy that pins the generated sample, to time the SHA-256 check as well.
size_mib=256
for ((i = 1; i <= $#; i++)); do [[ "${!i}" == "--size-mib" ]] && { j=$((i + 1)); size_mib=${!j}; }; done
sha=$(python3 tests/server/test_server.py --sha256 --size $((size_mib * 1024 * 1024)))
port=$(sed -n 's/^CVELTRIX_TEST_PORT:STRING=//p' build/windows/CMakeCache.txt)
cmake --preset windows -B build/windows-bench \
    "-DDOWNLOAD_URL=$(python3 tests/server/test_server.py --print-url --port "$port")" \
    "-DDOWNLOAD_SHA256=$sha" >/dev/null
cmake --build build/windows-bench --target cveltrix -j2
# The local server listens where the test builds fetch from.
CVELTRIX_TEST_PORT=$port python3 tools/bench/bench.py --pinned-exe build/windows-bench/bin/Cveltrix.exe "$@"
