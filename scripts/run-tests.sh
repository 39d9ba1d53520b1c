#!/usr/bin/env bash
# Runs ctest for the build folder $1 inside one virtual screen, with one Wine server kept
# running for the whole run so each test executable starts quickly.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build"
fi
export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
"$here/wine-prefix.sh" "$WINEPREFIX"
# Keep one Wine server for the whole run. A server left over from earlier runs of this
# prefix may serve another screen (or none, whose desktop is a 1024 x 768 default), so end it
# first; the prefix belongs to this build folder alone.
wineserver -k </dev/null >/dev/null 2>&1 || true
timeout 30 wineserver -w || true
wineserver -p </dev/null >/dev/null 2>&1 || true
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
cd "$build"
ctest --output-on-failure --timeout 900
