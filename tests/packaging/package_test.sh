#!/usr/bin/env bash
# Builds the .deb from the build tree and checks it as a user's machine would see it: its file
# list and dependencies, lintian, apt's resolution, an install into a scratch root, and from that
# tree the programs' versions, a render of the example, the plug-in finding the installed editor,
# the menu entry and the show file type. Usage: package_test.sh BUILD_DIR SCRATCH_DIR
set -uo pipefail
build=$(realpath "$1")
scratch=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
export PATH="$PATH:/usr/sbin:/sbin"
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(realpath "$scratch")
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@" >"$scratch/last.log" 2>&1; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        sed 's/^/     /' "$scratch/last.log" | head -n 30
        failures=$((failures + 1))
    fi
}
for tool in dpkg-shlibdeps lintian desktop-file-validate update-desktop-database \
            update-mime-database xdg-mime mimetype; do
    command -v "$tool" >/dev/null || { echo "FAIL $tool is missing (make setup)"; exit 1; }
done

version=$("$build/bin/kinevista-cli" --version | awk '{print $2}')
check "the release number is 6.0.N ($version)" grep -Eq '^6\.0\.[0-9]+$' <<<"$version"
debs=$(bash "$src/scripts/make_deb.sh" "$build" "$scratch/out") ||
    { echo "FAIL make_deb.sh"; exit 1; }
deb=$(sed -n 1p <<<"$debs")
mltdeb=$(sed -n 2p <<<"$debs")
check "the package is named kinevista_${version}_amd64.deb" \
    test "$deb" = "$scratch/out/kinevista_${version}_amd64.deb" -a -s "$deb"

# Everything under /usr, in the places hosts, desktops and man look.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/files.txt"
missing=()
for f in /usr/bin/kinevista /usr/bin/kinevista-cli /usr/bin/kinevista-host \
         /usr/lib/kinevista/Kinevista.avx /usr/lib/frei0r-1/kinevista.so \
         /usr/share/mlt-7/frei0r/producer_frei0r.kinevista.yml \
         /usr/share/kinevista/manual/index.html /usr/share/kinevista/examples/example.kvx \
         /usr/share/man/man1/kinevista.1.gz /usr/share/man/man1/kinevista-cli.1.gz \
         /usr/share/bash-completion/completions/kinevista-cli \
         /usr/share/applications/kinevista.desktop /usr/share/mime/packages/kinevista-show.xml \
         /usr/share/icons/hicolor/scalable/apps/kinevista.svg \
         /usr/share/icons/hicolor/48x48/apps/kinevista.png \
         /usr/share/doc/kinevista/copyright /usr/share/doc/kinevista/changelog.gz; do
    grep -qxF "$f" "$scratch/files.txt" || missing+=("$f")
done
check "the file list holds the programs, plug-ins, manual and desktop files" \
    test ${#missing[@]} -eq 0
[ ${#missing[@]} -eq 0 ] || echo "     missing: ${missing[*]}"
check "nothing is installed outside /usr" bash -c "! grep -v '^/usr/' '$scratch/files.txt' | grep -vx '/'"
depends=$(dpkg-deb -f "$deb" Depends)
check "dependencies come from dpkg-shlibdeps plus the written list ($depends)" \
    bash -c "grep -q 'libc6 (>=' <<<'$depends' && grep -q 'libavcodec' <<<'$depends' &&
             grep -q 'xdg-utils' <<<'$depends' && grep -q 'fonts-liberation' <<<'$depends'"
check "the main package does not pull MLT in ($depends)" bash -c "! grep -q libmlt <<<'$depends'"
check "MLT's own producer is not in the main package" \
    bash -c "! grep -q -e 'libmltkinevista' -e '/mlt-7/kinevista' '$scratch/files.txt'"
# kinevista-mlt: the producer where MLT 7 reads modules, its description, Kdenlive's generator.
if [ -n "$mltdeb" ]; then
    check "the MLT package is named kinevista-mlt_${version}_amd64.deb" \
        test "$mltdeb" = "$scratch/out/kinevista-mlt_${version}_amd64.deb" -a -s "$mltdeb"
    dpkg-deb -c "$mltdeb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/mlt-files.txt"
    check "kinevista-mlt holds the producer, its description and the generator" bash -c "
        grep -qx '$(pkg-config --variable=moduledir mlt-framework-7)/libmltkinevista.so' '$scratch/mlt-files.txt' &&
        grep -qx '/usr/share/mlt-7/kinevista/producer_kinevista.yml' '$scratch/mlt-files.txt' &&
        grep -qx '/usr/share/kdenlive/generators/kinevista.xml' '$scratch/mlt-files.txt' &&
        grep -qx '/usr/share/doc/kinevista-mlt/copyright' '$scratch/mlt-files.txt'"
    mltdepends=$(dpkg-deb -f "$mltdeb" Depends)
    check "kinevista-mlt depends on kinevista $version and MLT ($mltdepends)" bash -c \
        "grep -qF 'kinevista (= $version)' <<<'$mltdepends' && grep -q 'libmlt7' <<<'$mltdepends'"
    lintian --tag-display-limit 0 --fail-on error "$mltdeb" >"$scratch/lintian-mlt.txt" 2>&1
    mlt_lintian_status=$?
    check "lintian reports no errors in kinevista-mlt" \
        bash -c "test $mlt_lintian_status -eq 0 && ! grep -q '^E:' '$scratch/lintian-mlt.txt'"
    grep '^[EW]:' "$scratch/lintian-mlt.txt" | sed 's/^/     lintian: /'
fi
check "the binaries are stripped" bash -c \
    "cd '$build/deb/root' && ! file usr/bin/* usr/lib/kinevista/* usr/lib/frei0r-1/* | grep -q 'not stripped'"

lintian --tag-display-limit 0 --fail-on error "$deb" >"$scratch/lintian.txt" 2>&1
lintian_status=$?
check "lintian reports no errors" \
    bash -c "test $lintian_status -eq 0 && ! grep -q '^E:' '$scratch/lintian.txt'"
grep '^[EW]:' "$scratch/lintian.txt" | sed 's/^/     lintian: /'
check "apt resolves the dependencies on this system" \
    bash -c "apt-get -s install '$deb' | grep -q '^Inst kinevista '"

# A scratch root with an empty package database: dpkg writes nothing outside it.
root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
extra=()
[ "$(id -u)" -eq 0 ] || extra=(--force-not-root)
check "dpkg installs the package into the scratch root" \
    dpkg --root="$root" --log=/dev/null --force-depends "${extra[@]}" -i "$deb"
bin="$root/usr/bin"
check "the installed programs print the release number" bash -c \
    "test \"\$('$bin/kinevista-cli' --version)\" = 'kinevista-cli $version' &&
     test \"\$('$bin/kinevista' --version)\" = 'kinevista $version' &&
     test \"\$('$bin/kinevista-host' --version)\" = 'kinevista-host $version'"

# The installed tree renders the example exactly as the build tree does.
export KINEVISTA_PUBLIC="$scratch/public"
mkdir -p "$KINEVISTA_PUBLIC"
frame=(render examples/example.kvx --frame 200 --size 320x180 --length 361)
(cd "$root/usr/share/kinevista" && "$bin/kinevista-cli" "${frame[@]}" --out "$scratch/installed.bmp") \
    >/dev/null 2>&1
(cd "$src" && "$build/bin/kinevista-cli" "${frame[@]}" --out "$scratch/built.bmp") >/dev/null 2>&1
check "the installed kinevista-cli renders the example as the build does" \
    bash -c "test -s '$scratch/installed.bmp' && cmp '$scratch/installed.bmp' '$scratch/built.bmp'"

# With no registry file the installed plug-in names the editor installed with it; a registry
# value still wins.
plugin="$root/usr/lib/kinevista/Kinevista.avx"
"$bin/kinevista-host" catalogue "$plugin" >"$scratch/catalogue.txt" 2>"$scratch/catalogue.err"
status=$?
check "kinevista-host catalogue loads the installed plug-in" \
    bash -c "test $status -eq 0 && test -s '$scratch/catalogue.txt'"
check "the installed plug-in finds the installed editor" \
    grep -qxF "kinevista-host: editor $bin/kinevista" "$scratch/catalogue.err"
mkdir -p "$scratch/elsewhere"
"$bin/kinevista-host" install "$scratch/elsewhere" >/dev/null 2>&1
"$bin/kinevista-host" catalogue "$plugin" >/dev/null 2>"$scratch/catalogue2.err"
check "a registry value names the editor before the installed one" \
    grep -qF "kinevista-host: editor $scratch/elsewhere/kinevista (missing)" "$scratch/catalogue2.err"

# The desktop: a valid menu entry, and the show type known by name and by content, opened by
# the editor, with scratch XDG folders in front of the system's.
desktop="$root/usr/share/applications/kinevista.desktop"
check "desktop-file-validate accepts the menu entry" desktop-file-validate "$desktop"
update-mime-database "$root/usr/share/mime" >/dev/null 2>&1
update-desktop-database "$root/usr/share/applications" >/dev/null 2>&1
cp "$src/examples/example.kvx" "$scratch/show.kvx"
cp "$src/examples/example.kvx" "$scratch/show-without-extension"
printf 'plain words, not a show\n' >"$scratch/notes"
# The show mark with a block size no show has (64 KiB) is not a show.
python3 -c "
d = bytearray(open('$src/examples/example.kvx', 'rb').read())
d[4:8] = (65536).to_bytes(4, 'little')
open('$scratch/mark-without-show', 'wb').write(d)"
xdg() {
    env -i PATH="$PATH" HOME="$scratch/home" XDG_DATA_HOME="$scratch/home/data" \
        XDG_CONFIG_HOME="$scratch/home/config" XDG_CONFIG_DIRS="$scratch/home/etc" \
        XDG_DATA_DIRS="$root/usr/share:/usr/share" xdg-mime "$@"
}
mkdir -p "$scratch/home"
check "xdg-mime knows a .kvx file as a show" \
    test "$(xdg query filetype "$scratch/show.kvx")" = application/x-kinevista-show
check "xdg-mime knows a show by its first bytes" \
    test "$(xdg query filetype "$scratch/show-without-extension")" = application/x-kinevista-show
check "xdg-mime does not take other files for shows" \
    test "$(xdg query filetype "$scratch/notes")" != application/x-kinevista-show
check "xdg-mime does not take the show mark with a wrong block size for a show" \
    test "$(xdg query filetype "$scratch/mark-without-show")" != application/x-kinevista-show
check "the editor is the show type's default application" \
    test "$(xdg query default application/x-kinevista-show)" = kinevista.desktop

# Removing: with the MLT package beside it, both packages purged leave none of their files and
# no file of their own making (the MIME and desktop caches above were made by this test).
if [ -n "$mltdeb" ]; then
    check "dpkg installs kinevista-mlt beside it" \
        dpkg --root="$root" --log=/dev/null --force-depends "${extra[@]}" -i "$mltdeb"
fi
cat "$scratch/files.txt" "$scratch/mlt-files.txt" 2>/dev/null | grep -v '/$' >"$scratch/all-files.txt"
check "dpkg purges the packages" \
    dpkg --root="$root" --log=/dev/null --force-depends "${extra[@]}" --purge kinevista-mlt kinevista
check "nothing of the packages is left in the scratch root" bash -c "
    find '$root' -mindepth 1 \\( -path '$root/var/lib/dpkg' -o -path '$root/usr/share/mime' \\) -prune \
         -o -type f ! -name mimeinfo.cache -print | tee '$scratch/left.txt' | grep -q . && exit 1
    while read -r f; do test -e '$root'\"\$f\" && echo \"left: \$f\" && exit 1; done <'$scratch/all-files.txt'
    exit 0"

echo "$failures failed"
[ "$failures" -eq 0 ]
