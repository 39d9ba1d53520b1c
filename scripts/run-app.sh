#!/usr/bin/env bash
# `make run`: starts velmora.exe of the build folder $1 under Wine. With a display the
# program simply runs there. Without one it runs inside a virtual screen: the script waits
# for the window, saves a screenshot of it into the build folder, closes the program the
# way a user would (a close request to its window) and says where the screenshot is.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
exe="$build/velmora.exe"
if [ ! -f "$exe" ]; then
  echo "run-app: $exe is missing; build it first (make build)" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${VELMORA_HEADLESS:-}" ]; then
  exec "$here/wine-run.sh" "$exe"
fi
if [ -z "${DISPLAY:-}" ]; then
  exec env VELMORA_HEADLESS=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build"
fi

# Inside the virtual screen.
export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
shot="$build/velmora-window.png"
rm -f "$shot"
"$here/wine-run.sh" "$exe" </dev/null >/dev/null 2>&1 &
app=$!
trap 'kill "$app" 2>/dev/null || true' EXIT

# The window is an X window named like its caption once Wine has mapped it.
for _ in $(seq 1 300); do
  xwininfo -name Velmora >/dev/null 2>&1 && break
  kill -0 "$app" 2>/dev/null || { echo "run-app: velmora.exe ended before showing its window" >&2; exit 1; }
  sleep 0.2
done
if ! xwininfo -name Velmora >/dev/null 2>&1; then
  echo "run-app: the Velmora window did not appear" >&2
  exit 1
fi
sleep 2  # let the first paint finish
xwd -silent -name Velmora | convert xwd:- "png:$shot"

# Close it as the window's close box would: taskkill without /f sends WM_CLOSE.
wine taskkill /im velmora.exe >/dev/null 2>&1 || true
status=0
for _ in $(seq 1 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$app" 2>/dev/null; then
  echo "run-app: velmora.exe did not end after the close request" >&2
  status=1
else
  wait "$app" || status=$?
  [ "$status" -eq 0 ] || echo "run-app: velmora.exe ended with exit code $status" >&2
fi
echo "run-app: no display here, so Velmora ran in a virtual screen; screenshot of its window: $shot"
exit "$status"
