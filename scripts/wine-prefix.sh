#!/usr/bin/env bash
# Makes the Wine prefix given as $1 once: initialised without installers, with the crash
# dialog switched off (a crashing program ends instead of waiting for a click), and with
# windows not handed to a window manager: under Xvfb none answers, and Wine would wait
# about two seconds each time a shown window is hidden or destroyed.
set -euo pipefail
prefix=$1
ready="$prefix/.velmora-ready-2"
[ -f "$ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$ready" ] && exit 0
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
fi
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
touch "$ready"
