#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
#
#   ./run.sh                 makes the demonstration card (build/demo-card.img), recovers it into
#                            build/demo-recovered/ and lists what came back
#   ./run.sh ARGS...         runs qrt-recover ARGS... (./run.sh --help for its options)
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

if [ $# -gt 0 ]; then
    exec build/bin/qrt-recover "$@"
fi

image=build/demo-card.img
output=build/demo-recovered
./scripts/make-demo-image.sh "$image" >/dev/null
rm -rf "$output"
echo "Demonstration card: $image (folders, live files, deleted files, a deleted folder,"
echo "and a photo whose directory entry is gone)"
echo
echo "\$ qrt-recover $image $output"
build/bin/qrt-recover "$image" "$output"
echo
echo "What came back:"
(cd "$output" && find . -type f -printf '%10s  %P\n' | sort -k2)
