#!/usr/bin/env bash
# The installer as a user meets it, under Wine in a prefix of its own (build/installer-test/):
# packages the build, installs silently and checks the program, the shortcuts and the registry
# entries; starts the installed program with the sample photo on its command line, as Send To
# does, and reads the opened size line; installs again over a damaged copy, which must be
# replaced in place; uninstalls with the quiet uninstall command and checks that the user's
# folders and the registry keys involved are exactly as before the first install.
# Usage: installer_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
work="$build/installer-test"
prefix="$work/prefix"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all LC_ALL=C.UTF-8
# No Mono or Gecko installer, and no Linux menu entries for the Start menu shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check() { local what=$1; shift; "$@" >/dev/null 2>&1 || fail "$what"; }

rm -rf "$work/out"
bash "$root/scripts/package.sh" "$build" "$work/out" >/dev/null
setup=$(ls "$work"/out/velmora-*-setup.exe)
version=$(basename "$setup" | sed 's/^velmora-\(.*\)-setup\.exe$/\1/')

home_of() { ls -d "$prefix"/drive_c/users/* 2>/dev/null | grep -v '/Public$' | head -n 1; }
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora'
# A prefix left with anything of Velmora's in it by an earlier run is made anew.
if [ -d "$prefix" ] && { find "$(home_of)" -iname '*velmora*' | grep -q . ||
                         wine reg query "$uninstall_key" >/dev/null 2>&1 ||
                         wine reg query 'HKCU\Software\Classes\Applications\velmora.exe' >/dev/null 2>&1; }; then
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix" "$prefix.lock"
fi
"$root/scripts/wine-prefix.sh" "$prefix"
trap 'wineserver -k 2>/dev/null || true' EXIT
# Windows always has this key; a new Wine prefix has not yet.
wine reg add 'HKCU\Software\Classes' /f >/dev/null 2>&1
home=$(home_of)
roaming="$home/AppData/Roaming/Microsoft/Windows"
installed="$home/AppData/Local/Programs/Velmora"

# What an install may touch: every file and folder under the user's profile and the program
# folders, and the registry keys it writes into (as text; absent keys as such). Left out: the
# empty folders ~nsuN.tmp in %TEMP% that held the uninstaller's copy of itself (NSIS's way of
# removing its own folder; Windows empties %TEMP% of them in its clean-ups).
snapshot() {
  wineserver -w
  (cd "$prefix/drive_c" && find users "Program Files" ProgramData -print 2>/dev/null | sort) |
    grep -v '^users/[^/]*/Temp/~nsu[0-9A-Za-z]*\.tmp$' || true
  for key in 'HKCU\Software\Classes' 'HKCU\Software\Microsoft\Windows\CurrentVersion' \
             'HKLM\Software\Classes\Applications' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
    echo "== $key"
    rm -f "$work/key.reg"
    if wine reg export "$key" 'Z:'"${work//\//\\}"'\key.reg' /y >/dev/null 2>&1; then
      iconv -f UTF-16LE -t UTF-8 "$work/key.reg" | tr -d '\r'
    else
      echo "(absent)"
    fi
  done
}
snapshot >"$work/before.txt"

# A value of the registry (the key's default value when no name is given) as reg query prints
# it, or nothing.
value() {
  local which=(/ve)
  [ -z "${2:-}" ] || which=(/v "$2")
  { wine reg query "$1" "${which[@]}" 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^ *[^ ]* *REG_[A-Z_]* *//p' | grep -vx '(value not set)' || true
}

echo "installer: silent install of $(basename "$setup")"
wine "$setup" /S
wineserver -w
win_dir='C:\users\'"$(basename "$home")"'\AppData\Local\Programs\Velmora'
# The HEIF decoder and its types come along when it was built.
files=(velmora.exe uninstall.exe "User Guide.txt" LICENSE.txt THIRD-PARTY-NOTICES.txt)
types=(.jpg .jpeg .jfif)
[ ! -f "$build/velmora-heif.dll" ] || { files+=(velmora-heif.dll); types+=(.heic .heif .hif); }
for f in "${files[@]}"; do
  check "installed $f" test -s "$installed/$f"
done
check "the installed program is the packaged one" grep -q "Independent JPEG Group" "$installed/velmora.exe"
for link in "Start Menu/Programs/Velmora.lnk" "SendTo/Velmora.lnk"; do
  check "shortcut $link pointing to the program" grep -aq "Velmora.velmora\.exe" "$roaming/$link"
done
app='HKCU\Software\Classes\Applications\velmora.exe'
[ "$(value "$app\\shell\\open\\command")" = "\"$win_dir\\velmora.exe\" \"%1\"" ] ||
  fail "open command: $(value "$app\\shell\\open\\command")"
for type in "${types[@]}"; do
  check "SupportedTypes $type" wine reg query "$app\\SupportedTypes" /v "$type"
  check "OpenWithList of $type" wine reg query "HKCU\\Software\\Classes\\$type\\OpenWithList\\velmora.exe"
  [ -z "$(value "HKCU\\Software\\Classes\\$type")" ] || fail "$type got a default program"
done
[ "$(value "$uninstall_key" DisplayName)" = Velmora ] || fail "DisplayName"
[ "$(value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "DisplayVersion"
[ -n "$(value "$uninstall_key" Publisher)" ] || fail "Publisher"
[ "$(value "$uninstall_key" DisplayIcon)" = "$win_dir\\velmora.exe,0" ] || fail "DisplayIcon"
[ "$(($(value "$uninstall_key" EstimatedSize)))" -gt 100 ] || fail "EstimatedSize"
[ "$(value "$uninstall_key" UninstallString)" = "\"$win_dir\\uninstall.exe\"" ] || fail "UninstallString"
quiet=$(value "$uninstall_key" QuietUninstallString)
[ "$quiet" = "\"$win_dir\\uninstall.exe\" /S" ] || fail "QuietUninstallString: $quiet"

# The installed program opens a photo given on its command line, as Send To starts it.
photo=$(ls "$build"/sample/*.jpg | head -n 1)
photo_win="Z:${photo//\//\\}"
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true  # Wine's background programs
wine "$installed/velmora.exe" "$photo_win" </dev/null >/dev/null 2>&1 &
program=$!
wine "$build/velmora-run-driver.exe" --seconds 30 </dev/null >"$work/driver.txt" 2>&1 || true
opened=$(tr -d '\r' <"$work/driver.txt")
wine taskkill /im velmora.exe >/dev/null 2>&1 || true
wait "$program" || fail "the installed program ended with exit code $?"
echo "installer: the installed program with $(basename "$photo"): $opened"
[[ "$opened" == "opened: Size: 1800x2400 , "* ]] || fail "the photo did not open: $opened"

# Installing again, over a damaged copy, puts the program back in place.
sum=$(md5sum <"$installed/velmora.exe")
echo "damaged" >"$installed/velmora.exe"
wine "$setup" /S
wineserver -w
[ "$(md5sum <"$installed/velmora.exe")" = "$sum" ] || fail "the second install did not replace the program"
[ "$(value "$uninstall_key" DisplayName)" = Velmora ] || fail "the second install lost its entry"

# The quiet uninstall command as the list of installed programs runs it. The uninstaller goes on
# in a copy of itself in the temporary folder, which it leaves to be deleted at the next restart:
# wineserver -w waits until that copy has ended, and a new Wine session is Wine's restart.
echo "installer: silent uninstall"
wine "$installed/uninstall.exe" /S
wineserver -w
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
snapshot >"$work/after.txt"
if ! diff -u "$work/before.txt" "$work/after.txt" >"$work/difference.txt"; then
  fail "the uninstall left changes behind:"
  cat "$work/difference.txt" >&2
fi

if [ "$failures" -gt 0 ]; then
  echo "installer: $failures check(s) failed" >&2
  exit 1
fi
echo "installer: install, open, reinstall and uninstall as expected"
