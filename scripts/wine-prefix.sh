#!/usr/bin/env bash
# Makes the Wine prefix given as $1 once: initialised without installers and with the
# crash dialog switched off, so a crashing program ends instead of waiting for a click.
set -euo pipefail
prefix=$1
[ -f "$prefix/.velmora-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.velmora-ready" ] && exit 0
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.velmora-ready"
