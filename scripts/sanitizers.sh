#!/usr/bin/env bash
# Builds Quaverly with sanitizers and runs its tests under them; any report fails the run.
#   scripts/sanitizers.sh        both of the below
#   scripts/sanitizers.sh asan   build-asan: AddressSanitizer, UndefinedBehaviorSanitizer and
#                                LeakSanitizer over the whole suite (the window's tests offscreen)
#   scripts/sanitizers.sh tsan   build-tsan: ThreadSanitizer over the coordinator, engine and
#                                serial-executor tests
# Only our code is instrumented; Qt and the system libraries are not.
set -euo pipefail

cd "$(dirname "$0")/.."
source scripts/lib.sh

asan() {
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DQUAVERLY_SANITIZE=address,undefined -DQUAVERLY_BUILD_BENCH=OFF
    cmake --build build-asan
    # Reports exit with 86, a status no program of ours uses, so a test that expects the cli
    # to fail cannot mistake a report for that failure.
    ASAN_OPTIONS=exitcode=86:halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:strict_init_order=1 \
    UBSAN_OPTIONS=exitcode=86:print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
}

tsan() {
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DQUAVERLY_SANITIZE=thread -DQUAVERLY_BUILD_UI=OFF -DQUAVERLY_BUILD_BENCH=OFF
    cmake --build build-tsan --target coordinator_tests engine_tests platform_tests
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tests/coordinator/qt-tsan.supp"
    build-tsan/tests/coordinator/coordinator_tests
    build-tsan/tests/engine/engine_tests
    build-tsan/tests/platform/platform_tests --gtest_filter='SerialExecutor*'
}

case "${1:-all}" in
asan | tsan)
    install_missing_packages
    "$1"
    ;;
all)
    install_missing_packages
    asan
    tsan
    ;;
*)
    echo "usage: scripts/sanitizers.sh [asan|tsan]" >&2
    exit 2
    ;;
esac
