#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers on every
# library of ours) in build-fuzz and runs each for a fixed time:
#   scripts/fuzz.sh [SECONDS]    default 60 seconds per target
# Prints executions per second and total executions of each target. A crash, a hang (10 s) or
# more than 2 GB of memory fails the run; the input that did it is left under
# build-fuzz/artifacts/TARGET/ and belongs in fuzz/reproducers/TARGET/ with a replay expectation
# in tests/fuzz/FuzzReplayTest.cpp once the fault is fixed.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds=${1:-60}
build_dir=${QUAVERLY_FUZZ_BUILD_DIR:-build-fuzz}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
fi

source scripts/lib.sh
install_missing_packages clang-14 libclang-rt-14-dev

compiler=$(command -v clang++-14 || command -v clang++)
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$compiler" \
    -DQUAVERLY_FUZZ=ON -DQUAVERLY_BUILD_UI=OFF -DQUAVERLY_BUILD_TESTS=OFF -DQUAVERLY_BUILD_BENCH=OFF
cmake --build "$build_dir" --target fuzz_library fuzz_placement quaverly-fuzz-seeds

generated="$build_dir/generated-seeds"
"$build_dir/fuzz/quaverly-fuzz-seeds" "$generated"

failed=()
summary=()
for target in library placement; do
    corpus="$build_dir/corpus/$target"
    artifacts="$build_dir/artifacts/$target"
    log="$build_dir/fuzz-$target.log"
    mkdir -p "$corpus" "$artifacts"
    inputs=("$corpus")
    for folder in "fuzz/seeds/$target" "fuzz/reproducers/$target" "$generated/$target"; do
        if [ -d "$folder" ]; then inputs+=("$folder"); fi
    done
    echo "Fuzzing $target for $seconds s"
    status=0
    "$build_dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -dict="fuzz/$target.dict" -artifact_prefix="$artifacts/" \
        "${inputs[@]}" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    summary+=("$(printf '%-10s %12s executions %8s exec/s  corpus %s inputs' \
        "$target" "${runs:-?}" "${rate:-?}" "$(find "$corpus" -type f | wc -l)")")
    if [ "$status" -ne 0 ]; then
        failed+=("$target")
        echo "fuzz_$target failed (exit $status); the end of $log:" >&2
        tail -n 40 "$log" >&2
    fi
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzing found faults in: ${failed[*]} (inputs under $build_dir/artifacts/)" >&2
    exit 1
fi
