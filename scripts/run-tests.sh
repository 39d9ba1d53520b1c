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
wineserver -p </dev/null >/dev/null 2>&1
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true' EXIT
cd "$build"
ctest --output-on-failure --timeout 900
