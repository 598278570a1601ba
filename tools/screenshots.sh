#!/usr/bin/env bash
# The pictures of the technicians' guide (docs/guide.md), as PNG files, taken
# from real runs against the simulated boot loader on Qt's offscreen
# platform: each of the three windows idle, busy, with its verdict of success
# and with a failure and its reason, the port dialog, the version list, and
# the station window busy with two modules and with their verdicts.
#
#   tools/screenshots.sh [OUT_DIR [BUILD_DIR]]   (a build configured with -DTORVANE_BUILD_GUI=ON)
#
# OUT_DIR defaults to docs/images, the guide's own pictures; BUILD_DIR to build.
set -euo pipefail
[ $# -le 2 ] || { echo "usage: tools/screenshots.sh [OUT_DIR [BUILD_DIR]]" >&2; exit 2; }
if [ $# -ge 1 ]; then
  mkdir -p "$1"
  out=$(cd "$1" && pwd)
fi
cd "$(dirname "$0")/.."
out=${out:-$PWD/docs/images}
build=${2:-build}

shooter=$build/torvane-screenshots
[ -x "$shooter" ] || cmake --build "$build" --target torvane-screenshots -j "${JOBS:-2}" >/dev/null
[ -x "$shooter" ] || { echo "screenshots: $shooter is missing; configure the build with -DTORVANE_BUILD_GUI=ON" >&2; exit 1; }

# No display needed: Qt draws the same widgets offscreen.
QT_QPA_PLATFORM=offscreen "$shooter" "$out"
