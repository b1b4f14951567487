#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   ./test.sh              normal build in build/
#   ./test.sh --sanitize   address and undefined-behaviour sanitizers, in build-asan/
# Further arguments go to ctest (for example: -L fat, -R Chain).
set -euo pipefail
cd "$(dirname "$0")"

build=build
cmake_args=()
if [ "${1:-}" = "--sanitize" ]; then
    build=build-asan
    cmake_args+=(-DQRT_SANITIZE=ON)
    shift
fi

./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja "${cmake_args[@]}"
cmake --build "$build"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
