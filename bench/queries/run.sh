#!/usr/bin/env bash
# Builds and runs the query benchmark on the offscreen platform.
# Usage: bench/queries/run.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${PLYFOLD_BENCH_BUILD_DIR:-$root/build-bench}"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target plyfold_bench_queries -j2 >/dev/null
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" exec "$build/bench/queries/plyfold_bench_queries" \
  --pdfs "$root/tests/data/pdfs" "$@"
