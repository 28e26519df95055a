#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (30 unless told), starting from the seed inputs under tests/fuzz/corpus. What a run
# finds is kept in build/fuzz/corpus, so a longer run carries on from it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

bash scripts/install-packages.sh build-essential cmake clang libclang-rt-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

for target in keyDecoderFuzz hexValueFuzz; do
    found=build/fuzz/corpus/$target
    mkdir -p "$found"
    echo "fuzzing $target for ${seconds}s"
    "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build/fuzz/ \
        "$found" "tests/fuzz/corpus/${target%Fuzz}" 2>&1 | tail -n 12
done
