#!/usr/bin/env bash
# check-install.sh CMAKE BUILD_DIR STAGING_DIR
# Installs BUILD_DIR into STAGING_DIR (emptied first) and checks the installed tree.
set -euo pipefail

cmake_cmd=$1
build=$2
stage=$3
app_id=com.tessarine.Plyfold

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup-deps.sh installs it)" >&2; exit 1; }
done

rm -rf "$stage"
"$cmake_cmd" --install "$build" --prefix "$stage" >/dev/null

# Programs.
for program in plyfold plyfold-merge; do
  [ -x "$stage/bin/$program" ] || fail "bin/$program is not installed"
done

# Desktop entry: valid, and its command passes the application nothing (it takes no arguments).
desktop="$stage/share/applications/$app_id.desktop"
if [ -f "$desktop" ]; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $app_id.desktop"
  exec_line=$(grep -m1 '^Exec=' "$desktop" || true)
  [ "$exec_line" = "Exec=plyfold" ] || fail "the desktop entry's command is '$exec_line', not 'Exec=plyfold'"
  grep -qx 'Name=Plyfold' "$desktop" || fail "the desktop entry's Name is not Plyfold"
  grep -qx 'MimeType=application/pdf;' "$desktop" || fail "the desktop entry does not offer itself for PDF files"
  grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry's icon is not $app_id"
else
  fail "share/applications/$app_id.desktop is not installed"
fi

# Metainfo: valid without the network (the screenshot address is not fetched), and launching the
# desktop entry above.
metainfo="$stage/share/metainfo/$app_id.metainfo.xml"
if [ -f "$metainfo" ]; then
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $app_id.metainfo.xml"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not name the desktop entry $app_id.desktop"
  grep -q '<screenshot' "$metainfo" || fail "the metainfo has no screenshot"
else
  fail "share/metainfo/$app_id.metainfo.xml is not installed"
fi

# Icons: one PNG per usual hicolor size, each exactly that many pixels square.
png_edge() { # prints "<width>x<height>" from a PNG's header
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}
for edge in 16 24 32 48 64 128 256; do
  icon="$stage/share/icons/hicolor/${edge}x${edge}/apps/$app_id.png"
  if [ ! -f "$icon" ]; then
    fail "the ${edge} px icon is not installed"
  elif [ "$(head -c8 "$icon" | od -An -tx1 | tr -d ' ')" != "89504e470d0a1a0a" ]; then
    fail "the ${edge} px icon is not a PNG file"
  elif [ "$(png_edge "$icon")" != "${edge}x${edge}" ]; then
    fail "the ${edge} px icon is $(png_edge "$icon") pixels"
  fi
done

# Manual page: present, formats without warnings, and documents every option the command knows.
man_page="$stage/share/man/man1/plyfold-merge.1.gz"
if [ -f "$man_page" ]; then
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
                 "$man_page" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "the manual page formats with warnings: $warnings"
  fi
  man_text=$(gzip -dc "$man_page" | sed 's/\\-/-/g')
  help_text=$("$stage/bin/plyfold-merge" --help) || fail "plyfold-merge --help failed"
  for option in $(grep -oE '(^|[ ,])--?[a-z][a-z-]*' <<<"$help_text" | tr -d ' ,' | sort -u); do
    grep -qF -- "$option" <<<"$man_text" || fail "the manual page does not mention $option"
  done
else
  fail "share/man/man1/plyfold-merge.1.gz is not installed"
fi

# Licence and copyright notice.
for doc in copyright LICENSE; do
  [ -f "$stage/share/doc/plyfold/$doc" ] || fail "share/doc/plyfold/$doc is not installed"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed tree in $stage is complete and valid"
