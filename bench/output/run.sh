#!/usr/bin/env bash
# Builds and runs the output-area benchmark on the offscreen platform.
# Usage: bench/output/run.sh [--pages N] [--docs N] [--reps N] [--height H]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${PLYFOLD_BENCH_BUILD_DIR:-$root/build-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target plyfold_bench_output -j2 >/dev/null
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$build/bench/output/plyfold_bench_output" "$@"
