#!/usr/bin/env bash
# Installs the packages, configures and builds Plyfold into build/ (incremental on a second run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-deps.sh
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build --parallel "$(nproc)"
