#!/usr/bin/env bash
# Builds and runs the storage benchmark: reading, copying and compacting a
# 100 MB block file, each as a ratio to cp of the same bytes.
#   bash bench/storage.sh            (build folder: build, data: build/bench-data)
#   BUILD_DIR=build-x bash bench/storage.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target storage_bench -j 2 >/dev/null
exec "$build/bench/storage_bench" "$build/bench-data/storage"
