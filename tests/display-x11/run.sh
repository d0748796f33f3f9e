#!/usr/bin/env bash
# The real-display tier: the built plyfold on Xvfb with a window manager, driven by real pointer
# and keyboard input, its screen compared with a full repaint after every step and its
# accessibility tree checked (drive.py). Runs at the scales given (default: 1 and 2); screenshots
# go to build/display-x11/scale-<n>, which a failing run names.
# Needs the packages of scripts/setup-deps.sh and a built build/src/app/plyfold.
set -euo pipefail
cd "$(dirname "$0")/../.."
app=build/src/app/plyfold
if [ ! -x "$app" ]; then
  echo "display-x11: $app is not built" >&2
  exit 1
fi
scales=("$@")
if [ "${#scales[@]}" -eq 0 ]; then scales=(1 2); fi
status=0
for scale in "${scales[@]}"; do
  # A private session bus for the accessibility bus; nothing of the caller's desktop is used.
  env -u DBUS_SESSION_BUS_ADDRESS -u AT_SPI_BUS_ADDRESS -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR \
    dbus-run-session -- /usr/bin/python3 tests/display-x11/drive.py \
    --app "$app" --out "build/display-x11/scale-$scale" --data tests/data/pdfs --scale "$scale" \
    2> >(grep -v 'Failed to set fd limit' >&2) || status=1
done
exit "$status"
