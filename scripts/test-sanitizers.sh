#!/usr/bin/env bash
# Builds Plyfold with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (incremental on a second run) and runs the test suite there. Any memory error, leak
# or undefined behaviour ends the test that hit it with a failure and a stack.
# Extra arguments go to ctest (e.g. -R splice).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
if [ ! -f build-asan/CMakeCache.txt ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPLYFOLD_SANITIZE=ON -DPLYFOLD_BUILD_BENCH=OFF
fi

# The same settings hold for the tools the build runs (artwork rendering, test discovery).
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0:check_initialization_order=1
export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$PWD/tests/sanitizers/ubsan.supp"
export QT_QPA_PLATFORM=offscreen
# The wide-corpus tables (tests/wide) take every 10th file of tests/data/wide here, a fixed sample:
# every file runs several times slower under the sanitizers. Set it to 1 for the whole corpus.
export PLYFOLD_WIDE_CORPUS_STRIDE="${PLYFOLD_WIDE_CORPUS_STRIDE:-10}"

cmake --build build-asan --parallel "$(nproc)"
ctest --test-dir build-asan --output-on-failure --parallel "$(nproc)" "$@"
