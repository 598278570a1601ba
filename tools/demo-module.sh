# Sourced by the demos: the simulated module they update, a dsPIC33FJ64
# (chip 252, boot loader 10, board 26, preparation 0x84) on a pseudo-terminal
# mapped to COM7 in $TORVANE_CONFIG_DIR. At the end it checks its flash
# against the image the product carries for it.
#
#   open_workspace                     a throw-away folder ($work) with its own
#                                      TORVANE_CONFIG_DIR, removed at exit
#   start_module BUILD_DIR WORK_DIR    sets sim_pid
#   stop_module                        prints the flash check; fails when it failed

open_workspace() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-demo.XXXXXX")
  sim_pid=
  trap 'close_workspace' EXIT
  trap 'exit 130' INT TERM
  export TORVANE_CONFIG_DIR=$work/config
  mkdir -p "$TORVANE_CONFIG_DIR"
}

close_workspace() {
  if [ -n "${sim_pid:-}" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}

start_module() {
  local build=$1 work=$2
  echo "== Starting a simulated module: dsPIC33FJ64 (chip 252), boot loader 10, board 26, preparation 0x84"
  "$build/torvane-bootsim" --chip 252 --loader-version 10 --hardware 26 --preparation 0x84 --com COM7 \
    --expect-image product/images/kbv7e-33fj64.hex >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  sim_err=$work/sim.err
  for _ in $(seq 1 100); do
    [ -s "$work/sim.out" ] && break
    sleep 0.05
  done
  if [ ! -s "$work/sim.out" ]; then
    cat "$work/sim.err" >&2
    echo "demo: the simulated module did not start" >&2
    return 1
  fi
  echo "   on $(head -n 1 "$work/sim.out"), mapped as COM7"
}

stop_module() {
  local status=0
  kill -INT "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" || status=$?
  sim_pid=
  grep -E "check" "$sim_err" | sed 's/^torvane-bootsim: /== Module: /' || true
  return $status
}
