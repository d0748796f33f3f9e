#!/usr/bin/env bash
# Builds Plyfold if needed and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec ./build/src/app/plyfold
