#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, skipping those already
# present. Runs as root on a fresh Debian 12 machine (uses sudo when not root).
set -euo pipefail
pkgs=(
  build-essential cmake pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libpng-dev libjpeg62-turbo-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  libsdl2-dev libfreetype-dev libfontconfig-dev fonts-liberation fontconfig
  imagemagick xvfb xauth xdotool
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
