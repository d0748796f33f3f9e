#!/usr/bin/env bash
# Installs every Debian 12 package Plyfold needs to build, test and benchmark.
# Idempotent: packages already present are skipped, so a second run is quick.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build git clang-format clang-tidy ccache
  # windows, dialogs, drawing, settings
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  # viewer engine (MuPDF is a static library with these dependencies)
  libmupdf-dev mupdf-tools libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev
  libharfbuzz-dev libfreetype-dev libjpeg-dev zlib1g-dev libpng-dev libbrotli-dev
  # splicing library and the tools tests compare against
  libqpdf-dev qpdf poppler-utils
  # the memory allocator both programs link: the merge allocates and frees millions of small
  # objects, across threads, where glibc's allocator contends on its locks
  libjemalloc-dev
  # network and cryptography
  libcurl4-openssl-dev libssl-dev openssl
  # tests and benchmarks (the R manuals are the large real files of the merge benchmark; time -v
  # measures the peers' peak memory)
  libgtest-dev libgmock-dev libbenchmark-dev python3 time r-doc-pdf
  # headless and screenshots, fonts
  xvfb xauth x11-apps imagemagick fonts-liberation fonts-dejavu-core
  # real-display tests: a window manager, synthetic input, window queries, and the
  # accessibility bus read through a private D-Bus session
  openbox xdotool x11-utils python3-pyatspi at-spi2-core dbus dbus-daemon dbus-x11 python3-gi
  gir1.2-atspi-2.0 python3
  # install rules and the Debian package: validators for the desktop entry and metainfo,
  # dpkg-shlibdeps for the package's derived dependencies
  desktop-file-utils appstream dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
