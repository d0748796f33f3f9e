#!/usr/bin/env bash
# Builds and runs the Add File benchmark on a real X display (Xvfb) with a 2,415-page file made
# from the shared test PDFs, 80 copies of a 113-page file, and a 24,150-page file; then three
# copies of the 2,415-page file are added and saved under the progress dialog.
# Usage: bench/add/run.sh [--reps N]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${PLYFOLD_BENCH_BUILD_DIR:-$root/build-bench}"
pdfs="$root/tests/data/pdfs"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target plyfold_bench_add -j2 >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
qpdf --empty --pages "$pdfs/pari-users.pdf" "$pdfs/pari-users.pdf" "$pdfs/pari-users.pdf" \
  "$pdfs/R-intro.pdf" "$pdfs/R-intro.pdf" "$pdfs/R-intro.pdf" "$pdfs/R-intro.pdf" 1-51 \
  -- "$work/2415.pdf"
big=()
for _ in 1 2 3 4 5 6 7 8 9 10; do big+=("$work/2415.pdf"); done
qpdf --empty --pages "${big[@]}" -- "$work/24150.pdf"
bench="$build/bench/add/plyfold_bench_add"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  '$bench' --file '$work/2415.pdf' $*
  '$bench' --file '$pdfs/R-intro.pdf' --copies 80 $*
  '$bench' --file '$work/24150.pdf' $*
  '$bench' --file '$work/2415.pdf' --copies 3 --reps 1 --save"
