#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs; "test" adds the tools
# that the tests use to judge our output (decoders, fuzzing compiler, Xvfb)
# and Droid Sans Fallback, the font beside IPA Gothic of the default-font test.
set -euo pipefail
mode=${1:-build}
build_pkgs=(build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpng-dev libsdl2-dev libfreetype-dev libfontconfig-dev fonts-ipafont-gothic
  libjpeg62-turbo-dev libmpg123-dev libvorbis-dev libmp3lame-dev
  libsamplerate0-dev libsndfile1-dev libgtk-3-dev libxtst-dev)
test_pkgs=(clang-14 libclang-rt-14-dev libjpeg-turbo-progs mpg123 vorbis-tools xvfb xauth
  fonts-droid-fallback)
pkgs=("${build_pkgs[@]}")
[ "$mode" = test ] && pkgs+=("${test_pkgs[@]}")
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
