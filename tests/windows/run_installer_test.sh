#!/usr/bin/env bash
# The Windows setup program under Wine, in a fresh Wine prefix that cannot reach the machine's
# desktop menus (winemenubuilder is off): a silent install puts the files, the plug-in's registry
# value and the show association in place; kinevista-host.exe catalogues the installed plug-in
# and names the installed editor; the silent uninstaller removes files, value and keys.
#   tests/windows/run_installer_test.sh WIN_BUILD
# Skipped with a message when Wine or makensis is missing. The last line is "N passed, N failed".
set -uo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
win="$(cd "${1:?windows build folder}" && pwd)"
wine_program="$(command -v wine64 || command -v wine || true)"
if [ -z "$wine_program" ] || ! command -v makensis >/dev/null ||
   ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "installer tests SKIPPED: Wine, MinGW-w64 or makensis (nsis) is not installed (run 'make setup')"
  exit 0
fi
passed=0
failed=0
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name="$1"
  shift
  if "$@"; then passed=$((passed + 1)); echo "PASS: $name"; else failed=$((failed + 1)); echo "FAIL: $name"; fi
}
setup="$(bash "$src/scripts/make_windows_installer.sh" "$win")" || { echo "0 passed, 1 failed"; exit 1; }
check "the setup program is named Kinevista-Setup-6.0.N.exe" \
  bash -c "[[ '$(basename "$setup")' =~ ^Kinevista-Setup-6\.0\.[0-9]+\.exe$ ]]"

export WINEPREFIX="$win/installer-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
rm -rf "$WINEPREFIX"
wineserver_program="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
trap '"$wineserver_program" -k >/dev/null 2>&1 || true' EXIT
wine() { "$wine_program" "$@"; }
wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$wineserver_program" -w
winpath() { echo "Z:$1" | tr / '\\'; }
reg64() { wine reg query "$@" /reg:64 2>/dev/null | tr -d '\r'; }
plugin_key='HKLM\SOFTWARE\Avid Technology\AVX Plug-ins'

wine "$setup" /S >/dev/null 2>&1
"$wineserver_program" -w
dir="$WINEPREFIX/drive_c/Program Files/Kinevista"
check "the silent setup installs the programs and the plug-in under Program Files" \
  bash -c "cd '$dir' && test -s kinevista.exe -a -s kinevista-cli.exe -a -s kinevista-host.exe \
           -a -s Kinevista.avx -a -s uninstall.exe"
value="$(reg64 "$plugin_key" /v AVX2Directory | awk -F'REG_SZ' 'NF > 1 {sub(/^[ \t]+/, "", $2); print $2}')"
check "the registry value names the install folder in the 64-bit view ($value)" \
  test "$value" = 'C:\Program Files\Kinevista'
check "the .kvx association opens shows with the editor" \
  bash -c "wine reg query 'HKLM\\Software\\Classes\\Kinevista.Show\\shell\\open\\command' /reg:64 2>/dev/null |
           tr -d '\\r' | grep -qi 'Kinevista\\\\kinevista.exe\" \"%1\"'"
check "the Start-menu entry is there" \
  test -s "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kinevista.lnk"

version="$(basename "$setup" .exe)"
version="${version#Kinevista-Setup-}"
check "the installed programs print the setup's release number" \
  bash -c "test \"\$(wine '$dir/kinevista-cli.exe' --version | tr -d '\r')\" = 'kinevista-cli $version' &&
           test \"\$(wine '$dir/kinevista-host.exe' --version | tr -d '\r')\" = 'kinevista-host $version'"

mkdir -p "$win/installer-public"
export KINEVISTA_PUBLIC
KINEVISTA_PUBLIC="$(winpath "$win/installer-public")"
(cd "$win" && wine "$dir/kinevista-host.exe" catalogue 'C:\Program Files\Kinevista\Kinevista.avx' \
   >"$win/installer-catalogue.txt" 2>"$win/installer-catalogue.err")
status=$?
check "kinevista-host.exe catalogues the installed plug-in" \
  bash -c "test $status -eq 0 && test -s '$win/installer-catalogue.txt'"
check "the installed plug-in finds the installed editor" \
  bash -c "tr -d '\\r' <'$win/installer-catalogue.err' |
           grep -qxF 'kinevista-host: editor C:\\Program Files\\Kinevista\\Kinevista.exe'"

# The uninstaller copies itself away and returns at once: wineserver -w waits for it. Without an
# install there is nothing to take away, and the checks below would prove nothing.
if [ ! -s "$dir/uninstall.exe" ]; then
  echo "FAIL: no uninstaller was installed; the removal checks cannot run"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
fi
wine "$dir/uninstall.exe" /S >/dev/null 2>&1
"$wineserver_program" -w
check "the silent uninstaller removes the files and the folder" test ! -e "$dir"
check "the uninstaller removes the registry value" \
  bash -c "! wine reg query '$plugin_key' /v AVX2Directory /reg:64 >/dev/null 2>&1"
check "the uninstaller removes the association and its own entry" \
  bash -c "! wine reg query 'HKLM\\Software\\Classes\\Kinevista.Show' /reg:64 >/dev/null 2>&1 &&
           ! wine reg query 'HKLM\\Software\\Classes\\.kvx' /reg:64 >/dev/null 2>&1 &&
           ! wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kinevista' \
             /reg:64 >/dev/null 2>&1"
check "the Start-menu entry is gone" \
  test ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kinevista.lnk"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
