#!/usr/bin/env bash
# Starts VelmarisDiag.exe under Wine against the simulated component.
#   tools/run.sh [scenario] [build dir]
# The scenario is a name from tests/simulator/scenarios/ or a path to a file; the build dir is the
# Windows build to run (build/windows by default, build/windows64 where 32-bit programs cannot run).
# With a display, the window opens there. Without one it runs on Xvfb: after the scan it prints
# the report and saves a screenshot.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scenario=${1:-com3-unit}
[ -f "$scenario" ] || scenario=$root/tests/simulator/scenarios/$scenario.txt
[ -f "$scenario" ] || {
  echo "run: no scenario '${1:-}'; the scenarios are: $(cd "$root/tests/simulator/scenarios" && ls | sed 's/\.txt$//' | tr '\n' ' ')" >&2
  exit 2
}
build=$(cd "${2:-$root/build/windows}" 2>/dev/null && pwd) ||
  { echo "run: no build at ${2:-$root/build/windows}: build it first (make build-windows)" >&2; exit 2; }
bin=$build/bin
dir=$build/wine-demo
for file in VelmarisDiag.exe qelsim.dll diag_driver.exe; do
  [ -f "$bin/$file" ] || { echo "run: $bin/$file is missing: build it first (make build-windows)" >&2; exit 2; }
done

"$root/tests/wine/wine-setup" "$dir" "$bin/qelsim.dll" >/dev/null ||
  { echo "run: the Wine set-up failed (see above), so the tool was not started" >&2; exit 1; }
trap '"$root/tests/wine/wine-cleanup" "$dir"' EXIT
. "$root/tests/wine/wine-env" "$dir"
export QELSIM_SCENARIO="Z:${scenario//\//\\}" QELSIM_LOG="Z:${dir//\//\\}\\component.log"
echo "Scenario: $scenario"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  "$wine" "$bin/VelmarisDiag.exe"
  exit 0
fi

export DISPLAY=":$(cat "$dir/display")"
"$wine" "$bin/VelmarisDiag.exe" >"$dir/app.log" 2>&1 &
app=$!
"$wine" "$bin/diag_driver.exe" 40 >"$dir/report.txt" 2>"$dir/driver.log" || true
if [ ! -s "$dir/report.txt" ]; then
  echo "run: no report could be read from the tool's window (its log: $dir/app.log, the driver's: $dir/driver.log)" >&2
  kill "$app" 2>/dev/null || true
  exit 1
fi
cat "$dir/report.txt"
screenshot=$build/VelmarisDiag.png
geometry=$(tr -d '\r\n' <"$dir/driver.log")
[[ $geometry =~ ^[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+$ ]] || geometry=640x560+0+0
xwd -root -display "$DISPLAY" -silent | convert xwd:- -crop "$geometry" +repage "$screenshot" ||
  echo "(no screenshot: xwd or convert failed)"
[ -f "$screenshot" ] && echo "Screenshot: $screenshot"
echo "Component call log: $dir/component.log"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
