#!/usr/bin/env bash
# Builds and runs the main-window benchmark on the offscreen platform.
# Usage: bench/frame/run.sh [--docs N] [--reps N]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${PLYFOLD_BENCH_BUILD_DIR:-$root/build-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target plyfold_bench_frame -j2 >/dev/null
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$build/bench/frame/plyfold_bench_frame" \
  --pdfs "$root/tests/data/pdfs" "$@"
