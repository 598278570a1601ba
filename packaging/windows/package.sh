#!/usr/bin/env bash
# The Windows packages from a cross build (./run package-windows):
#   <build>/torvane-<version>-setup.exe             64-bit NSIS setup (packaging/windows/torvane.nsi)
#   <build>/torvane-<version>-windows-x64.zip       the programs, guide and licence, for running without installing
#   <build>/torvane-<version>-windows-x64-debug.zip the programs' debug information, kept for crash reports
# from the stripped programs in <build>/release (CMake target torvane_windows_release).
#
#   packaging/windows/package.sh WINDOWS_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd)
src=$PWD

cmake --build "$build" -j "${JOBS:-1}" --target torvane_windows_release
version=$(sed -n 's/^!define TORVANE_VERSION "\(.*\)"$/\1/p' "$build/windows-resources/installer.nsh")
[ -n "$version" ] || { echo "package.sh: no version in $build/windows-resources/installer.nsh" >&2; exit 1; }

# What is installed, laid out as it is installed; the zip holds the same tree.
name=torvane-$version-windows-x64
work=$build/package
stage=$work/$name
rm -rf "$work"
mkdir -p "$stage/docs/images"
# The window program goes in when the build has it; it must then have been
# given its resources (torvane_windows_resources), which makes its release copy.
programs=(torvane-cli.exe)
targets=$(cmake --build "$build" --target help)
if grep -qx '\.\.\. torvane' <<<"$targets"; then
  if [ ! -f "$build/release/torvane.exe" ]; then
    echo "package.sh: the build has the target torvane but no $build/release/torvane.exe:" \
      "call torvane_windows_resources(torvane ...) for it" >&2
    exit 1
  fi
  programs=(torvane.exe "${programs[@]}")
fi
for p in "${programs[@]}"; do
  cp "$build/release/$p" "$stage/"
done
cp docs/guide.md "$stage/docs/"
cp docs/images/*.png "$stage/docs/images/"
# The licence text, with Windows line ends for Notepad and the licence page.
sed 's/$/\r/' packaging/copyright >"$stage/LICENSE.txt"

# One list of the staged files: the setup writes them, the uninstaller removes
# them and then the folders, deepest first.
{
  echo '!macro TORVANE_INSTALL_FILES'
  (cd "$stage" && find . -type d | sort) | while read -r d; do
    rel=${d#.}; rel=${rel#/}
    echo "  SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\""
    (cd "$stage/$d" && find . -maxdepth 1 -type f | sort) | while read -r f; do
      echo "  File \"$stage/${rel:+$rel/}${f#./}\""
    done
  done
  echo '!macroend'
  echo '!macro TORVANE_REMOVE_FILES'
  (cd "$stage" && find . -type f | sort) | while read -r f; do
    rel=${f#./}
    echo "  Delete \"\$INSTDIR\\${rel//\//\\}\""
  done
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r d; do
    rel=${d#./}
    echo "  RMDir \"\$INSTDIR\\${rel//\//\\}\""
  done
  echo '!macroend'
} >"$work/files.nsh"

setup=$build/torvane-$version-setup.exe
gui=()
[ -f "$stage/torvane.exe" ] && gui=(-DHAVE_GUI)
# TORVANE_NSIS_OPTIONS: one more makensis option, e.g. the uninstaller's
# signing command (packaging/windows/README-signing.md).
extra=()
[ -n "${TORVANE_NSIS_OPTIONS:-}" ] && extra=("$TORVANE_NSIS_OPTIONS")
makensis -V2 -WX -DRESOURCES="$build/windows-resources" -DSTAGE="$stage" -DFILES="$work/files.nsh" \
  -DOUTFILE="$setup" "${gui[@]}" "${extra[@]}" "$src/packaging/windows/torvane.nsi"

# Zips with the files in a fixed order and no extra attributes.
zip_tree() {  # zip_tree OUT.zip DIR ENTRY...: the entries, relative to DIR
  local out=$1 dir=$2
  shift 2
  rm -f "$out"
  (cd "$dir" && find "$@" -type f | LC_ALL=C sort | zip -q -X -D "$out" -@)
}
zip_tree "$build/$name.zip" "$work" "$name"
rm -f "$build/$name-debug.zip"
(cd "$build/release" && for p in "${programs[@]}"; do echo "$p.debug"; done | zip -q -X -D "$build/$name-debug.zip" -@)

echo "package.sh: $setup"
echo "package.sh: $build/$name.zip"
echo "package.sh: $build/$name-debug.zip"
