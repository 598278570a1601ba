#!/usr/bin/env bash
# The Windows programs as they are shipped (<build>/release, made by the CMake
# target torvane_windows_release): each imports only DLLs every Windows has
# (no MinGW runtime DLL to carry along), is stripped with its debug
# information in <name>.debug and a link to it, is a console or a window
# program as it should be, and carries its version, manifest and icon
# (tests/windows/pe-resources.py).
#
#   tests/windows/release-binaries.sh WINDOWS_BUILD
#
# Exits 1 when a check fails.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
build=$1
release=$build/release
objdump=x86_64-w64-mingw32-objdump
version=$(sed -n 's/^!define TORVANE_VERSION "\(.*\)"$/\1/p' "$build/windows-resources/installer.nsh")
failures=0

pass() { echo "PASS  $1"; }
fail() {
  echo "FAIL  $1"
  [ $# -gt 1 ] && sed 's/^/      /' <<<"$2"
  failures=$((failures + 1))
}

# DLLs of Windows itself: the C runtime (msvcrt, or the UCRT's api sets) and
# the system's libraries the programs may call.
system_dll='^(kernel32|user32|gdi32|msimg32|gdiplus|comctl32|comdlg32|advapi32|shell32|shlwapi|shcore|ole32|oleaut32|uuid|uxtheme|dwmapi|imm32|version|setupapi|cfgmgr32|ws2_32|winmm|bcrypt|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$'

# program|subsystem (2 = window program, 3 = console program)|required
programs=$(cat <<'CASES'
torvane-cli.exe|3|yes
torvane.exe|2|no
CASES
)
while IFS='|' read -r program subsystem required; do
  exe=$release/$program
  if [ ! -f "$exe" ]; then
    [ "$required" = yes ] && fail "$program is missing from $release"
    continue
  fi
  headers=$($objdump -p "$exe")

  foreign=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '[:upper:]' '[:lower:]' | grep -Ev "$system_dll")
  if [ -z "$foreign" ]; then
    pass "$program imports only system DLLs: $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '\n' ' ')"
  else
    fail "$program imports DLLs Windows does not have" "$foreign"
  fi

  if grep -Eq "^Subsystem[[:space:]]+0*${subsystem}[[:space:]]" <<<"$headers"; then
    pass "$program has subsystem $subsystem"
  else
    fail "$program's subsystem is not $subsystem" "$(grep '^Subsystem' <<<"$headers")"
  fi

  # .gnu_debuglink: the debug file's name, padded to 4 bytes, and its CRC-32.
  sections=$($objdump -h "$exe")
  work=$(mktemp -d)
  link=$(x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$work/link" "$exe" "$work/copy" 2>/dev/null &&
    python3 - "$work/link" "$exe.debug" 2>&1 <<'PY'
import os, struct, sys, zlib
if not os.path.exists(sys.argv[1]):
    sys.exit("no .gnu_debuglink section")
link = open(sys.argv[1], "rb").read()
name = link.split(b"\0")[0]
crc, = struct.unpack_from("<I", link, (len(name) + 4) & ~3)
try:
    matches = zlib.crc32(open(sys.argv[2], "rb").read()) == crc
except OSError:
    matches = False
print(name.decode(), "crc-ok" if matches else "crc-wrong")
PY
)
  rm -rf "$work"
  if grep -q ' \.debug_' <<<"$sections"; then
    fail "$program still carries debug sections" "$(grep ' \.debug_' <<<"$sections")"
  elif [ "$link" != "$program.debug crc-ok" ]; then
    fail "$program has no .gnu_debuglink to $program.debug with its checksum" "link: '$link'"
  elif ! grep -q ' \.debug_info' <<<"$($objdump -h "$exe.debug" 2>/dev/null)"; then
    fail "$program.debug holds no .debug_info"
  else
    pass "$program is stripped ($(stat -c %s "$exe") bytes), its debug information in $program.debug"
  fi

  python3 tests/windows/pe-resources.py "$exe" "$version" || failures=$((failures + 1))
done <<<"$programs"

if [ "$failures" -ne 0 ]; then
  echo "release-binaries: $failures check(s) failed"
  exit 1
fi
echo "release-binaries: every check passed"
