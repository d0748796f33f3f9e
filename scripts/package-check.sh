#!/usr/bin/env bash
# Builds the Debian package of Plyfold with CPack and checks it on this machine: it installs with
# apt-get (which brings in its dependencies), the application starts under Xvfb and keeps running
# until stopped, plyfold-merge merges two test files, and removing the package leaves nothing behind.
#
#   bash scripts/package-check.sh [BUILD_DIR]      (default: build-package)
#
# Run it as root (or as a user with sudo) on a Debian 12 machine, ideally a fresh one (a container
# or a virtual machine): the package is really installed into /usr and removed again. It stops
# without touching anything when a package named plyfold is already installed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-package}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

step() { printf '\n== %s\n' "$*"; }
die() { echo "package-check: $*" >&2; exit 1; }

if dpkg-query -W -f='${db:Status-Status}' plyfold 2>/dev/null | grep -qv '^not-installed$'; then
  die "a package named plyfold is already installed; remove it first (apt-get remove plyfold)"
fi

step "Packages needed to build"
bash "$root/scripts/setup-deps.sh"

step "Build (tests and benchmarks off) and package into $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPLYFOLD_BUILD_TESTS=OFF -DPLYFOLD_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2
rm -f "$build"/plyfold_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/plyfold_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || die "cpack made no single plyfold_*.deb"
deb=${debs[0]}
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB; installed size $(dpkg-deb -f "$deb" Installed-Size) KiB)"
dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Homepage Depends Recommends

step "Contents"
mapfile -t shipped < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/\?$')
dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { printf "%10d  %s\n", $3, substr($6, 2) }'
for expected in /usr/bin/plyfold /usr/bin/plyfold-merge \
                /usr/share/applications/com.tessarine.Plyfold.desktop \
                /usr/share/metainfo/com.tessarine.Plyfold.metainfo.xml \
                /usr/share/icons/hicolor/256x256/apps/com.tessarine.Plyfold.png \
                /usr/share/icons/hicolor/16x16/apps/com.tessarine.Plyfold.png \
                /usr/share/man/man1/plyfold-merge.1.gz /usr/share/doc/plyfold/copyright; do
  printf '%s\n' "${shipped[@]}" | grep -qx "$expected" || die "the package lacks $expected"
done

# What exists before installing: after removal exactly these paths may remain (shared folders).
declare -A existed=()
for path in "${shipped[@]}"; do
  if [ -e "$path" ]; then existed[$path]=1; fi
done

installed_packages() {
  dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Status}\n' | awk '$2 == "installed" { print $1 }' | sort
}
installed_packages >"$build/packages-before.txt"

step "Install"
"${sudo_cmd[@]}" apt-get install -y -q "$deb"
[ "$(dpkg-query -W -f='${db:Status-Status}' plyfold)" = installed ] || die "plyfold is not installed"
mapfile -t listed < <(dpkg -L plyfold)
missing_libs=$(ldd /usr/bin/plyfold /usr/bin/plyfold-merge | grep 'not found' || true)
[ -z "$missing_libs" ] || die "unresolved libraries: $missing_libs"
desktop-file-validate /usr/share/applications/com.tessarine.Plyfold.desktop
appstreamcli validate --no-net /usr/share/metainfo/com.tessarine.Plyfold.metainfo.xml

scratch=$(mktemp -d)
cleanup() {
  rm -rf "$scratch"
  # A check that failed after installing does not leave the package behind.
  if [ "$(dpkg-query -W -f='${db:Status-Status}' plyfold 2>/dev/null)" = installed ]; then
    echo "package-check: removing the package after the failure" >&2
    "${sudo_cmd[@]}" apt-get remove -y -q plyfold >/dev/null || true
  fi
}
trap cleanup EXIT
# The programs run with a private home, so they leave no settings behind.
run_env=(env HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config"
         XDG_DATA_HOME="$scratch/home/.local/share" XDG_CACHE_HOME="$scratch/home/.cache"
         XDG_RUNTIME_DIR="$scratch/runtime")
mkdir -p "$scratch/home" "$scratch/runtime"
chmod 700 "$scratch/runtime"

step "plyfold-merge"
"${run_env[@]}" plyfold-merge --help | head -3
pdfs=$root/tests/data/pdfs
mapfile -t inputs < <(find "$pdfs" -maxdepth 1 -name '*.pdf' -size -200k | sort)
pick=()
for f in "${inputs[@]}"; do
  # Two small files that open without a password.
  if qpdf --requires-password "$f" >/dev/null 2>&1; then continue; fi
  if [ "$(qpdf --show-npages "$f" 2>/dev/null || echo 0)" -ge 1 ]; then pick+=("$f"); fi
  [ "${#pick[@]}" -eq 2 ] && break
done
[ "${#pick[@]}" -eq 2 ] || die "no two plain test PDFs in $pdfs"
"${run_env[@]}" plyfold-merge -o "$scratch/merged.pdf" "${pick[0]}:1" "${pick[1]}:1"
pages=$(qpdf --show-npages "$scratch/merged.pdf")
[ "$pages" -eq 2 ] || die "the merged file has $pages pages, not 2"
echo "merged page 1 of $(basename "${pick[0]}") and of $(basename "${pick[1]}"): $pages pages"

step "plyfold under Xvfb"
# The window must come up and stay until stopped: timeout's status 124 is success. The second start
# passes a PDF path as a file manager's "Open with" may do; the application ignores it.
cat >"$scratch/start.sh" <<'INNER'
set -u
timeout 8 "$@" &
pid=$!
sleep 5
# Each top-level window of the program: its class (which the launcher's StartupWMClass names),
# its title and whether it carries the icon.
for id in $(xwininfo -root -children | awk '$1 ~ /^0x/ { print $1 }'); do
  class=$(xprop -id "$id" WM_CLASS 2>/dev/null)
  case "$class" in *Plyfold*) ;; *) continue ;; esac
  map=$(xwininfo -id "$id" | awk -F': *' '/Map State/ { print $2 }')
  [ "$map" = IsViewable ] || continue
  icon=no
  if xprop -id "$id" _NET_WM_ICON 2>/dev/null | grep -q 'Icon ('; then icon=yes; fi
  echo "window $id $class $(xprop -id "$id" WM_NAME) icon=$icon"
done
wait "$pid"
INNER
for args in "" "${pick[0]}"; do
  set +e
  # shellcheck disable=SC2086
  out=$("${run_env[@]}" xvfb-run -a -s '-screen 0 1280x800x24' bash "$scratch/start.sh" plyfold $args 2>&1)
  status=$?
  set -e
  echo "$out" | grep -v '^$' | head -8
  [ "$status" -eq 124 ] || die "plyfold ${args:+$args }ended with status $status before it was stopped"
  echo "$out" | grep -q 'WM_CLASS(STRING) = "plyfold", "Plyfold".*icon=yes' ||
    die "no window of class plyfold/Plyfold (the launcher's StartupWMClass) with an icon appeared"
  echo "plyfold ${args:+$args }ran until stopped (status 124)"
done

step "Remove"
"${sudo_cmd[@]}" apt-get remove -y -q plyfold
status=$(dpkg-query -W -f='${db:Status-Status}' plyfold 2>/dev/null || echo not-installed)
[ "$status" = not-installed ] || die "after removal the package's state is '$status'"
left=()
for path in "${listed[@]}"; do
  [ "$path" = "/." ] && continue
  if [ -e "$path" ] && [ -z "${existed[$path]:-}" ]; then left+=("$path"); fi
done
[ "${#left[@]}" -eq 0 ] || die "left behind after removal: ${left[*]}"
echo "removed; none of the ${#listed[@]} paths the package listed is left, except folders that existed before"

# The packages the installation brought in besides plyfold (its dependencies and recommendations
# that were missing) go again, so the machine is left as it was.
installed_packages >"$build/packages-after.txt"
mapfile -t extra < <(comm -13 "$build/packages-before.txt" "$build/packages-after.txt")
if [ "${#extra[@]}" -gt 0 ]; then
  echo "removing what the installation brought in: ${extra[*]}"
  "${sudo_cmd[@]}" apt-get purge -y -q "${extra[@]}" >/dev/null
fi

step "Package check passed: $(basename "$deb")"
