#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Runs apt-get through sudo when not run as root.
set -euo pipefail

packages=(g++ cmake ninja-build qt6-base-dev libcurl4-openssl-dev libgtest-dev dosfstools mtools python3)
# Optional: --bench adds what the speed benchmark (bench/recover-speed.sh) compares against.
if [ "${1:-}" = "--bench" ]; then
    shift
    packages+=(sleuthkit)
fi
# Optional: --fuzz adds what the libFuzzer targets (fuzz/build.sh) need: clang and its fuzzer runtime.
if [ "${1:-}" = "--fuzz" ]; then
    shift
    packages+=(clang libclang-rt-14-dev)
fi
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    "${as_root[@]}" apt-get update
    "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
