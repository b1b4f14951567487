#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/bin: the whole project compiled by clang with the
# address and undefined-behaviour sanitizers and the fuzzer's coverage instrumentation.
#   fuzz/build.sh [build folder]
# Needs the optional packages clang and libclang-rt-14-dev: scripts/install-deps.sh --fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-fuzz}
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer"

cmake -S . -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DQRT_FUZZ=ON -DQRT_BUILD_TESTS=OFF -DQRT_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target fuzzers -j "${JOBS:-2}"
