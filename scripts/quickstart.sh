#!/usr/bin/env bash
# Sets up a Debian 12 machine (or any with the packages below), builds Quaverly, and
# either runs it or runs the test suite:
#   scripts/quickstart.sh run    build and start the application
#   scripts/quickstart.sh test   build and run every test through CTest
set -euo pipefail

cd "$(dirname "$0")/.."
build_dir=${QUAVERLY_BUILD_DIR:-build}

source scripts/lib.sh

build() {
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build_dir"
}

case "${1:-}" in
run)
    install_missing_packages
    build
    exec "$build_dir/src/ui/quaverly"
    ;;
test)
    install_missing_packages
    build
    ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
    ;;
*)
    echo "usage: scripts/quickstart.sh run|test" >&2
    exit 2
    ;;
esac
