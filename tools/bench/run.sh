#!/usr/bin/env bash
# Builds what the benchmark needs and runs it: bash tools/bench/run.sh [--size-mib N] [--runs N]
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
python3 tools/bench/bench.py "$@"
