#!/usr/bin/env bash
# `make run`: starts velmora.exe of the build folder $1 under Wine with photos on its command
# line: the ones given after the build folder (make run PHOTOS="a.jpg b.jpg"), else the sample
# photo the build drew (build/sample/). With a display the program simply runs there. Without
# one it runs inside a virtual screen: velmora-run-driver.exe waits for the opened photo,
# presses Shrink at the preselected 30% and waits for the shrunk one; the script saves a
# screenshot of the window into the build folder, closes the program the way a user would (a
# close request to its window) and prints where the screenshot is and the size lines.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
here=$(cd "$(dirname "$0")" && pwd)
exe="$build/velmora.exe"
driver="$build/velmora-run-driver.exe"
if [ ! -f "$exe" ]; then
  echo "run-app: $exe is missing; build it first (make build)" >&2
  exit 1
fi

photos=("$@")
if [ ${#photos[@]} -eq 0 ]; then
  photos=("$build"/sample/*.jpg)
  [ -f "${photos[0]}" ] || { echo "run-app: no sample photo in $build/sample; run make build" >&2; exit 1; }
fi
# Wine passes the command line as it is: the program gets Windows names (the root of the
# Linux file system is drive Z:). Names outside ASCII need a UTF-8 locale on the Linux side.
args=()
for photo in "${photos[@]}"; do
  [ -f "$photo" ] || { echo "run-app: $photo is not a file" >&2; exit 1; }
  full=$(cd "$(dirname "$photo")" && pwd)/$(basename "$photo")
  args+=("Z:${full//\//\\}")
done
export LC_ALL=C.UTF-8

if [ -n "${DISPLAY:-}" ] && [ -z "${VELMORA_HEADLESS:-}" ]; then
  exec "$here/wine-run.sh" "$exe" "${args[@]}"
fi
if [ -z "${DISPLAY:-}" ]; then
  exec env VELMORA_HEADLESS=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$@"
fi

# Inside the virtual screen.
export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
shot="$build/velmora-window.png"
said="$build/velmora-run-driver.txt"
rm -f "$shot" "$said"
"$here/wine-prefix.sh" "$WINEPREFIX"
# Wine's background programs start with the first program and keep its output open: they
# start here, on /dev/null.
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
"$here/wine-run.sh" "$exe" "${args[@]}" </dev/null >/dev/null 2>&1 &
app=$!
trap 'kill "$app" 2>/dev/null || true' EXIT

# The driver finds the window, presses Shrink and prints the size lines once both show.
status=0
wine "$driver" --shrink </dev/null >"$said" 2>&1 || status=$?
lines=$(tr -d '\r' <"$said")
if ! xwininfo -name Velmora >/dev/null 2>&1; then
  echo "run-app: the Velmora window did not appear" >&2
  echo "$lines" >&2
  exit 1
fi
xwd -silent -name Velmora | convert xwd:- "png:$shot"
[ "$status" -eq 0 ] || echo "$lines" >&2

# Close it as the window's close box would: taskkill without /f sends WM_CLOSE.
wine taskkill /im velmora.exe >/dev/null 2>&1 || true
for _ in $(seq 1 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$app" 2>/dev/null; then
  echo "run-app: velmora.exe did not end after the close request" >&2
  status=1
else
  code=0
  wait "$app" || code=$?
  [ "$code" -eq 0 ] || { echo "run-app: velmora.exe ended with exit code $code" >&2; status=$code; }
fi
echo "run-app: no display here, so Velmora ran in a virtual screen with ${photos[*]}"
[ "$status" -eq 0 ] && echo "$lines" | sed 's/^/  /'
echo "run-app: screenshot of its window: $shot"
exit "$status"
