#!/usr/bin/env bash
# Runs a Windows program under Wine: a private prefix in the build folder (made once),
# no debug output, no Mono or Gecko installer, and a virtual screen when none is set.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   (VELMORA_WINEPREFIX overrides the prefix)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

program=$1
shift
if [ -z "${VELMORA_WINEPREFIX:-}" ]; then
  # The build folder is the nearest parent of the program that holds CMakeCache.txt.
  dir=$(cd "$(dirname "$program")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$(cd "$(dirname "$program")" && pwd)
  VELMORA_WINEPREFIX="$dir/wineprefix"
fi
export WINEPREFIX="$VELMORA_WINEPREFIX"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

"$here/wine-prefix.sh" "$WINEPREFIX"
# Wine's own background programs (services, explorer) start with the first program of a
# session and keep its output open; start them here on /dev/null so that whoever reads
# this program's output sees it end when the program ends.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
exec wine "$program" "$@"
