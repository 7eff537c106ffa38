#!/usr/bin/env bash
# Builds kinevista_VERSION_amd64.deb from a finished build tree: installs it into a staging root
# under /usr, strips the binaries, adds the Debian documents and computes the library
# dependencies with dpkg-shlibdeps. What that cannot see is written here: libX11 (opened at run
# time for the window layer's display hints), a font that fontconfig gives for "Arial", xdg-utils
# (the Help menu opens the manual with xdg-open).
# Usage: make_deb.sh BUILD_DIR [OUT_DIR]   (prints the package's path)
set -euo pipefail
build=$(realpath "$1")
out=$(realpath "${2:-$build}")
src=$(cd "$(dirname "$0")/.." && pwd)
work="$build/deb"
stage="$work/root"
rm -rf "$work"
mkdir -p "$stage" "$out"

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
version=$("$stage/usr/bin/kinevista-cli" --version | awk '{print $2}')
[ -n "$version" ] || { echo "make_deb: kinevista-cli gives no version" >&2; exit 1; }

# Debian's layout rules: plain permissions, stripped ELF files, compressed man pages, the
# changelog and copyright beside each other.
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$stage"/usr/bin/*
shopt -s nullglob  # a build without the frei0r source has no lib/frei0r-1
elves=("$stage"/usr/bin/* "$stage"/usr/lib/kinevista/* "$stage"/usr/lib/frei0r-1/*)
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${elves[@]}"
gzip -9n "$stage"/usr/share/man/man1/*.1
doc="$stage/usr/share/doc/kinevista"
mkdir -p "$doc"
install -m 0644 "$src/packaging/debian/copyright" "$doc/copyright"
gzip -9nc "$src/packaging/debian/changelog" >"$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"

# dpkg-shlibdeps wants a source package around it.
mkdir -p "$work/src/debian"
printf 'Source: kinevista\n\nPackage: kinevista\nArchitecture: amd64\n' >"$work/src/debian/control"
shlibs=$(cd "$work/src" && dpkg-shlibdeps -O -xkinevista "${elves[@]}" 2>/dev/null |
         sed -n 's/^shlibs:Depends=//p')
[ -n "$shlibs" ] || { echo "make_deb: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

mkdir -p "$stage/DEBIAN"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
cat >"$stage/DEBIAN/control" <<CONTROL
Package: kinevista
Version: $version
Architecture: amd64
Maintainer: Kinevista maintainers <maintainers@kinevista.example>
Installed-Size: $size
Depends: $shlibs, libx11-6, fonts-liberation | fonts-liberation2, fontconfig, xdg-utils
Suggests: ffmpeg, melt
Section: video
Priority: optional
Homepage: https://kinevista.example
Description: camera moves over still pictures, rendered to movies
 Kinevista sets camera keys over a picture (centre, width, rotation and two
 tilts) and glides between them on eased, curved paths. The editor shows the
 stage, the timeline and a viewer; kinevista-cli renders shows to movies and
 stills without a window. The package also holds the host video system's
 plug-in with its test host, and a frei0r source for FFmpeg and MLT.
CONTROL
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
deb="$out/kinevista_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
