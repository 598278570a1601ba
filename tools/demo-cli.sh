#!/usr/bin/env bash
# A full update of a simulated module, from the command line:
# a torvane-bootsim module on a pseudo-terminal, mapped to COM7 in a throw-away
# configuration folder, updated by torvane-cli, then its flash checked against
# the image that was sent.
#
#   tools/demo-cli.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/demo-module.sh
build=${1:-build}

open_workspace

start_module "$build" "$work"
echo

echo "== torvane-cli update --port COM7"
status=0
"$build/torvane-cli" update --port COM7 || status=$?
echo

sim_status=0
stop_module || sim_status=$?
if [ "$status" -ne 0 ] || [ "$sim_status" -ne 0 ]; then
  echo "demo: the update did not complete (torvane-cli exit $status, module check exit $sim_status)" >&2
  exit 1
fi
echo "== Done: the module was updated and its flash holds the image."
