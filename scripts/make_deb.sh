#!/usr/bin/env bash
# Builds kinevista_VERSION_amd64.deb from a finished build tree: installs it into a staging root
# under /usr, strips the binaries, adds the Debian documents and computes the library
# dependencies with dpkg-shlibdeps. What that cannot see is written here: FFmpeg's libraries
# (opened when a movie is first written; named through a stand-in), libX11 (opened at run
# time for the window layer's display hints), a font that fontconfig gives for "Arial", xdg-utils
# (the Help menu opens the manual with xdg-open).
# MLT's own producer, its description and Kdenlive's generator go into a package of their own,
# kinevista-mlt_VERSION_amd64.deb (depending on this one and on MLT), so that the main package
# never pulls MLT in.
# Usage: make_deb.sh BUILD_DIR [OUT_DIR]   (prints the package's path, then kinevista-mlt's when
# the build has the MLT producer)
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

# The MLT producer's files move to their own staging root.
mltstage="$work/mlt-root"
mlt_files=(usr/lib/*/mlt-7/libmltkinevista.so usr/share/mlt-7/kinevista
           usr/share/kdenlive/generators/kinevista.xml)
have_mlt=0
for f in "${mlt_files[@]}"; do
    for path in "$stage"/$f; do
        [ -e "$path" ] || continue
        have_mlt=1
        rel=${path#"$stage"/}
        mkdir -p "$mltstage/$(dirname "$rel")"
        mv "$path" "$mltstage/$rel"
    done
done
find "$stage/usr" -depth -type d -empty -delete

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
# The programs open FFmpeg's libraries when they first write a movie, so no program names them:
# a stand-in linked to the same libraries (and not packaged) gives dpkg-shlibdeps their names.
ffmpeg_stub="$work/ffmpeg-libraries"
echo 'int main(void) { return 0; }' |
    ${CC:-cc} -x c - -o "$ffmpeg_stub" -Wl,--no-as-needed \
        $(pkg-config --libs libavformat libavcodec libavutil libswscale libswresample)
shlibs=$(cd "$work/src" && dpkg-shlibdeps -O -xkinevista "${elves[@]}" "$ffmpeg_stub" 2>/dev/null |
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
 plug-in with its test host, and a frei0r source for FFmpeg and MLT
 (MLT's own producer is in kinevista-mlt).
CONTROL
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
deb="$out/kinevista_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"

[ "$have_mlt" -eq 1 ] || exit 0
find "$mltstage" -type d -exec chmod 0755 {} +
find "$mltstage" -type f -exec chmod 0644 {} +
mltelves=("$mltstage"/usr/lib/*/mlt-7/*.so)
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${mltelves[@]}"
mltdoc="$mltstage/usr/share/doc/kinevista-mlt"
mkdir -p "$mltdoc"
install -m 0644 "$src/packaging/debian/copyright" "$mltdoc/copyright"
gzip -9nc "$src/packaging/debian/changelog" >"$mltdoc/changelog.gz"
chmod 0644 "$mltdoc/changelog.gz"
printf 'Source: kinevista\n\nPackage: kinevista-mlt\nArchitecture: amd64\n' >"$work/src/debian/control"
mltshlibs=$(cd "$work/src" && dpkg-shlibdeps -O -xkinevista-mlt "${mltelves[@]}" 2>/dev/null |
            sed -n 's/^shlibs:Depends=//p')
[ -n "$mltshlibs" ] || { echo "make_deb: dpkg-shlibdeps found no dependencies of the MLT producer" >&2; exit 1; }
mkdir -p "$mltstage/DEBIAN"
(cd "$mltstage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$mltstage/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$mltstage" | cut -f1)
cat >"$mltstage/DEBIAN/control" <<CONTROL
Package: kinevista-mlt
Version: $version
Architecture: amd64
Maintainer: Kinevista maintainers <maintainers@kinevista.example>
Installed-Size: $size
Depends: kinevista (= $version), $mltshlibs
Suggests: melt, kdenlive, shotcut, flowblade
Section: video
Priority: optional
Homepage: https://kinevista.example
Description: Kinevista shows as clips in MLT editors
 MLT's own "kinevista" producer: a Kinevista show as a clip of its own
 length, drawn at the size and shape of the editor's profile. With it melt,
 Kdenlive (Project > Generators > Kinevista Show), Shotcut and Flowblade play
 and render shows; kinevista-cli mlt writes documents for them.
CONTROL
chmod 0644 "$mltstage/DEBIAN/control" "$mltstage/DEBIAN/md5sums"
mltdeb="$out/kinevista-mlt_${version}_amd64.deb"
dpkg-deb --root-owner-group -Zxz --build "$mltstage" "$mltdeb" >/dev/null
echo "$mltdeb"
