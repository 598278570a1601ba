#!/usr/bin/env bash
# A full update of a simulated module, from the command line:
# a torvane-bootsim module on a pseudo-terminal, mapped to COM7 in a throw-away
# configuration folder, updated by torvane-cli, then its flash checked against
# the image that was sent.
#
#   tools/demo-cli.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-demo.XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM
export TORVANE_CONFIG_DIR=$work/config

echo "== Starting a simulated module: dsPIC33FJ64 (chip 252), boot loader 10, board 26, preparation 0x84"
"$build/torvane-bootsim" --chip 252 --version 10 --hardware 26 --preparation 0x84 --com COM7 \
  --expect-image product/images/kbv7e-33fj64.hex >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.05
done
[ -s "$work/sim.out" ] || { cat "$work/sim.err" >&2; echo "demo: the simulated module did not start" >&2; exit 1; }
echo "   on $(head -n 1 "$work/sim.out"), mapped as COM7"
echo

echo "== torvane-cli update --port COM7"
status=0
"$build/torvane-cli" update --port COM7 || status=$?
echo

kill -INT "$sim_pid"
sim_status=0
wait "$sim_pid" || sim_status=$?
sim_pid=
grep -E "check" "$work/sim.err" | sed 's/^torvane-bootsim: /== Module: /'
if [ "$status" -ne 0 ] || [ "$sim_status" -ne 0 ]; then
  echo "demo: the update did not complete (torvane-cli exit $status, module check exit $sim_status)" >&2
  exit 1
fi
echo "== Done: the module was updated and its flash holds the image."
