#!/usr/bin/env bash
# The guide's pictures of the Windows windows (docs/images/windows-*.png),
# taken from real runs of the Windows build under Wine, on a virtual display
# where Wine draws the window frames itself, against the Linux simulated boot
# loader on a pseudo-terminal linked as COM7: each window idle, busy, with
# its verdict of success and with a failure, the compact and START/STOP
# windows with a port that cannot be used, the port dialog, the version list,
# and the station window busy with two modules and with their verdicts.
#
#   tools/screenshots-windows.sh [OUT_DIR]
#
# Builds what it needs (./run build-windows); OUT_DIR defaults to docs/images.
set -euo pipefail
[ $# -le 1 ] || { echo "usage: tools/screenshots-windows.sh [OUT_DIR]" >&2; exit 2; }
if [ $# -ge 1 ]; then
  mkdir -p "$1"
  out=$(cd "$1" && pwd)
fi
cd "$(dirname "$0")/.."
out=${out:-$PWD/docs/images}
win=${WINDOWS_BUILD_DIR:-build-windows}
native=${NATIVE_BUILD_DIR:-build-windows-native}

shooter=$win/torvane-win32-screenshots.exe
# First build, then go on inside a virtual display of its own.
if [ -z "${TORVANE_SHOTS_ON_DISPLAY:-}" ]; then
  ./run build-windows >/dev/null
  cmake --build "$win" -j "${JOBS:-2}" --target torvane-win32-screenshots >/dev/null
  TORVANE_SHOTS_ON_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$out"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-shots.XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all
sim_pid=
cleanup() {
  [ -z "$sim_pid" ] || kill -INT "$sim_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=tests/windows/wine-com-port.sh
. tests/windows/wine-com-port.sh
start_module() {
  [ -z "$sim_pid" ] || { kill -INT "$sim_pid"; wait "$sim_pid" || true; }
  "$native/torvane-bootsim" --baud 115200 --chip 252 --loader-version 10 --preparation 0x84 "$@" >"$work/sim.out" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
  wine_com_port 7 "$(head -n 1 "$work/sim.out")"  # listed in the port dialog too
}

# shoot SET: one set of pictures on a Wine desktop of its own.
shoot() {
  mkdir -p "$work/shots"
  wine explorer /desktop=torvane,1200x760 "$shooter" "$(winepath -w "$work/shots")" "$1"
  wineserver -w
}

mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
start_module --hardware 26
shoot runs
start_module --hardware 5  # a board the image does not suit
shoot failures
# The station's two modules, as COM7 and COM8.
kill -INT "$sim_pid"; wait "$sim_pid" || true
"$native/torvane-bootsim" --modules 2 --baud 115200 --chip 252 --loader-version 10 --preparation 0x84 \
  --hardware 26 >"$work/sim.out" 2>/dev/null &
sim_pid=$!
for _ in $(seq 1 100); do [ "$(wc -l <"$work/sim.out")" -ge 2 ] && break; sleep 0.05; done
wine_com_port 7 "$(sed -n 1p "$work/sim.out")"
wine_com_port 8 "$(sed -n 2p "$work/sim.out")"
shoot station
tools/bmp-to-png.py "$work"/shots/*.bmp
cp "$work"/shots/*.png "$out"/
ls "$work"/shots/*.png | sed "s|.*/|$out/|"
