#!/usr/bin/env bash
# The Debian package, unpacked into a scratch root and run from there: the
# programs start without the build folder, carry their images, update a
# simulated module whose flash then holds the image, and the window opens.
#
#   tests/package/ScratchRootTest.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-package.XXXXXX")
sim_pid=
gui_pid=
cleanup() {
  for pid in $sim_pid $gui_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "package test: $*" >&2; exit 1; }

root=$work/root
dpkg-deb -x "$deb" "$root"
bin=$root/usr/bin
export TORVANE_CONFIG_DIR=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$TORVANE_CONFIG_DIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

echo "== the files in their places"
for f in usr/bin/torvane usr/bin/torvane-cli usr/bin/torvane-bootsim \
         usr/share/applications/torvane.desktop usr/share/icons/hicolor/128x128/apps/torvane.png \
         usr/share/man/man1/torvane.1.gz usr/share/man/man1/torvane-cli.1.gz \
         usr/share/man/man1/torvane-bootsim.1.gz usr/share/bash-completion/completions/torvane-cli \
         usr/lib/udev/rules.d/70-torvane-serial.rules usr/share/doc/torvane/copyright \
         usr/share/doc/torvane/guide.md usr/share/doc/torvane/images/main-window-success.png; do
  [ -e "$root/$f" ] || fail "$f is missing from the package"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/torvane.desktop"
fi
for page in torvane torvane-cli torvane-bootsim; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.SH NAME" || fail "$page(1) is not a man page"
done
bash -n "$root/usr/share/bash-completion/completions/torvane-cli"

echo "== torvane-cli --version"
"$bin/torvane-cli" --version || fail "torvane-cli --version failed"

echo "== torvane-cli images"
images=$("$bin/torvane-cli" images)
echo "$images"
[ -n "$images" ] || fail "torvane-cli images printed nothing"

echo "== an update against the simulated module"
"$bin/torvane-bootsim" --chip 252 --loader-version 10 --hardware 26 --preparation 0x84 --com COM7 \
  --expect-image "$source_dir/product/images/kbv7e-33fj64.hex" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.05
done
[ -s "$work/sim.out" ] || { cat "$work/sim.err" >&2; fail "the simulated module did not start"; }
"$bin/torvane-cli" update --port COM7 || fail "torvane-cli update ended with $?"
kill -INT "$sim_pid"
sim_status=0
wait "$sim_pid" || sim_status=$?
sim_pid=
grep -E "check" "$work/sim.err" || true
[ "$sim_status" -eq 0 ] || fail "the module's flash does not hold the image"

echo "== the window, offscreen"
QT_QPA_PLATFORM=offscreen "$bin/torvane" >"$work/gui.log" 2>&1 &
gui_pid=$!
sleep 2
if ! kill -0 "$gui_pid" 2>/dev/null; then
  cat "$work/gui.log" >&2
  gui_status=0
  wait "$gui_pid" || gui_status=$?
  gui_pid=
  fail "torvane ended at start-up with $gui_status"
fi
kill "$gui_pid"
wait "$gui_pid" 2>/dev/null || true
gui_pid=
echo "== the package works from a scratch root"
