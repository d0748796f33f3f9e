#!/usr/bin/env bash
# Builds Plyfold if needed (warnings are errors here), checks the sources' formatting and runs the
# static checks (scripts/check-clean.sh), runs the whole test suite headless through CTest, then the
# real-display tier (the built application on Xvfb with a window manager, at 1x and 2x), then
# builds it again with the sanitizers (scripts/test-sanitizers.sh, into build-asan/) and runs the
# suite there. Extra arguments go to both ctest runs (e.g. -R splice).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh -DPLYFOLD_WERROR=ON
bash scripts/check-clean.sh
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --parallel "$(nproc)" "$@"
bash tests/display-x11/run.sh
bash scripts/test-sanitizers.sh "$@"
