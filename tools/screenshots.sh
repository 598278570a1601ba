#!/usr/bin/env bash
# PNG screenshots of the five windows and the station window, taken on a
# virtual display from real runs against the simulated boot loader:
# MainWindow with its verdict, LoaderWindow and UpgradeWindow busy and with
# their verdicts, the port dialog, the version list, and the station window
# busy with two modules and with their verdicts.
#
#   tools/screenshots.sh OUT_DIR [BUILD_DIR]   (a build configured with -DTORVANE_BUILD_GUI=ON)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: tools/screenshots.sh OUT_DIR [BUILD_DIR]" >&2; exit 2; }
out=$1
cd "$(dirname "$0")/.."
build=${2:-build}

shooter=$build/torvane-screenshots
[ -x "$shooter" ] || cmake --build "$build" --target torvane-screenshots -j "${JOBS:-2}" >/dev/null
[ -x "$shooter" ] || { echo "screenshots: $shooter is missing; configure the build with -DTORVANE_BUILD_GUI=ON" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

if command -v xvfb-run >/dev/null; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$shooter" "$out"
else
  # Qt draws the same widgets without any display.
  QT_QPA_PLATFORM=offscreen "$shooter" "$out"
fi
