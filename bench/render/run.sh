#!/usr/bin/env bash
# Builds plyfold_bench_render and runs it on a few of the test PDFs (or on the files given).
# Usage: bench/render/run.sh [--reps N] [file.pdf...]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
# The default build type (RelWithDebInfo, -O2) is what the program ships with.
build="${PLYFOLD_BENCH_BUILD_DIR:-$root/build-bench}"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target plyfold_bench_render -j2
args=()
files=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --reps|--dpi) args+=("$1" "$2"); shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
if [[ ${#files[@]} -eq 0 ]]; then
  pdfs="$root/tests/data/pdfs"
  files=("$pdfs/R-intro.pdf" "$pdfs/pari-users.pdf" "$pdfs/refcard-nf.pdf"
         "$pdfs/c-linearized.pdf" "$pdfs/to-rotate.pdf")
fi
exec "$build/bench/render/plyfold_bench_render" "${args[@]}" "${files[@]}"
