#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, skipping those already
# present. Runs as root on a fresh Debian 12 machine (uses sudo when not root and sudo is
# there); otherwise it names what is missing and how to install it, and stops.
set -euo pipefail
# What each level needs; each level installs its own packages and those of the levels before it.
#   demo   building the programs and running them (make demo)
#   test   the normal build's whole test suite: X sessions, hosts, packages, Slurm (make test)
#   check  everything: sanitizers, fuzzing, the Windows build under Wine, its installer
#          (make check, what CI runs)
level=${1:-check}
case $level in
  demo|test|check) ;;
  *) echo "usage: setup.sh [demo|test|check]" >&2; exit 2 ;;
esac
# libblas-dev and liblapack-dev: dlib's link line names their libraries, and libdlib-dev does
# not depend on them (without them a fresh machine cannot link the programs).
demo_pkgs=(
  build-essential cmake ninja-build pkg-config git python3
  libpng-dev libjpeg62-turbo-dev libturbojpeg0-dev
  libtiff-dev libheif-dev libwebp-dev liblcms2-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  frei0r-plugins-dev libdlib-dev libblas-dev liblapack-dev libmlt-dev libmlt++-dev
  libsdl2-dev libfreetype-dev libfontconfig-dev fonts-liberation fontconfig libsystemd-dev
  xdg-utils
)
test_pkgs=(
  clang-format libgtest-dev libgmock-dev googletest libbenchmark-dev
  libtiff-tools libheif-examples webp libimage-exiftool-perl libjpeg-turbo-progs time
  melt gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-bad python3-skimage
  imagemagick xvfb xauth xdotool openbox x11-utils x11-xserver-utils x11-apps xrestop libx11-dev
  dbus xdg-desktop-portal xdg-desktop-portal-gtk
  slurm-wlm slurmctld slurmd slurm-client munge bc
  lintian desktop-file-utils libfile-mimeinfo-perl shared-mime-info
)
check_pkgs=(
  clang libclang-rt-14-dev nsis
)
pkgs=("${demo_pkgs[@]}")
[ "$level" = demo ] || pkgs+=("${test_pkgs[@]}")
[ "$level" = check ] && pkgs+=("${check_pkgs[@]}")
# The Windows build and its checks under Wine (make check): installed when possible; without them
# the Windows checks are skipped with a message rather than failing the set-up.
windows_pkgs=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev wine wine64
)
[ "$level" = check ] || windows_pkgs=()
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      SUDO=sudo
    else
      echo "setup: these Debian packages are missing: ${missing[*]}" >&2
      echo "setup: installing them needs root, and this is not root and has no sudo;" \
           "as root run: apt-get install ${missing[*]}" >&2
      exit 1
    fi
  fi
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "setup: these Debian packages are missing: ${missing[*]}" >&2
    echo "setup: there is no apt-get here to install them (a Debian 12 machine is expected);" \
         "install the equivalents by hand" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
windows_missing=()
for p in "${windows_pkgs[@]+"${windows_pkgs[@]}"}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || windows_missing+=("$p")
done
if [ ${#windows_missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1 && SUDO=sudo
  echo "setup: installing the Windows toolchain: ${windows_missing[*]}"
  if ! { command -v apt-get >/dev/null 2>&1 && $SUDO apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
           "${windows_missing[@]}"; }; then
    echo "setup: could not install ${windows_missing[*]}; the Windows build's checks will be" \
         "skipped" >&2
  fi
fi
