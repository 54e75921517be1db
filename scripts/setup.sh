#!/usr/bin/env bash
# Installs the Debian packages Tessel needs to build and test, only those missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev liblcms2-dev libwebp-dev
  # the desktop program: Qt 6 Widgets, Arial-metric fonts, an X server for
  # the end-to-end screenshot check
  qt6-base-dev fonts-liberation fonts-dejavu-core xvfb xauth
  # fuzz targets (libFuzzer and the sanitizer runtimes)
  clang-14 libclang-rt-14-dev
  # peers the tests compare against
  imagemagick python3-pil libtiff-tools netpbm libjpeg-turbo-progs webp
  # the browser that renders exported pages in the tests (tests/browser)
  chromium
  # random input for the window (X test extension)
  libx11-dev libxtst-dev
  # the Debian package and its checks (scripts/package.sh)
  dpkg-dev file lintian appstream man-db groff-base
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
