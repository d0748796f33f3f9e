#!/usr/bin/env bash
# Installs the packages, configures and builds Plyfold into build/ (incremental on a second run).
# Arguments are CMake settings for build/ (e.g. -DPLYFOLD_WERROR=ON); they are kept for later runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
elif [ "$#" -gt 0 ]; then
  cmake -S . -B build "$@"
fi
cmake --build build --parallel "$(nproc)"
