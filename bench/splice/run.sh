#!/usr/bin/env bash
# Runs the splice benchmark on the shared test PDFs (or on the files given), building it first.
# Usage: bench/splice/run.sh [--runs N] [file.pdf...]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${PLYFOLD_BUILD_DIR:-$root/build-bench}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target plyfold_bench_splice -j2 >/dev/null
runs=()
if [[ "${1:-}" == "--runs" ]]; then
  runs=(--runs "$2")
  shift 2
fi
if [[ $# -eq 0 ]]; then
  pdfs="$root/tests/data/pdfs"
  set -- "$pdfs/pari-users.pdf" "$pdfs/R-intro.pdf" "$pdfs/并行计算_パラレル.pdf" \
         "$pdfs/refcard-nf.pdf" "$pdfs/c-linearized.pdf" "$pdfs/pdflatex-forms.pdf"
fi
"$build/bench/splice/plyfold_bench_splice" "${runs[@]}" "$@"
