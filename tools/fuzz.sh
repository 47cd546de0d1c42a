#!/usr/bin/env bash
# Fuzzes each target of tests/fuzz for SECONDS (default 60), one after
# another on one core, in the sanitizer build. New inputs collect in
# build/asan/fuzz-corpus/<target>; a crash or a failed property leaves its
# input in build/asan/fuzz-findings/<target>/ (add it to the target's corpus
# in tests/fuzz/corpus/ with the fix).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset asan >/dev/null
cmake --build --preset asan
failed=0
for source in tests/fuzz/*_fuzz.cpp; do
    target=$(basename "$source" _fuzz.cpp)
    work=build/asan/fuzz-corpus/$target findings=build/asan/fuzz-findings/$target
    mkdir -p "$work" "$findings"
    echo "== $target: ${seconds} s"
    build/asan/tests/fuzz/fuzz_"$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$target" || failed=1
done
exit $failed
