#!/usr/bin/env bash
# Starts VelmarisDiag.exe under Wine against the simulated component.
#   tools/run.sh [scenario]   (a name from tests/simulator/scenarios/, or a path to a file)
# With a display, the window opens there. Without one it runs on Xvfb: after the scan it prints
# the report and saves a screenshot.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scenario=${1:-com3-unit}
[ -f "$scenario" ] || scenario=$root/tests/simulator/scenarios/$scenario.txt
[ -f "$scenario" ] || { echo "No such scenario: $scenario" >&2; exit 2; }
bin=$root/build/windows/bin
dir=$root/build/windows/wine-demo

"$root/tests/wine/wine-setup" "$dir" "$bin/qelsim.dll" >/dev/null
trap '"$root/tests/wine/wine-cleanup" "$dir"' EXIT
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$dir/prefix"
export QELSIM_SCENARIO="Z:${scenario//\//\\}" QELSIM_LOG="Z:${dir//\//\\}\\component.log"
echo "Scenario: $scenario"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  wine "$bin/VelmarisDiag.exe"
  exit 0
fi

export DISPLAY=":$(cat "$dir/display")"
wine "$bin/VelmarisDiag.exe" >"$dir/app.log" 2>&1 &
app=$!
wine "$bin/diag_driver.exe" 40 >"$dir/report.txt" 2>"$dir/driver.log" || true
cat "$dir/report.txt"
screenshot=$root/build/windows/VelmarisDiag.png
geometry=$(tr -d '\r\n' <"$dir/driver.log")
[[ $geometry =~ ^[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+$ ]] || geometry=640x560+0+0
xwd -root -display "$DISPLAY" -silent | convert xwd:- -crop "$geometry" +repage "$screenshot" ||
  echo "(no screenshot: xwd or convert failed)"
[ -f "$screenshot" ] && echo "Screenshot: $screenshot"
echo "Component call log: $dir/component.log"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
