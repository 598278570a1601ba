#!/usr/bin/env bash
# torvane-cli.exe under Wine against the Linux torvane-bootsim: the module's
# pseudo-terminal becomes COM7 of the Wine prefix (tests/windows/wine-com-port.sh),
# so the Windows program lists COM7 and opens \\.\COM7 and talks to the
# simulator through the Win32 serial calls. Each case checks the exit code,
# the verdict and, for an update, the module's flash.
#
#   tests/windows/cli-under-wine.sh WINDOWS_BUILD NATIVE_BUILD
#
# Needs WINEPREFIX (an initialised, throw-away prefix); exits 1 when a case fails.
set -uo pipefail
cd "$(dirname "$0")/../.."
win=$1
native=$2
: "${WINEPREFIX:?set WINEPREFIX to a throw-away Wine prefix}"
export WINEDEBUG=-all DISPLAY=

# shellcheck source=tests/windows/wine-com-port.sh
. tests/windows/wine-com-port.sh

cli=$win/torvane-cli.exe
sim=$native/torvane-bootsim
work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-wine.XXXXXX")
sim_pid=
failures=0
trap 'stop_module >/dev/null 2>&1; rm -rf "$work"; wine_com_port_remove 7' EXIT

# A simulated module with the given options, on a pty that is COM7. It
# lets each byte's wire time pass at the line's speed: to the updater under
# Wine the pty is a COM port, whose answers cannot come sooner than that.
start_module() {
  "$sim" --baud 115200 "$@" >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    [ -s "$work/sim.out" ] && break
    sleep 0.05
  done
  wine_com_port 7 "$(head -n 1 "$work/sim.out")" || failures=$((failures + 1))
}

# Ends the module; its exit code says whether its flash check passed.
stop_module() {
  [ -n "$sim_pid" ] || return 0
  kill -INT "$sim_pid" 2>/dev/null
  local status=0
  wait "$sim_pid" || status=$?
  sim_pid=
  return $status
}

# update OPTIONS...: runs torvane-cli.exe update; sets code and out (a failed
# run tells the rest of its story on stderr, so out holds both streams).
update() {
  code=0
  out=$(wine "$cli" update "$@" 2>&1) || code=$?
}

# check NAME EXPECTED_CODE TEXT: the run ended with that code and printed TEXT.
check() {
  local name=$1 expected=$2 text=$3
  if [ "$code" -eq "$expected" ] && grep -qF -- "$text" <<<"$out"; then
    echo "PASS  $name"
  else
    echo "FAIL  $name: exit $code (expected $expected), looked for '$text' in:"
    sed 's/^/      /' <<<"$out"
    failures=$((failures + 1))
  fi
}

# flash_checked NAME: the module's flash holds the image it expected.
flash_checked() {
  if stop_module; then
    echo "PASS  $1: the module's flash holds the image"
  else
    echo "FAIL  $1: the module's flash check failed:"
    sed 's/^/      /' "$work/sim.err"
    failures=$((failures + 1))
  fi
}

# Both product images, each on the module it is made for.
while read -r name chip version hardware preparation image; do
  start_module --chip "$chip" --loader-version "$version" --hardware "$hardware" --preparation "$preparation" \
    --expect-image "product/images/$image"
  update --port COM7 --as main
  check "$name is programmed" 0 "Program Ok"
  flash_checked "$name"
done <<'CASES'
33FJ64 252 10 26 0x84 kbv7e-33fj64.hex
26K80  72  10 12 0x04 kbv7e-26k80.hex
CASES

# Failures a user meets, each with its exit code and text. The unplugged
# module is the simulator closing its line: under Wine the reads then fail
# with ERROR_NOT_READY and ERROR_BROKEN_PIPE (measured); a USB adapter pulled
# on Windows answers with other errors, which the platform tests' table holds.
while IFS='|' read -r name module options expected text; do
  # shellcheck disable=SC2086
  start_module $module
  # shellcheck disable=SC2086
  update $options
  check "$name" "$expected" "$text"
  stop_module
done <<'CASES'
a board the image does not suit|--chip 252 --hardware 5|--port COM7 --as main|11|not suitable apparatus
every block refused|--chip 252 --refuse 1000000|--port COM7 --as main|7|verdict:  CHK Error !! 
silence after the identity|--chip 252 --silent-after 1|--port COM7 --as main|6|verdict:  not Response 
a module unplugged while programmed|--chip 252 --hangup-after 30|--port COM7 --as main|6|detail: the device was disconnected
no boot loader answers|--silent|--port COM7 --as main|3|verdict: Device not Found
no device behind the port|--chip 252|--port COM99 --as main|4|COM99: no such port COM99
a port name that is none|--chip 252|--port LPT1|2|
CASES

# The port list: Wine's SetupAPI lists no ports, so COM7 comes from the
# serial device map, by its COM name.
start_module --chip 252
code=0
out=$(wine "$cli" ports 2>&1) || code=$?
check "ports lists COM7 from SERIALCOMM" 0 'COM7  COM7  \\.\COM7'
code=0
out=$(wine "$cli" ports --json 2>&1) || code=$?
check "ports --json lists COM7" 0 '{"port":"COM7","friendly_name":"COM7","device":"\\\\.\\COM7"}'
code=0
out=$(wine "$cli" ports --sysfs /sys 2>&1) || code=$?
check "ports refuses --sysfs on Windows" 2 "--sysfs"
stop_module

# Ctrl-C: Wine hands SIGINT to the console program as its Ctrl-C, once for
# each signal; the second comes 5 ms after the first, while the run winds
# down (the program ends about 35 ms after the first), and must not end the
# program before its verdict. Under Wine 8 this cannot fail the way it did on
# Windows: Wine's C runtime keeps a signal() handler for every SIGINT (a
# probe caught 3 of 3), where Windows' forgets it after the first. Ctrl-Break
# and closing the console cannot be sent under Wine (no signal stands for
# them, and there is no console window): the platform tests hand those
# events to the handler directly.
for signals in 1 2; do
  start_module --silent
  # Files of its own for each run: with one pair for both, the second run's
  # output once held a NUL byte, as if something of the first run (Wine's
  # console host?) still wrote at its old offset after the truncation.
  wine "$cli" update --port COM7 --as main >"$work/stop$signals.out" 2>"$work/stop$signals.err" &
  cli_pid=$!
  sleep 3
  for _ in $(seq 1 "$signals"); do kill -INT "$cli_pid"; sleep 0.005; done
  code=0
  wait "$cli_pid" || code=$?
  out=$(cat "$work/stop$signals.out" "$work/stop$signals.err")
  check "Ctrl-C ($signals in a row) stops the run as Stop does" 5 "User Abort !!"
  stop_module
done

# The remembered port, from the user's copy of the settings key.
wine reg add 'HKCU\Software\Oskel\Torvane' /v com /t REG_SZ /d 6 /f >/dev/null 2>&1
start_module --chip 252 --loader-version 10 --hardware 26 --preparation 0x84 --expect-image product/images/kbv7e-33fj64.hex
update --as main
check "the port remembered in the registry (COM7) is used" 0 "Program Ok"
flash_checked "the remembered port"
wine reg delete 'HKCU\Software\Oskel\Torvane' /f >/dev/null 2>&1

# A device path as Windows writes it, and a run log in a folder named with a
# letter beyond ASCII: the command line reaches the program as UTF-16 whatever
# the ANSI code page, and the record lands under the very name given.
log_root=$WINEPREFIX/drive_c/torvane-wine-test
rm -rf "$log_root"
start_module --chip 252 --loader-version 10 --hardware 26 --preparation 0x84 --expect-image product/images/kbv7e-33fj64.hex
update --port '\\.\COM7' --as main --log 'C:\torvane-wine-test\Jürgen\runs.jsonl'
check '--port \\.\COM7 and --log in C:\torvane-wine-test\Jürgen' 0 "Program Ok"
flash_checked 'the \\.\COM7 device path'
if grep -qF '"exit_code":0' "$log_root/Jürgen/runs.jsonl" 2>/dev/null; then
  echo "PASS  the record is in C:\torvane-wine-test\Jürgen\runs.jsonl"
else
  echo "FAIL  no record in C:\torvane-wine-test\Jürgen\runs.jsonl; the drive holds:"
  find "$log_root" 2>/dev/null | sed 's/^/      /'
  failures=$((failures + 1))
fi
rm -rf "$log_root"

if [ "$failures" -ne 0 ]; then
  echo "cli-under-wine: $failures case(s) failed"
  exit 1
fi
echo "cli-under-wine: every case passed"
