#!/usr/bin/env bash
# The updater's own window against a simulated module: a torvane-bootsim
# module on a pseudo-terminal, mapped to COM7 in a throw-away configuration
# folder whose remembered port ("com") is COM7 for every front end. The
# build's front end opens ready for its start button; close it to end the
# demo. Without a display it runs on a virtual one (xvfb-run), where it can
# only be ended with Ctrl-C.
#
#   tools/demo-gui.sh [BUILD_DIR]      (a build configured with -DTORVANE_BUILD_GUI=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/demo-module.sh
build=${1:-build}

gui=$build/torvane
[ -x "$gui" ] || { echo "demo-gui: $gui is missing; configure the build with -DTORVANE_BUILD_GUI=ON" >&2; exit 1; }

open_workspace

start_module "$build" "$work"

# COM7 is port index 6, remembered under each front end's own key.
cat >"$TORVANE_CONFIG_DIR/settings.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Oskel\Torvane]
"com"="6"

[HKEY_LOCAL_MACHINE\Software\Varnholt\Upgrade]
"com"="6"

[HKEY_LOCAL_MACHINE\Software\Pelliam\Loader]
"com"="6"
REG

echo "== Opening the updater on COM7: press its start button"
status=0
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$gui" || status=$?
elif command -v xvfb-run >/dev/null; then
  echo "   (no display: running on a virtual one; Ctrl-C ends the demo)"
  xvfb-run -a "$gui" || status=$?
else
  echo "demo-gui: no display and no xvfb-run to make one" >&2
  exit 1
fi

stop_module || true
exit "$status"
