#!/usr/bin/env bash
# The station window of the Windows program under Wine, against two Linux
# torvane-bootsim modules whose pseudo-terminals are linked into the Wine
# prefix as COM7 and COM8: the window test program drives the station
# through its own messages (tests/win32ui/StationWindowTest.cpp), and the
# modules' exit status says whether each flash holds the image.
#
#   tests/windows/station-under-wine.sh WINDOWS_BUILD NATIVE_BUILD
#
# Needs WINEPREFIX (an initialised, throw-away prefix) and DISPLAY (an X
# server, Xvfb will do); exits 1 when a case fails.
set -uo pipefail
cd "$(dirname "$0")/../.."
win=$1
native=$2
: "${WINEPREFIX:?set WINEPREFIX to a throw-away Wine prefix}"
: "${DISPLAY:?set DISPLAY to an X server (Xvfb) for the windows}"
export WINEDEBUG=-all

tests=$win/tests/torvane_win32ui_tests.exe
sim=$native/torvane-bootsim
coms=(com7 com8)  # Wine's names of the links in the prefix
work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-station-wine.XXXXXX")
sim_pid=
failures=0
trap 'stop_modules >/dev/null 2>&1; rm -rf "$work"; for c in "${coms[@]}"; do rm -f "$WINEPREFIX/dosdevices/$c"; done' EXIT

# The board both product images' first module is made for.
module=(--chip 252 --loader-version 10 --hardware 26 --preparation 0x84)
image=product/images/kbv7e-33fj64.hex

# Two simulated modules with the given options, one per pty, linked as COM7
# and COM8. Each byte's wire time passes at the line's speed, as on a COM port.
start_modules() {
  "$sim" --modules 2 --baud 115200 "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    [ "$(wc -l <"$work/sim.out")" -ge 2 ] && break
    sleep 0.05
  done
  local k=0
  while read -r path; do
    ln -sfn "$path" "$WINEPREFIX/dosdevices/${coms[$k]}"
    k=$((k + 1))
  done < <(head -n 2 "$work/sim.out")
}

# Ends the modules; their exit code says whether every flash check passed.
stop_modules() {
  [ -n "$sim_pid" ] || return 0
  kill -INT "$sim_pid" 2>/dev/null
  local status=0
  wait "$sim_pid" || status=$?
  sim_pid=
  return $status
}

# run NAME FILTER [PORTS]: the window tests FILTER selects, with the modules on PORTS.
run() {
  local name=$1 filter=$2 ports=${3:-}
  if TORVANE_TEST_STATION_PORTS=$ports wine "$tests" --gtest_filter="$filter" >"$work/tests.out" 2>&1 &&
    ! grep -q '\[  SKIPPED \]' "$work/tests.out"; then
    echo "PASS  $name"
  else
    echo "FAIL  $name:"
    sed 's/^/      /' "$work/tests.out"
    failures=$((failures + 1))
  fi
}

run "the cells follow the ports; a port that is none is refused" 'StationCells.*:StationStart.*'

start_modules "${module[@]}" --expect-image "$image"
run "START all programs both modules and shows each verdict" 'StationPrograms.*' COM7,COM8
if stop_modules; then
  echo "PASS  both modules' flash holds the image"
else
  echo "FAIL  a module's flash check failed:"
  sed 's/^/      /' "$work/sim.err"
  failures=$((failures + 1))
fi

# Modules that answer late enough for a run to be stopped in its middle.
start_modules "${module[@]}" --late 10
run "STOP of one port and a close during the runs" 'StationStops.*' COM7,COM8
stop_modules

if [ "$failures" -ne 0 ]; then
  echo "station-under-wine: $failures case(s) failed"
  exit 1
fi
echo "station-under-wine: every case passed"
