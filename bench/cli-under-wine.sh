#!/usr/bin/env bash
# A whole update of each product image with torvane-cli.exe under Wine, beside
# the Linux torvane-cli, against torvane-bootsim with line emulation (115200
# baud). Prints seconds per run; never fails on timing.
#
#   bench/cli-under-wine.sh WINDOWS_BUILD NATIVE_BUILD [RUNS]
#
# NATIVE_BUILD needs torvane-cli and torvane-bootsim; WINEPREFIX an initialised prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
win=$1
native=$2
runs=${3:-3}
: "${WINEPREFIX:?set WINEPREFIX to a throw-away Wine prefix}"
export WINEDEBUG=-all DISPLAY=
work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-bench.XXXXXX")
export TORVANE_CONFIG_DIR=$work/config
mkdir -p "$TORVANE_CONFIG_DIR"
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"; rm -f "$WINEPREFIX/dosdevices/com7"' EXIT

# seconds for one update with the given program on a fresh module
one_run() {
  local program=$1 chip=$2 version=$3 hardware=$4 preparation=$5
  "$native/torvane-bootsim" --chip "$chip" --loader-version "$version" --hardware "$hardware" --preparation "$preparation" \
    --baud 115200 --com COM7 >"$work/sim.out" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
  ln -sfn "$(head -n 1 "$work/sim.out")" "$WINEPREFIX/dosdevices/com7"
  local start end
  start=$(date +%s.%N)
  $program update --port COM7 --as main >/dev/null 2>&1 || echo "bench: an update failed" >&2
  end=$(date +%s.%N)
  kill -INT "$sim_pid"; wait "$sim_pid" || true
  sim_pid=
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}

wine "$win/torvane-cli.exe" --help >/dev/null 2>&1 || true  # starts the wineserver before timing
printf '%-8s %-22s %s\n' image program "seconds per update ($runs runs)"
while read -r name chip version hardware preparation; do
  for program in "$native/torvane-cli" "wine $win/torvane-cli.exe"; do
    times=()
    for _ in $(seq 1 "$runs"); do times+=("$(one_run "$program" "$chip" "$version" "$hardware" "$preparation")"); done
    label=linux; [[ $program == wine* ]] && label="windows (wine)"
    printf '%-8s %-22s %s\n' "$name" "$label" "${times[*]}"
  done
done <<'CASES'
33FJ64 252 10 26 0x84
26K80  72  10 12 0x04
CASES
