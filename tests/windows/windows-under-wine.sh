#!/usr/bin/env bash
# The Windows windows under Wine on a virtual display, against the Linux
# torvane-bootsim on a pseudo-terminal that is COM7 of the prefix, opened and
# listed as a port (tests/windows/wine-com-port.sh):
#   - each front end's start button, pressed through the window's own
#     messages (torvane_win32ui_tests.exe), programs the module: the verdict
#     is read from the window, and the module's flash holds the image;
#   - a close during a run, the port dialog's list, the design texts;
#   - the station window with two modules, the second as COM8:
#     START for all programs both (each flash holds the image), STOP of
#     one port and a close during the runs stop them;
#   - torvane.exe itself: a second start shows the already-running box and
#     leaves the first alone; the station starts beside it; "\P" opens the
#     UDP service.
#
#   tests/windows/windows-under-wine.sh WINDOWS_BUILD NATIVE_BUILD
#
# Needs WINEPREFIX (an initialised, throw-away prefix) and DISPLAY (an X
# server such as Xvfb); exits 1 when a case fails.
set -uo pipefail
cd "$(dirname "$0")/../.."
win=$1
native=$2
: "${WINEPREFIX:?set WINEPREFIX to a throw-away Wine prefix}"
: "${DISPLAY:?set DISPLAY to an X server (xvfb-run)}"
export WINEDEBUG=-all

# shellcheck source=tests/windows/wine-com-port.sh
. tests/windows/wine-com-port.sh

tests=$win/tests/torvane_win32ui_tests.exe
gui=$win/torvane.exe
sim=$native/torvane-bootsim
work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-wine-gui.XXXXXX")
sim_pid=
failures=0
trap 'stop_module >/dev/null 2>&1; wineserver -k 2>/dev/null; rm -rf "$work"; wine_com_port_remove 7; wine_com_port_remove 8' EXIT
# A Wine session started without a display (the console tests) cannot show
# windows: start afresh on this one.
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

start_module() {
  "$sim" --baud 115200 "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$work/sim.out" ] && break
    sleep 0.05
  done
  wine_com_port 7 "$(head -n 1 "$work/sim.out")" || failures=$((failures + 1))
}

# Two modules with the given options, as COM7 and COM8.
start_modules() {
  "$sim" --modules 2 --baud 115200 "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    [ "$(wc -l <"$work/sim.out")" -ge 2 ] && break
    sleep 0.05
  done
  wine_com_port 7 "$(sed -n 1p "$work/sim.out")" || failures=$((failures + 1))
  wine_com_port 8 "$(sed -n 2p "$work/sim.out")" || failures=$((failures + 1))
}

# Ends the module (or modules); its exit code says whether its flash check passed.
stop_module() {
  [ -n "$sim_pid" ] || return 0
  kill -INT "$sim_pid" 2>/dev/null
  local status=0
  wait "$sim_pid" || status=$?
  sim_pid=
  return $status
}

pass() { echo "PASS  $1"; }
fail() {
  echo "FAIL  $1"
  [ $# -lt 2 ] || sed 's/^/      /' "$2"
  failures=$((failures + 1))
}

# windows_test NAME FILTER: the window tests matching FILTER pass, none skipped.
windows_test() {
  if TORVANE_TEST_MODULE_PORT=COM7 TORVANE_TEST_STATION_PORTS=COM7,COM8 \
    wine "$tests" --gtest_brief=1 --gtest_filter="$2" >"$work/test.out" 2>&1 &&
    ! grep -q '^\[  SKIPPED \]' "$work/test.out"; then
    pass "$1"
  else
    fail "$1" "$work/test.out"
  fi
}

# Each front end programs the module the product image is made for.
for front in MainWindow LoaderWindow UpgradeWindow; do
  start_module --chip 252 --loader-version 10 --hardware 26 --preparation 0x84 \
    --expect-image product/images/kbv7e-33fj64.hex
  windows_test "$front: the start button programs the module and shows its verdict" \
    "Windows/FrontEndRun.*/$front"
  if stop_module; then pass "$front: the module's flash holds the image"; else fail "$front: flash check" "$work/sim.err"; fi
done

start_module --silent
windows_test "a close during a run, the port dialog, the windows' texts" \
  "FrontEndClose.*:FrontEndKeyboard.*:PortDialog.*:Windows.ShowTheirDesignTexts"
stop_module

# The station: two modules at once, each checked; then modules that answer
# late enough for their runs to be stopped in the middle.
start_modules --chip 252 --loader-version 10 --hardware 26 --preparation 0x84 \
  --expect-image product/images/kbv7e-33fj64.hex
windows_test "the station: START all programs both modules and shows each verdict; its cells; a bad port" \
  "StationPrograms.*:StationCells.*:StationStart.*"
if stop_module; then pass "the station: both modules' flash holds the image"; else fail "the station: flash check" "$work/sim.err"; fi
start_modules --chip 252 --loader-version 10 --hardware 26 --preparation 0x84 --late 10
windows_test "the station: STOP of one port, a close during the runs" "StationStops.*"
stop_module
wine_com_port_remove 8

# The program itself: one instance at a time.
window_named() {  # window_named PATTERN [SECONDS]: the id of a visible window so named
  local id
  for _ in $(seq 1 $((${2:-20} * 4))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.25
  done
  return 1
}
wine "$gui" >"$work/first.out" 2>&1 &
first=$!
if window_named '^Upgrade .*KBV 7E' >/dev/null; then
  wine "$gui" >"$work/second.out" 2>&1 &
  second=$!
  if window_named '^Updater 2.7 - ' 10 >/dev/null; then
    pass "a second start shows the already-running box"
  else
    xwininfo -root -tree >"$work/windows.txt" 2>&1
    fail "a second start shows no already-running box; the windows are:" "$work/windows.txt"
  fi
  kill "$second" 2>/dev/null
  wait "$second" 2>/dev/null
  # The station has no guard: it opens beside the updater.
  wine "$gui" --station COM7 >"$work/station.out" 2>&1 &
  station=$!
  if window_named '^Torvane station$' 10 >/dev/null; then
    pass "torvane.exe --station opens the station window beside the updater"
  else
    fail "torvane.exe --station shows no station window" "$work/station.out"
  fi
  kill "$station" 2>/dev/null
  wait "$station" 2>/dev/null
else
  fail "torvane.exe shows no window" "$work/first.out"
fi
kill "$first" 2>/dev/null
wait "$first" 2>/dev/null
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

# "\P": the UDP service holds its port while the window is open.
udp_port_taken() {
  python3 - "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
try:
    s.bind(("0.0.0.0", int(sys.argv[1])))
except OSError:
    sys.exit(0)
sys.exit(1)
PY
}
if udp_port_taken 3004; then fail "UDP port 3004 is taken before the program starts: the case cannot tell"; fi
wine "$gui" '\P' >"$work/udp.out" 2>&1 &
first=$!
taken=no
if window_named '^Upgrade .*KBV 7E' >/dev/null; then
  for _ in $(seq 1 20); do
    if udp_port_taken 3004; then taken=yes; break; fi
    sleep 0.25
  done
fi
if [ "$taken" = yes ]; then pass '\P opens the UDP service on port 3004'; else fail '\P: UDP port 3004 is not open' "$work/udp.out"; fi
kill "$first" 2>/dev/null
wait "$first" 2>/dev/null
wineserver -k 2>/dev/null

if [ "$failures" -ne 0 ]; then
  echo "windows-under-wine: $failures case(s) failed"
  exit 1
fi
echo "windows-under-wine: every case passed"
