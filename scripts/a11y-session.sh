#!/usr/bin/env bash
# Runs Plyfold on a private X display (Xvfb) with a window manager (openbox) and a private D-Bus
# session carrying the accessibility bus, adds documents through the Add File dialog with real
# key presses (xdotool), writes screenshots of the X screen after each step, and walks the
# accessibility tree (scripts/atspi-check.py).
#
#   scripts/a11y-session.sh OUTDIR [SCALE]
#
# SCALE (default 1) is given to Qt as QT_SCALE_FACTOR, so 2 shows the program at twice the size.
# Settings go to a temporary home, never the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:?output folder}"
scale="${2:-1}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
root="$(pwd)"
program="$root/build/src/app/plyfold"
data="$root/tests/data/pdfs"

if [ -z "${PLYFOLD_IN_SESSION:-}" ]; then
  display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  home="$(mktemp -d)"
  status=0
  DISPLAY="$display" HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home" \
    PLYFOLD_IN_SESSION=1 dbus-run-session -- bash "$0" "$out" "$scale" || status=$?
  rm -rf "$home"
  exit $status
fi

shot() { import -window root "$out/$1.png"; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.6; }
type_text() { xdotool type --delay 15 -- "$1"; sleep 0.3; }

openbox >"$out/openbox.log" 2>&1 &
sleep 1
QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  QT_SCALE_FACTOR="$scale" "$program" >"$out/plyfold.log" 2>&1 &
app=$!
sleep 4
window="$(xdotool search --sync --onlyvisible --name 'Plyfold' | tail -1)"
xdotool windowactivate --sync "$window" || true
shot 01-start

add_file() {
  key ctrl+o
  type_text "$1"
  key Return
  sleep 1.5
}
add_file "$data/boxes.pdf"
add_file "$data/R-intro.pdf"
shot 02-added

# The password prompt of an encrypted file (its owner password is "master").
key ctrl+o
type_text "$data/enc-XI-R6,V5,O=master.pdf"
key Return
sleep 1.5
shot 03-password
type_text master
key Return
sleep 2
shot 03b-encrypted-added

# Keyboard only: Tab to the first document's expand button and press Enter.
xdotool windowactivate --sync "$window" || true
for _ in $(seq 16); do
  key Tab
  focused="$(/usr/bin/python3 "$root/scripts/atspi-check.py" --focused 2>/dev/null || true)"
  echo "Tab -> ${focused}" >>"$out/keyboard.log"
  case "$focused" in "Show pages of boxes.pdf"*) key Return; break ;; esac
done
sleep 2
shot 04-expanded-by-keyboard

status=0
/usr/bin/python3 "$root/scripts/atspi-check.py" >"$out/atspi-tree.txt" 2>&1 || status=$?
tail -5 "$out/atspi-tree.txt"

# About from the help button's menu, then a click on the disabled main window: the about window
# must stay in front of it.
eval "$(xdotool getwindowgeometry --shell "$window")"
# The help button's centre on the screen, as the accessibility tree reports it.
read -r help_x help_y < <(/usr/bin/python3 "$root/scripts/atspi-check.py" --centre Help)
# Qt's bridge reports positions in its own (scaled) pixels; the X screen counts device pixels.
help_x=$(( help_x * scale )); help_y=$(( help_y * scale ))
echo "help button at $help_x,$help_y (window $X,$Y ${WIDTH}x$HEIGHT)" >>"$out/keyboard.log"
xdotool mousemove "$help_x" "$help_y" click 1
sleep 1
key p
sleep 1.5
shot 05-about
xdotool mousemove $(( X + WIDTH / 3 )) $(( Y + HEIGHT - 40 )) click 1
sleep 1.5
shot 06-about-after-click-on-main
# A click on the about window dismisses it and gives the main window back.
xdotool mousemove $(( X + WIDTH / 2 )) $(( Y + HEIGHT / 2 )) click 1
sleep 1.5
shot 07-about-dismissed
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
exit $status
