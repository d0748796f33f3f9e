#!/usr/bin/env bash
# Builds Plyfold if needed, runs the whole test suite headless through CTest, then the
# real-display tier (the built application on Xvfb with a window manager, at 1x and 2x).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --parallel "$(nproc)" "$@"
bash tests/display-x11/run.sh
